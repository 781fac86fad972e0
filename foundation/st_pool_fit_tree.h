// st_pool_fit_tree.h: the first pool, in creation order, that may serve a request, found in
// logarithmic time.
//
// A max tree over the usable size of each pool's largest free block gives the first pool that
// holds a block of a given size. Not thread-safe: the allocator's lock covers it.
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
    size_t FindFirst(uint64_t size) const;
    // A pool's largest free size has changed.
    void Set(size_t pool, uint32_t largest);

private:
    std::vector<uint32_t> _nodes;  // _nodes[1] is the root, leaves start at _capacity
    size_t _capacity = 0;          // a power of two
    size_t _count = 0;
};
