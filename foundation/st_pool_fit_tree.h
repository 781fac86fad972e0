// st_pool_fit_tree.h: the first pool, in creation order, that may serve a request, found in
// logarithmic time.
//
// A max tree over the usable size of each pool's largest free block gives the first pool that
// holds a block of a given size. An allocation can only shrink a pool's largest block and a
// release only grow it, so each has an update of its own: a shrink recomputes the path to the
// root from the siblings, a growth only raises the nodes on it. While there are at most eight
// pools only the leaves are kept, and a search reads them in order.
// Not thread-safe: the allocator's lock covers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class StPoolFitTree {
public:
    static constexpr size_t kNone = SIZE_MAX;

    // Makes room for `pools` pools in all, so that Append up to that number cannot fail. Throws
    // std::bad_alloc when memory runs out, leaving the tree as it was.
    void Reserve(size_t pools);
    // Adds the next pool with its largest free size. Reserve must have made room for it.
    void Append(uint32_t largest);
    // The first pool whose largest free size is at least `size`, or kNone.
    size_t FindFirst(uint64_t size) const {
        const uint32_t* nodes = _nodes.data();
        if (_capacity <= kLeavesOnly) {
            for (size_t i = 0; i < _count; ++i) {
                if (nodes[_capacity + i] >= size) {
                    return i;
                }
            }
            return kNone;
        }
        if (nodes[1] < size) {
            return kNone;
        }
        size_t i = 1;
        while (i < _capacity) {
            i = 2 * i + static_cast<size_t>(nodes[2 * i] < size);  // branch-free: unpredictable
        }
        return i - _capacity;
    }
    // A pool's largest free size is now `largest`, no less than before.
    void Raise(size_t pool, uint32_t largest) {
        uint32_t* nodes = _nodes.data();
        size_t i = _capacity + pool;
        if (nodes[i] >= largest) {
            return;
        }
        if (_capacity <= kLeavesOnly) {
            nodes[i] = largest;
            return;
        }
        // Up to the root without a data-dependent stop, which would be mispredicted.
        for (; i > 0; i /= 2) {
            nodes[i] = nodes[i] > largest ? nodes[i] : largest;
        }
    }
    // A pool's largest free size is now `largest`, no more than before.
    void Lower(size_t pool, uint32_t largest) {
        // The value climbs in a register and only siblings are read, so no load waits for a
        // store just made.
        uint32_t* nodes = _nodes.data();
        size_t i = _capacity + pool;
        if (nodes[i] == largest) {
            return;
        }
        nodes[i] = largest;
        if (_capacity <= kLeavesOnly) {
            return;
        }
        uint32_t value = largest;
        for (; i > 1; i /= 2) {
            const uint32_t sibling = nodes[i ^ 1];
            value = value > sibling ? value : sibling;
            nodes[i / 2] = value;
        }
    }

private:
    static constexpr size_t kMinStorage = 16;
    // Up to this many leaves only the leaves are kept and searched in order: fewer steps than
    // the tree's, whose inner nodes are computed once it grows past them.
    static constexpr size_t kLeavesOnly = 8;

    std::vector<uint32_t> _nodes;  // _nodes[1] is the root, leaves start at _capacity
    size_t _capacity = 0;          // a power of two: as few levels as the pools allow
    size_t _count = 0;
};
