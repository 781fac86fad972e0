// st_block_starts.h: which 8-byte granules of one arena begin a block, as a two-level bitmap.
//
// The allocator keeps it beside each pool so that a released block's neighbour in front of it
// is found by a few word operations instead of a walk of the free list, and so that an address
// that does not begin a live block can be told apart.
#pragma once

#include "foundation/st_block.h"

#include <bit>
#include <cstdint>

class StBlockStarts {
public:
    static constexpr uint32_t kGranules = kStArenaBytes / kStGranule;  // 8192
    static constexpr uint32_t kNone = UINT32_MAX;

    bool Test(uint32_t granule) const { return (_words[granule >> 6] >> (granule & 63)) & 1; }

    void Set(uint32_t granule) {
        const uint32_t word = granule >> 6;
        _words[word] |= uint64_t{1} << (granule & 63);
        _summary[word >> 6] |= uint64_t{1} << (word & 63);
    }

    void Clear(uint32_t granule) {
        const uint32_t word = granule >> 6;
        _words[word] &= ~(uint64_t{1} << (granule & 63));
        if (_words[word] == 0) {
            _summary[word >> 6] &= ~(uint64_t{1} << (word & 63));
        }
    }

    // The highest block start below `granule`, or kNone.
    uint32_t Previous(uint32_t granule) const {
        uint32_t word = granule >> 6;
        const uint64_t below = _words[word] & LowBits(granule & 63);
        if (below != 0) {
            return (word << 6) + HighestBit(below);
        }
        uint32_t group = word >> 6;
        uint64_t candidates = _summary[group] & LowBits(word & 63);
        while (candidates == 0) {
            if (group == 0) {
                return kNone;
            }
            candidates = _summary[--group];
        }
        word = (group << 6) + HighestBit(candidates);
        return (word << 6) + HighestBit(_words[word]);
    }

private:
    static constexpr uint32_t kWords = kGranules / 64;

    // The `count` low bits, for a count below 64.
    static uint64_t LowBits(uint32_t count) { return (uint64_t{1} << count) - 1; }
    static uint32_t HighestBit(uint64_t bits) {
        return 63u - static_cast<uint32_t>(std::countl_zero(bits));
    }

    uint64_t _words[kWords] = {};
    uint64_t _summary[kWords / 64] = {};  // bit w: _words[w] is not empty
};
