// unload_test.cpp: libkvx.so leaves the process when its last user closes it, taking the
// allocator with it (the arenas of blocks never released included: the sanitizer pass's leak
// check would report them otherwise), and a fresh load starts a fresh allocator.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>

namespace {

using StMalloc = void* (*)(size_t);
using StFree = void (*)(void*);

// The entries have C++ linkage: their names as this platform's ABI spells them.
constexpr char kStMalloc[] = "_Z10_st_mallocm";
constexpr char kStFree[] = "_Z8_st_freePv";

TEST(LibraryUnload, TheLibraryLeavesTheProcessWithItsAllocator) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        void* const library = dlopen(KVX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        const auto stMalloc = reinterpret_cast<StMalloc>(dlsym(library, kStMalloc));
        const auto stFree = reinterpret_cast<StFree>(dlsym(library, kStFree));
        ASSERT_NE(stMalloc, nullptr);
        ASSERT_NE(stFree, nullptr);
        EXPECT_NE(stMalloc(100), nullptr);  // never released: its arena goes with the library
        void* const block = stMalloc(60000);
        ASSERT_NE(block, nullptr);
        stFree(block);
        ASSERT_EQ(dlclose(library), 0) << dlerror();
        EXPECT_EQ(dlopen(KVX_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "the library is still loaded";
    }
}

}  // namespace
