// DestroyEventSystem while a handler function runs past the 5000 ms grace period (slow).
#include "events/event_system.h"
#include "probe.h"

#include <atomic>

namespace {

// Our choice: the instance is never destroyed under a running handler function; after the
// grace period DestroyEventSystem keeps waiting until the function has returned.
TEST(EventSystemShutdown, WaitsForAHandlerPastTheGracePeriod) {
    ASSERT_EQ(CreateEventSystem(), kvx_error_none);
    Probe probe;
    Gate running;
    Gate never;
    std::atomic<bool> returned{false};
    CreateEventHandler(&probe);
    probe.hook = [&](uint64_t, uint64_t) {
        running.Open();
        EXPECT_FALSE(never.Wait(6000));  // ignores the stop event
        returned = true;
    };
    probe.PostEvent(kHook, 0, 0);
    ASSERT_TRUE(running.Wait());
    EXPECT_EQ(DestroyEventSystem(), kvx_error_none);
    EXPECT_TRUE(returned);
    EXPECT_EQ(CEventSystem::Instance(), nullptr);
}

}  // namespace
