// st_block.h: the records of the small-block allocator as they lie in memory: ST_BLOCK, the
// header at the start of every block, and ST_POOL, one 64 KiB arena.
//
// Blocks tile their arena without gaps, each starting a multiple of 8 bytes from the arena
// start. A block's header takes its first 68 bytes; an allocated block's caller bytes follow
// right behind the front guard, and the trailing guard stands right after the requested bytes.
// A block is 80 bytes larger than its usable size, rounded up to a multiple of 8 (header,
// trailing guard and rounding).
#pragma once

#include <cstddef>
#include <cstdint>

struct ST_BLOCK {
    uint32_t mark;        // kStFreeMark or kStUsedMark
    ST_BLOCK* previous;   // neighbour in the pool's free list or used list, or null
    ST_BLOCK* next;       // neighbour in the same list, or null
    uint64_t blockSize;   // whole block, header included; a multiple of 8
    uint64_t usableSize;  // free: blockSize - 80; allocated: the granted size
    uint64_t extent;      // free: address just past the block; allocated: the requested size
    uint32_t reserved;    // allocated: 0; free: not set
    uint32_t* tailGuard;  // allocated: address of the trailing guard; free: not set
    uint32_t frontGuard;  // allocated: kStFrontGuard; free: not set
};

struct ST_POOL {
    uint8_t* arenaStart;  // the 65536-byte arena, aligned to 8 bytes
    uint8_t* arenaEnd;    // arenaStart + 65536
    ST_BLOCK* freeList;   // most recently freed block first, or null
    ST_BLOCK* usedList;   // most recently allocated block first, or null
};

constexpr uint32_t kStUsedMark = 0x00FF11EEu;
constexpr uint32_t kStFreeMark = 0x11EE22DDu;
constexpr uint32_t kStFrontGuard = 0xBBBBBBBBu;
constexpr uint32_t kStTailGuard = 0xEEEEEEEEu;
constexpr uint8_t kStFillByte = 0xAF;

constexpr size_t kStArenaBytes = 65536;
constexpr size_t kStArenaAlignment = 8;
constexpr size_t kStHeaderBytes = 68;
constexpr size_t kStBlockOverhead = 80;
constexpr size_t kStGranule = 8;
// The usable size of a fresh pool's only block, and so the largest request served.
constexpr size_t kStMaxRequest = kStArenaBytes - kStBlockOverhead;  // 65456

// The header must end exactly where the caller's bytes begin. sizeof(ST_BLOCK) is 72 because of
// trailing padding, so the header is never copied as a whole: bytes 68..71 belong to the caller.
static_assert(offsetof(ST_BLOCK, frontGuard) + sizeof(uint32_t) == kStHeaderBytes);
static_assert(offsetof(ST_BLOCK, previous) == 8 && offsetof(ST_BLOCK, blockSize) == 24 &&
              offsetof(ST_BLOCK, extent) == 40 && offsetof(ST_BLOCK, tailGuard) == 56);

// The size of a block granting `usable` bytes.
constexpr uint64_t StBlockSizeFor(uint64_t usable) {
    return (usable + kStBlockOverhead + kStGranule - 1) & ~uint64_t{kStGranule - 1};
}
