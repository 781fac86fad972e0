// st_pool_fit_tree.cpp: the max tree over the pools' bounds.
#include "foundation/st_pool_fit_tree.h"

#include <algorithm>
#include <cassert>

void StPoolFitTree::Reserve(size_t pools) {
    if (pools <= _capacity) {
        return;
    }
    size_t capacity = std::max<size_t>(_capacity, 1);
    while (capacity < pools) {
        capacity *= 2;
    }
    std::vector<uint32_t> nodes(capacity * 2, 0);
    for (size_t i = 0; i < _count; ++i) {
        nodes[capacity + i] = _nodes[_capacity + i];
    }
    for (size_t i = capacity - 1; i > 0; --i) {
        nodes[i] = std::max(nodes[2 * i], nodes[2 * i + 1]);
    }
    _nodes.swap(nodes);
    _capacity = capacity;
}

void StPoolFitTree::Append(uint32_t largest) {
    assert(_count < _capacity);
    Raise(_count++, largest);
}
