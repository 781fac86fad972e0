// allocator_bench.cpp: _st_malloc/_st_free beside glibc malloc, mimalloc and jemalloc, in
// million allocate+release pairs per second:
// - LifoChurn: 1,000 blocks of 8-256 bytes allocated, then released in reverse order. Beside
//   the allocators, the floor of kvx's design: the same calls entering and leaving the
//   process-wide critical section once each and doing nothing else; and kvx once another
//   thread has used its lock.
// - RandomChurn also shows glibc with kvx's fill added (each block's requested bytes written
//   before it is handed out), the part of kvx's cost that its block contract fixes.
// - RandomChurn: 10,000 live blocks of 16-1,024 bytes; each step releases a random one and
//   allocates another of random size. RandomChurn2Threads: the same in two threads at once,
//   each with its own 10,000 blocks (the rate counts both threads' pairs).
// - PoolsChurn/N: the random churn with N pools' worth (N x 64 KiB) of live blocks. The cost
//   per pair grows with the memory touched for every allocator (cache and TLB misses).
// - FullPoolsChurn/N: N blocks of 65,456 bytes stay allocated (for kvx: N full pools in front
//   of every search) while 1,000 small blocks churn as in RandomChurn. The memory touched stays
//   the same, so this shows whether the search itself grows with the number of pools.
// Every allocated block gets its first byte written, as a caller would. Sizes and indexes come
// from fixed pseudo-random tables made before timing, and every benchmark runs its churn once
// untimed first, so the memory it uses is faulted in before the clock starts.
//
// kvx's pools are never returned while the library is loaded, so each kvx benchmark runs on an
// allocator of its own, made fresh before it and destroyed after it: the same code as the
// process's allocator behind _st_malloc, without the pools and fragments the benchmarks before
// left behind. LifoChurn/kvx_st_malloc, run first, goes through the exported entries.
// Single-thread rates are per CPU second (the machine is shared); the two-thread rates are per
// wall-clock second, so time spent waiting for the other thread counts.
//
// Built twice: allocator_bench measures kvx, glibc and mimalloc (opened with dlopen, so that it
// does not replace malloc); allocator_jemalloc_bench links jemalloc and measures only it.
#include "kvx/foundation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(KVX_BENCH_JEMALLOC)
#include <jemalloc/jemalloc.h>
#else
#include "foundation/st_allocator.h"

#include <dlfcn.h>
#endif

namespace {

using AllocFn = void* (*)(size_t);
using FreeFn = void (*)(void*);

struct Peer {
    const char* name;
    AllocFn alloc;
    FreeFn release;
};

uint64_t Next(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 17;
}

std::vector<uint32_t> Table(size_t count, uint64_t seed, uint32_t low, uint32_t high) {
    std::vector<uint32_t> values(count);
    for (uint32_t& v : values) {
        v = low + static_cast<uint32_t>(Next(seed) % (high - low + 1));
    }
    return values;
}

void* Take(const Peer& peer, size_t size) {
    auto* block = static_cast<char*>(peer.alloc(size));
    *block = 1;
    return block;
}

void LifoChurn(benchmark::State& state, Peer peer) {
    constexpr size_t kBlocks = 1000;
    const std::vector<uint32_t> sizes = Table(kBlocks, 11, 8, 256);
    std::vector<void*> blocks(kBlocks);
    auto round = [&] {
        for (size_t i = 0; i < kBlocks; ++i) {
            blocks[i] = Take(peer, sizes[i]);
        }
        for (size_t i = kBlocks; i-- > 0;) {
            peer.release(blocks[i]);
        }
    };
    round();
    for (auto _ : state) {
        round();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBlocks));
}

// Each thread churns its own live set: `live` blocks, 1,024 release+allocate steps per iteration.
void Churn(benchmark::State& state, const Peer& peer, size_t live) {
    constexpr size_t kSteps = 1 << 16;
    const uint64_t seed = 1000 + static_cast<uint64_t>(state.thread_index());
    const std::vector<uint32_t> sizes = Table(kSteps, seed, 16, 1024);
    const std::vector<uint32_t> slots = Table(kSteps, seed * 7, 0, static_cast<uint32_t>(live - 1));
    std::vector<void*> blocks(live);
    for (size_t i = 0; i < live; ++i) {
        blocks[i] = Take(peer, sizes[(i * 7) % kSteps]);
    }
    size_t k = 0;
    auto steps = [&](size_t count) {
        for (size_t j = 0; j < count; ++j, k = (k + 1) & (kSteps - 1)) {
            void*& slot = blocks[slots[k]];
            peer.release(slot);
            slot = Take(peer, sizes[k]);
        }
    };
    steps(std::max<size_t>(live, kSteps));
    for (auto _ : state) {
        steps(1024);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 1024));
    for (void* block : blocks) {  // after the loop: not timed
        peer.release(block);
    }
}

void RandomChurn(benchmark::State& state, Peer peer) {
    Churn(state, peer, 10000);
}

// One pool's worth: 64 KiB over the mean block of 520 bytes plus kvx's 80 bytes of overhead.
void PoolsChurn(benchmark::State& state, Peer peer) {
    const auto pools = static_cast<size_t>(state.range(0));
    Churn(state, peer, pools * 65536 / 600);
}

void FullPoolsChurn(benchmark::State& state, Peer peer) {
    std::vector<void*> whole(static_cast<size_t>(state.range(0)));
    for (void*& block : whole) {
        block = Take(peer, 65456);
    }
    Churn(state, peer, 1000);
    for (void* block : whole) {
        peer.release(block);
    }
}

using SetupFn = void (*)(const benchmark::State&);

void Register(const Peer& peer, SetupFn setup = nullptr, SetupFn teardown = nullptr) {
    const std::string name = peer.name;
    auto add = [&](const std::string& title, void (*fn)(benchmark::State&, Peer)) {
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark((title + "/" + name).c_str(), fn, peer);
        if (setup != nullptr) {
            b->Setup(setup)->Teardown(teardown);
        }
        return b;
    };
    add("LifoChurn", LifoChurn);
    add("RandomChurn", RandomChurn);
    add("RandomChurn2Threads", RandomChurn)->Threads(2)->UseRealTime();
    add("PoolsChurn", PoolsChurn)->Arg(1)->Arg(100)->Arg(1000);
    add("FullPoolsChurn", FullPoolsChurn)->Arg(1)->Arg(100)->Arg(1000);
}

#if !defined(KVX_BENCH_JEMALLOC)
StAllocator* g_fresh = nullptr;

void MakeFresh(const benchmark::State&) {
    g_fresh = new StAllocator();
}
void DropFresh(const benchmark::State&) {
    delete g_fresh;
    g_fresh = nullptr;
}
// The same, after another thread has used it once: the allocator of a host where several
// threads allocate, whose lock is then an ordinary one (on Linux a lock that one thread alone
// has used costs it no atomic operation).
void MakeFreshShared(const benchmark::State& state) {
    MakeFresh(state);
    std::thread([] { g_fresh->Release(g_fresh->Allocate(8)); }).join();
}
void* FreshAlloc(size_t size) {
    return g_fresh->Allocate(size);
}
void FreshFree(void* block) {
    g_fresh->Release(block);
}
#endif

#if !defined(KVX_BENCH_JEMALLOC)
// The floor of the one-lock design: what a malloc+free pair costs in the process-wide critical
// section (spin count 1024) alone, entered and left once per call, with no block found. Every
// call returns the same scratch block.
CRITICAL_SECTION g_floorLock;
char g_floorBlock[256];

void* LockedAlloc(size_t) {
    EnterCriticalSection(&g_floorLock);
    LeaveCriticalSection(&g_floorLock);
    return g_floorBlock;
}
void LockedFree(void*) {
    EnterCriticalSection(&g_floorLock);
    LeaveCriticalSection(&g_floorLock);
}

// glibc's malloc with the fill every kvx block gets (the requested bytes set to 0xAF): what
// random churn costs an allocator that must write each new block before handing it out.
void* FillingMalloc(size_t size) {
    void* const block = std::malloc(size);
    std::memset(block, 0xAF, size);
    return block;
}
#endif

#if defined(KVX_BENCH_JEMALLOC)
void* JemallocAlloc(size_t size) {
    return mallocx(size, 0);
}
void JemallocFree(void* block) {
    dallocx(block, 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(KVX_BENCH_JEMALLOC)
    Register(Peer{"jemalloc", &JemallocAlloc, &JemallocFree});
#else
    benchmark::RegisterBenchmark("LifoChurn/kvx_st_malloc", LifoChurn,
                                 Peer{"kvx_st_malloc", &_st_malloc, &_st_free});
    Register(Peer{"kvx", &FreshAlloc, &FreshFree}, &MakeFresh, &DropFresh);
    benchmark::RegisterBenchmark("LifoChurn/kvx, lock used by two threads", LifoChurn,
                                 Peer{"kvx, lock used by two threads", &FreshAlloc, &FreshFree})
        ->Setup(&MakeFreshShared)
        ->Teardown(&DropFresh);
    InitializeCriticalSectionAndSpinCount(&g_floorLock, StAllocator::kSpinCount);
    benchmark::RegisterBenchmark("LifoChurn/floor: the lock alone", LifoChurn,
                                 Peer{"floor", &LockedAlloc, &LockedFree});
    benchmark::RegisterBenchmark("RandomChurn/glibc with the fill", RandomChurn,
                                 Peer{"glibc with the fill", &FillingMalloc, &std::free});
    Register(Peer{"glibc", &std::malloc, &std::free});
    if (void* mimalloc = dlopen(KVX_BENCH_MIMALLOC_PATH, RTLD_NOW | RTLD_LOCAL)) {
        Register(Peer{"mimalloc", reinterpret_cast<AllocFn>(dlsym(mimalloc, "mi_malloc")),
                      reinterpret_cast<FreeFn>(dlsym(mimalloc, "mi_free"))});
    }
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
