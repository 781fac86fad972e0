// events_example.cpp: the guide's event-system example: a handler with a message map, a
// posted event, a sent event and a timer, then a clean shutdown.
#include "kvx/events.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {
constexpr uint32_t EV_READING = 0x1000;  // client ids: anything but 0, 256, 257, 258

class Sensor : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCreate(uint64_t, uint64_t) { _timer = SetTimer(10); }
    void OnReading(uint64_t value, uint64_t) { readings += static_cast<int>(value); }
    void OnTick(uint64_t timerId, uint64_t) {
        if (timerId == _timer && ++ticks == 3) {
            KillTimer(_timer);
        }
    }
    void OnDestroy(uint64_t, uint64_t) { destroyed = true; }

    std::atomic<int> readings{0};
    std::atomic<int> ticks{0};
    bool destroyed = false;

private:
    uint64_t _timer = 0;
};

KVX_BEGIN_EVENT_MAP(Sensor)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_READING, OnReading)
KVX_ON_EVENT(EV_TIMER, OnTick)
KVX_ON_EVENT(EV_DESTROY, OnDestroy)
KVX_END_EVENT_MAP()
}  // namespace

int main() {
    CreateEventSystem();  // starts the dispatcher thread
    Sensor sensor;
    void* handle = CreateEventHandler(&sensor);  // EV_CREATE is on its way

    PostEvent(handle, EV_READING, 20, 0);  // queued: the dispatcher thread calls OnReading
    SendEvent(handle, EV_READING, 1, 0);   // called here, on this thread, before returning

    for (int i = 0; i < 500 && (sensor.ticks < 3 || sensor.readings < 21); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    DestroyEventHandler(handle);  // calls OnDestroy on this thread
    DestroyEventSystem();         // stops the dispatcher; queued events are dropped
    std::printf("readings %d, timer ticks %d, destroyed %s\n", sensor.readings.load(),
                sensor.ticks.load(), sensor.destroyed ? "yes" : "no");
    return sensor.readings == 21 && sensor.ticks >= 3 && sensor.destroyed ? 0 : 1;
}
