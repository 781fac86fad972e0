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
    // The tree is only as deep as the pools need, but its storage grows in steps of at least
    // kMinStorage leaves, so that the first pools cost one allocation between them.
    if (2 * capacity > _nodes.size()) {
        std::vector<uint32_t> nodes(2 * std::max(capacity, kMinStorage), 0);
        std::copy_n(_nodes.begin() + static_cast<ptrdiff_t>(_capacity), _count,
                    nodes.begin() + static_cast<ptrdiff_t>(capacity));
        _nodes.swap(nodes);
    } else {
        // In place: the leaves move up to at least twice their old place, past where they end.
        std::copy_n(_nodes.begin() + static_cast<ptrdiff_t>(_capacity), _count,
                    _nodes.begin() + static_cast<ptrdiff_t>(capacity));
        std::fill(_nodes.begin(), _nodes.begin() + static_cast<ptrdiff_t>(capacity), 0u);
        std::fill(_nodes.begin() + static_cast<ptrdiff_t>(capacity + _count), _nodes.end(), 0u);
    }
    for (size_t i = capacity - 1; i > 0; --i) {
        _nodes[i] = std::max(_nodes[2 * i], _nodes[2 * i + 1]);
    }
    _capacity = capacity;
}

void StPoolFitTree::Append(uint32_t largest) {
    assert(_count < _capacity);
    Raise(_count++, largest);
}
