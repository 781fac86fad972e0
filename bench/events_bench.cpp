// events_bench.cpp: the event system's posting throughput, SendEvent's cost and the idle
// latency from a post to its delivery, beside the same work done by a minimal dispatcher
// (std::mutex + std::deque + std::condition_variable, one consumer thread) and by
// boost::asio::io_context run on one thread.
//
// Burst: one thread posts kBurst events; the dispatcher delivers them back to back; an
// iteration ends when the last one has been handled. Each dispatcher gets one untimed burst
// first, so that queue memory is faulted in for all alike.
#include "kvx/events.h"

#include <benchmark/benchmark.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kBurst = 1000000;
constexpr int kLatencySamples = 10000;
constexpr uint32_t kCount = 1;
constexpr uint32_t kStamp = 2;
using Clock = std::chrono::steady_clock;

// Counts deliveries; the one that reaches `target` wakes the poster.
struct Counter {
    std::atomic<uint64_t> count{0};
    uint64_t target = 0;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;

    void Arm(uint64_t n) {
        std::lock_guard<std::mutex> guard(lock);
        count.store(0, std::memory_order_relaxed);
        target = n;
        finished = false;
    }
    void Hit() {
        if (count.fetch_add(1, std::memory_order_relaxed) + 1 == target) {
            std::lock_guard<std::mutex> guard(lock);
            finished = true;
            done.notify_one();
        }
    }
    void Wait() {
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return finished; });
    }
};

// Records the delivery time of one event; the poster waits for it.
struct Stamp {
    std::mutex lock;
    std::condition_variable done;
    bool arrived = false;
    Clock::time_point at;

    void Hit() {
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> guard(lock);
        at = now;
        arrived = true;
        done.notify_one();
    }
    Clock::time_point Wait() {
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return arrived; });
        arrived = false;
        return at;
    }
};

// ----- kvx ------------------------------------------------------------------------------

class BenchHandler : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCount(uint64_t, uint64_t) { counter.Hit(); }
    void OnStamp(uint64_t, uint64_t) { stamp.Hit(); }
    Counter counter;
    Stamp stamp;
};

KVX_BEGIN_EVENT_MAP(BenchHandler)
KVX_ON_EVENT(kCount, OnCount)
KVX_ON_EVENT(kStamp, OnStamp)
KVX_END_EVENT_MAP()

// The event system with one handler for the duration of a benchmark.
class KvxSetup {
public:
    KvxSetup() {
        CreateEventSystem();
        handle = CreateEventHandler(&handler);
    }
    ~KvxSetup() {
        DestroyEventHandler(handle);
        DestroyEventSystem();
    }
    BenchHandler handler;
    void* handle = nullptr;
};

// ----- the minimal dispatcher -----------------------------------------------------------

class CvDispatcher {
public:
    CvDispatcher() : _thread([this] { Loop(); }) {}
    ~CvDispatcher() {
        {
            std::lock_guard<std::mutex> guard(_lock);
            _stop = true;
        }
        _wake.notify_one();
        _thread.join();
    }
    void Post(void (*function)(void*), void* object) {
        {
            std::lock_guard<std::mutex> guard(_lock);
            _queue.push_back({function, object});
        }
        _wake.notify_one();
    }

private:
    struct Item {
        void (*function)(void*);
        void* object;
    };
    void Loop() {
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> guard(_lock);
                _wake.wait(guard, [&] { return _stop || !_queue.empty(); });
                if (_stop) {
                    return;
                }
                item = _queue.front();
                _queue.pop_front();
            }
            item.function(item.object);
        }
    }

    std::mutex _lock;
    std::condition_variable _wake;
    std::deque<Item> _queue;
    bool _stop = false;
    std::thread _thread;
};

void HitCounter(void* counter) {
    static_cast<Counter*>(counter)->Hit();
}
void HitStamp(void* stamp) {
    static_cast<Stamp*>(stamp)->Hit();
}

// ----- boost::asio ----------------------------------------------------------------------

class AsioDispatcher {
public:
    AsioDispatcher() : _work(boost::asio::make_work_guard(io)), _thread([this] { io.run(); }) {}
    ~AsioDispatcher() {
        _work.reset();
        _thread.join();
    }
    boost::asio::io_context io;

private:
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> _work;
    std::thread _thread;
};

// ----- burst ----------------------------------------------------------------------------

template <class PostAll> void RunBurst(benchmark::State& state, Counter& counter, PostAll post) {
    counter.Arm(kBurst);  // warm-up: queue memory faulted in
    post();
    counter.Wait();
    for (auto _ : state) {
        counter.Arm(kBurst);
        post();
        counter.Wait();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBurst));
}

void BurstKvx(benchmark::State& state) {
    KvxSetup setup;
    RunBurst(state, setup.handler.counter, [&] {
        for (uint64_t i = 0; i < kBurst; ++i) {
            PostEvent(setup.handle, kCount, i, 0);
        }
    });
}

void BurstMutexCv(benchmark::State& state) {
    Counter counter;
    CvDispatcher dispatcher;
    RunBurst(state, counter, [&] {
        for (uint64_t i = 0; i < kBurst; ++i) {
            dispatcher.Post(HitCounter, &counter);
        }
    });
}

void BurstAsio(benchmark::State& state) {
    Counter counter;
    AsioDispatcher dispatcher;
    RunBurst(state, counter, [&] {
        for (uint64_t i = 0; i < kBurst; ++i) {
            boost::asio::post(dispatcher.io, [&counter] { counter.Hit(); });
        }
    });
}

// ----- SendEvent to one of 100 handlers ------------------------------------------------

constexpr int kHandlers = 100;

class SendHandler : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCount(uint64_t a, uint64_t) { sum += a; }
    uint64_t sum = 0;
};

KVX_BEGIN_EVENT_MAP(SendHandler)
KVX_ON_EVENT(kCount, OnCount)
KVX_END_EVENT_MAP()

// The last registered of 100: the lookup passes all of them, in both benchmarks.
void SendKvx(benchmark::State& state) {
    CreateEventSystem();
    std::vector<SendHandler> handlers(kHandlers);
    for (SendHandler& h : handlers) {
        CreateEventHandler(&h);
    }
    void* const target = handlers.back().GetEvHandle();
    uint64_t i = 0;
    for (auto _ : state) {
        SendEvent(target, kCount, ++i, 0);
    }
    benchmark::DoNotOptimize(handlers.back().sum);
    for (SendHandler& h : handlers) {
        DestroyEventHandler(h.GetEvHandle());
    }
    DestroyEventSystem();
    state.SetItemsProcessed(state.iterations());
}

void SendSharedMutexVector(benchmark::State& state) {
    struct Entry {
        void* key;
        void (*function)(void*, uint64_t);
        void* object;
    };
    std::vector<uint64_t> sums(kHandlers, 0);
    std::vector<Entry> entries;
    for (uint64_t& sum : sums) {
        entries.push_back(
            {&sum, [](void* o, uint64_t a) { *static_cast<uint64_t*>(o) += a; }, &sum});
    }
    std::shared_mutex lock;
    void* const target = &sums.back();
    uint64_t i = 0;
    for (auto _ : state) {
        void (*function)(void*, uint64_t) = nullptr;
        void* object = nullptr;
        {
            std::shared_lock<std::shared_mutex> guard(lock);
            for (const Entry& entry : entries) {
                if (entry.key == target) {
                    function = entry.function;
                    object = entry.object;
                    break;
                }
            }
        }
        if (function != nullptr) {
            function(object, ++i);
        }
    }
    benchmark::DoNotOptimize(sums.back());
    state.SetItemsProcessed(state.iterations());
}

// ----- idle latency ---------------------------------------------------------------------

// Posts one event at a time to an idle dispatcher, each after the previous one has been
// handled and a pause of up to 1 ms (varied, so that posts fall at every point of the
// dispatcher's wait). Reports the median and the 99th percentile in microseconds.
template <class PostOne> void RunLatency(benchmark::State& state, Stamp& stamp, PostOne post) {
    std::vector<double> micros;
    micros.reserve(kLatencySamples);
    for (auto _ : state) {
        micros.clear();
        for (int i = 0; i < kLatencySamples; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 1000));
            const Clock::time_point posted = Clock::now();
            post();
            const Clock::time_point handled = stamp.Wait();
            micros.push_back(std::chrono::duration<double, std::micro>(handled - posted).count());
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}

void LatencyKvx(benchmark::State& state) {
    KvxSetup setup;
    RunLatency(state, setup.handler.stamp, [&] { PostEvent(setup.handle, kStamp, 0, 0); });
}

void LatencyMutexCv(benchmark::State& state) {
    Stamp stamp;
    CvDispatcher dispatcher;
    RunLatency(state, stamp, [&] { dispatcher.Post(HitStamp, &stamp); });
}

void LatencyAsio(benchmark::State& state) {
    Stamp stamp;
    AsioDispatcher dispatcher;
    RunLatency(state, stamp, [&] { boost::asio::post(dispatcher.io, [&stamp] { stamp.Hit(); }); });
}

}  // namespace

// Bursts and sends: five repetitions each, the median reported. Latency: one run of 10,000.
BENCHMARK(BurstKvx)
    ->Name("PostBurst/kvx")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BurstMutexCv)
    ->Name("PostBurst/mutex+condition variable queue")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BurstAsio)
    ->Name("PostBurst/asio io_context")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(SendKvx)->Name("Send/kvx")->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(SendSharedMutexVector)
    ->Name("Send/shared_mutex + handler vector")
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(LatencyKvx)
    ->Name("IdleLatency/kvx")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(LatencyMutexCv)
    ->Name("IdleLatency/mutex+condition variable queue")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(LatencyAsio)
    ->Name("IdleLatency/asio io_context")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

BENCHMARK_MAIN();
