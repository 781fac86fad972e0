// st_pool_fit_tree.h: the first pool, in creation order, that may serve a request, found in
// logarithmic time.
//
// Each pool has a bound: a number no smaller than the usable size of the largest free block it
// holds. A max tree over the bounds gives the first pool whose bound reaches a size; every pool
// before it certainly cannot serve that size. Bounds may run high (splits and whole-block
// grants leave them alone); the allocator lowers a pool's bound to the true largest size when
// a walk of its free list finds nothing, and raises it when a release makes a larger block.
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
    // Adds the next pool with its bound. Reserve must have made room for it.
    void Append(uint32_t bound);
    // The first pool whose bound is at least `size`, or kNone.
    size_t FindFirst(uint64_t size) const;
    // Raises a pool's bound to `bound` if it is below.
    void Raise(size_t pool, uint32_t bound);
    // Sets a pool's bound to `bound`, which may be lower than before.
    void Set(size_t pool, uint32_t bound);

private:
    std::vector<uint32_t> _nodes;  // _nodes[1] is the root, leaves start at _capacity
    size_t _capacity = 0;          // a power of two
    size_t _count = 0;
};
