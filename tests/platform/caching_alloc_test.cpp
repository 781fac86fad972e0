// Tests of the caching sub-allocator behind CWideString.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(CachingAlloc, BlocksAreAlignedWritableAndReusable) {
    for (size_t size : {size_t(0), size_t(1), size_t(127), size_t(128), size_t(129), size_t(240),
                        size_t(4096), size_t(4097), size_t(100000)}) {
        SCOPED_TRACE(size);
        std::vector<void*> blocks;
        for (int i = 0; i < 40; ++i) {  // more than one thread caches per size
            void* block = Concurrency::Alloc(size);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
            std::memset(block, i, size);
            blocks.push_back(block);
        }
        for (void* block : blocks) {
            Concurrency::Free(block);
        }
    }
    Concurrency::Free(nullptr);
}

TEST(CachingAlloc, AnotherThreadMayFreeABlock) {
    std::vector<void*> blocks;
    for (int i = 0; i < 64; ++i) {
        blocks.push_back(Concurrency::Alloc(200));
    }
    std::thread freer([&] {
        for (void* block : blocks) {
            Concurrency::Free(block);
        }
        // Blocks cached by this thread go back to the heap when it ends.
        void* again = Concurrency::Alloc(200);
        Concurrency::Free(again);
    });
    freer.join();
}

}  // namespace
