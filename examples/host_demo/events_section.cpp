// events_section.cpp: the sample host's tour of the event system: a handler with a message
// map, posted and sent events, a timer, and a clean shutdown.
#include "demo_section.h"

#include "kvx/events.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr uint32_t EV_READING = 1000;  // posted: first argument the value
constexpr uint32_t EV_QUERY = 1001;    // sent: runs on the sender's thread

// A handler that counts what it receives. Posted and timer events arrive on the dispatcher
// thread, sent ones and EV_DESTROY on the host's, so the counts share one mutex.
class Sensor : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();

    void OnCreate(uint64_t, uint64_t) { Count(created); }
    void OnDestroy(uint64_t, uint64_t) { Count(destroyed); }
    void OnTick(uint64_t timerId, uint64_t) {
        std::lock_guard<std::mutex> guard(lock);
        lastTimer = timerId;
        ++ticks;
        changed.notify_all();
    }
    void OnReading(uint64_t value, uint64_t) {
        std::lock_guard<std::mutex> guard(lock);
        sum += value;
        ++readings;
        changed.notify_all();
    }
    void OnQuery(uint64_t, uint64_t) {
        Count(queries);
        queryOnHostThread = std::this_thread::get_id() == hostThread;
    }

    // Waits up to 5 s until `done` holds.
    template <class Done> bool WaitUntil(Done done) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(5), done);
    }

    std::mutex lock;
    std::condition_variable changed;
    int created = 0, destroyed = 0, ticks = 0, readings = 0, queries = 0;
    uint64_t sum = 0, lastTimer = 0;
    bool queryOnHostThread = false;
    std::thread::id hostThread = std::this_thread::get_id();

private:
    void Count(int& counter) {
        std::lock_guard<std::mutex> guard(lock);
        ++counter;
        changed.notify_all();
    }
};

KVX_BEGIN_EVENT_MAP(Sensor)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_DESTROY, OnDestroy)
KVX_ON_EVENT(EV_TIMER, OnTick)
KVX_ON_EVENT(EV_READING, OnReading)
KVX_ON_EVENT(EV_QUERY, OnQuery)
KVX_END_EVENT_MAP()

int DemoEvents(DemoContext&) {
    CreateEventSystem();
    Sensor sensor;
    void* const handle = CreateEventHandler(&sensor);
    if (handle == nullptr) {
        std::printf("   no event system\n");
        return 1;
    }
    const uint64_t timer = sensor.SetTimer(20);  // fires at once, then every 20 ms
    for (uint64_t value = 1; value <= 3; ++value) {
        PostEvent(handle, EV_READING, value * 10, 0);
    }
    sensor.SendEvent(EV_QUERY, 0, 0);  // handled before this call returns
    const bool ok = sensor.WaitUntil([&] { return sensor.readings == 3 && sensor.ticks >= 5; });
    sensor.KillTimer(timer);
    DestroyEventHandler(handle);  // EV_DESTROY runs here, on this thread
    DestroyEventSystem();

    std::lock_guard<std::mutex> guard(sensor.lock);
    std::printf("   EV_CREATE %d, EV_DESTROY %d\n", sensor.created, sensor.destroyed);
    std::printf("   posted readings %d (sum %llu), sent queries %d (on the host thread: %s)\n",
                sensor.readings, static_cast<unsigned long long>(sensor.sum), sensor.queries,
                sensor.queryOnHostThread ? "yes" : "no");
    std::printf("   timer %llu: %d ticks of 20 ms\n",
                static_cast<unsigned long long>(sensor.lastTimer), sensor.ticks);
    return ok && sensor.created == 1 && sensor.destroyed == 1 && sensor.queries == 1 &&
                   sensor.sum == 60 && sensor.lastTimer == timer && sensor.queryOnHostThread
               ? 0
               : 1;
}

}  // namespace

KVX_DEMO_SECTION(20, "Event system", DemoEvents);
