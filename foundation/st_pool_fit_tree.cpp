// st_pool_fit_tree.cpp: the max tree over the pools' bounds.
#include "foundation/st_pool_fit_tree.h"

#include <algorithm>
#include <cassert>

void StPoolFitTree::Reserve(size_t pools) {
    if (pools <= _capacity) {
        return;
    }
    size_t capacity = std::max<size_t>(_capacity, 16);
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
    Set(_count++, largest);
}

size_t StPoolFitTree::FindFirst(uint64_t size) const {
    if (_count == 0 || _nodes[1] < size) {
        return kNone;
    }
    size_t i = 1;
    while (i < _capacity) {
        i = 2 * i +
            static_cast<size_t>(_nodes[2 * i] < size);  // branch-free, as it is unpredictable
    }
    return i - _capacity;
}

void StPoolFitTree::Set(size_t pool, uint32_t largest) {
    // As in StFreeIndex::SetLeaf: the value climbs in a register, only siblings are read.
    size_t i = _capacity + pool;
    uint32_t value = largest;
    _nodes[i] = value;
    while (i > 1) {
        const uint32_t above = std::max(value, _nodes[i ^ 1]);
        i /= 2;
        if (_nodes[i] == above) {
            break;
        }
        _nodes[i] = above;
        value = above;
    }
}
