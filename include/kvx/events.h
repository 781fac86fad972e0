// events.h: kvx's event system: one dispatcher thread per process that delivers events to
// handler objects through their message maps, posting (queued) and sending (on the caller's
// thread), handler registration, and periodic timers.
//
// A handler is an object of a class derived from CEventHandler. It describes itself by a
// registration record (EVENT_HANDLER_INFO): its handle, the object its functions are called on,
// and its message map, a table pairing event ids with functions. The handle is the address of
// the handler's CEventHandler part.
//
// Delivery rule, used for posted, sent, timer and destroy events alike: the first registered
// record whose key is the event's target is taken (none: the event is dropped); its map is
// scanned from the start for the first entry whose id equals the event id (a null map, or
// reaching the terminating entry: dropped; ids of 2^32 and above and id 0 never match); the
// entry's function is called with (record's object + entry's adjustment in bytes, param1,
// param2) after the handler lock has been released. Its result, if any, is ignored.
//
// Threads: any thread may call any operation here, also from inside a handler function, since
// no lock of the event system is held while a handler function runs. Posted and timer events
// run on the dispatcher thread, one at a time, in the order of their posting; sent events and
// EV_DESTROY run on the calling thread. The event system does not serialise calls into one
// handler: a handler that needs mutual exclusion provides it itself. A handler function must
// not throw: an exception leaving it on the dispatcher thread ends the process.
//
// Lifetime: the host creates the event system (CreateEventSystem) before it registers
// handlers, and destroys it (DestroyEventSystem) at shutdown. Those two calls must not run
// concurrently with each other or with any other event operation.
//
// Without an event system (before CreateEventSystem, after DestroyEventSystem) every other
// operation does nothing and never crashes: CreateEventHandler returns null (without calling
// GetEventHandlerInfo), SetTimer returns 0 (never a timer id), PostEvent and SendEvent return 0,
// DestroyEventHandler and KillTimer return at once, and GetStopEvent refers to a null handle.
#pragma once

#include "kvx/export.h"
#include "kvx/foundation.h"
#include "kvx/win32_types.h"

#include <stdint.h>

// A message-map function: called with the object address, the event's first and second
// argument.
typedef void (*EVENT_HANDLER_FUNCTION)(void* object, uint64_t param1, uint64_t param2);

// One event as the queue holds it; copied in and out by value, nothing in it is owned.
struct EVENT_RECORD {
    void* target;  // the handle of the handler the event goes to
    uint64_t id;
    uint64_t param1;
    uint64_t param2;
};

// One message-map entry. A map is a contiguous array of entries ended by one whose id is 0
// (the terminator, which carries no function). The scan stops at the first entry with the
// event's id; if that entry's function is null, the event is dropped and nothing is called.
struct EVENT_MAP_ENTRY {
    uint32_t id;
    EVENT_HANDLER_FUNCTION function;
    int32_t adjustment;  // bytes added (sign-extended) to the record's object address
};

// A handler's registration record. The event system keeps only its address, from
// CreateEventHandler until DestroyEventHandler returns, and never copies, changes or frees it:
// the handler keeps it valid and unchanged for that time.
struct EVENT_HANDLER_INFO {
    void* key;     // the handle it is registered under; lookups compare this with targets
    void* object;  // base address for each entry's adjustment
    const EVENT_MAP_ENTRY* map;  // first entry, or null: the handler then receives nothing
};

// The ids that the event system itself produces. Client events use other non-zero ids.
inline constexpr uint32_t EV_CREATE = 256;   // posted by CreateEventHandler; 0, 0
inline constexpr uint32_t EV_DESTROY = 257;  // called by DestroyEventHandler on its thread; 0, 0
inline constexpr uint32_t EV_TIMER = 258;    // posted by SetTimer and due timers; timer id, 0

// ---------------------------------------------------------------------------------------------
// CEventHandler: the base of every handler.
//
// Its three fields have the layout of an EVENT_HANDLER_INFO: the handle first, then two
// pointer-sized fields that the library copies but never reads. All three are null after
// default construction. A copy carries its source's fields, so its member operations act on
// the source's registration. Destroying a handler does not unregister it: call
// DestroyEventHandler first, and keep the object alive until no function of it can still run
// (DestroyEventHandler does not wait for a function of it running on another thread).
class KVX_API CEventHandler {
public:
    CEventHandler() noexcept : _eventInfo{nullptr, nullptr, nullptr} {}
    CEventHandler(const CEventHandler&) = default;
    CEventHandler& operator=(const CEventHandler&) = default;
    virtual ~CEventHandler();

    // Called once by each CreateEventHandler with the handle (the address of this
    // CEventHandler part). Returns the address of the registration record, whose key must be
    // that handle. Returning null registers nothing: CreateEventHandler then returns null.
    virtual EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) = 0;

    // The handle field: what the member operations below address.
    void* GetEvHandle() const { return _eventInfo.key; }

    // A reference to the event system's stop event: a manual-reset event signalled when
    // DestroyEventSystem begins, and signalled for good from then on. A long-running handler
    // function can wait on it to learn that shutdown has begun. Without an event system: a
    // reference to a null handle (a per-thread one, reset on each call).
    HANDLE& GetStopEvent();

    // PostEvent, SendEvent and DestroyEventHandler addressed to the own handle (free forms
    // below). PostEvent and SendEvent always return 0.
    uint64_t PostEvent(uint64_t id, uint64_t param1, uint64_t param2);
    uint64_t SendEvent(uint64_t id, uint64_t param1, uint64_t param2);
    void DestroyEventHandler();

    // Starts a periodic timer for the own handle and returns its id (ids count from 1 per
    // event system, shared by all handlers, never reused while it exists; 0 without an event
    // system). The timer is due at once: SetTimer itself posts EV_TIMER (timer id, 0), the next
    // dispatcher pass posts another, then one follows per period after the call. Each
    // dispatcher pass posts at most one EV_TIMER per timer and moves its due time on by exactly
    // one period, so a timer that fell behind (slow handlers, the clock set forward) catches up
    // by one event per pass, and after the clock is set back it stays silent until the clock
    // reaches its due time again. Times are the UTC system clock in milliseconds. A period of
    // 0 makes the timer due on every pass. Unregistering the handler does not stop its timers:
    // their events are dropped while no handler is registered under the handle. Throws
    // std::bad_alloc when the timer list or the queue cannot grow; no timer is made then and no
    // EV_TIMER posted.
    uint64_t SetTimer(uint32_t periodMs);

    // Removes the own handle's timer with this id. An id that does not exist or belongs to
    // another handle changes nothing. EV_TIMER events already queued still arrive.
    void KillTimer(uint64_t timerId);

protected:
    // Fills the three fields as a registration record and returns their address; for
    // GetEventHandlerInfo implementations that keep the record in the handler itself (the
    // message-map macros below do).
    EVENT_HANDLER_INFO* _SetEventHandlerInfo(void* handle, void* object,
                                             const EVENT_MAP_ENTRY* map) noexcept {
        _eventInfo.key = handle;
        _eventInfo.object = object;
        _eventInfo.map = map;
        return &_eventInfo;
    }

    EVENT_HANDLER_INFO _eventInfo;  // handle, then the two fields the library never reads
};

// ---------------------------------------------------------------------------------------------
// Event-system lifecycle.

// Creates the event system and starts its dispatcher thread; with one already there, does
// nothing. Returns kvx_error_none in every case. If the stop event cannot be created, no event
// system is made (every operation then acts as "without an event system" above, so the host
// sees CreateEventHandler return null); if the thread cannot be started, the event system
// exists but its posted events are never delivered. Throws std::bad_alloc when memory runs out
// for the instance, its stop event or its thread; no event system exists then, and a later
// call may try again.
KVX_API kvx_error CreateEventSystem();

// Signals the stop event, waits for the dispatcher thread to end, and destroys the event
// system: queued events are discarded undelivered, timers end, still registered handlers get
// no EV_DESTROY. The dispatcher ends at its next wait, after the handler function it is
// running, if any, has returned. The instance is never destroyed under a running handler
// function: if that function has not returned after 5000 ms, DestroyEventSystem keeps waiting
// for it, for as long as it takes. Returns kvx_error_none, also without an event system.
// Called from a handler function on the dispatcher thread (where waiting for the dispatcher
// could never end), it only signals the stop event and returns kvx_error_none; a later call
// from another thread then completes the destruction.
KVX_API kvx_error DestroyEventSystem();

// ---------------------------------------------------------------------------------------------
// Registration, posting and sending.

// Registers a handler: calls its GetEventHandlerInfo with the handler's own address, appends
// the record's address to the handler list, posts EV_CREATE to it, and returns that address as
// its handle. EV_CREATE may be delivered before this call returns. Registering the same
// handler twice adds a second record and a second EV_CREATE; lookups keep finding the first.
// A null handler, a null record, or no event system: null, and nothing happens. Throws
// std::bad_alloc when the list or the queue cannot grow; the handler is then not registered
// and gets no EV_CREATE (a SendEvent on another thread during the call may have reached it).
KVX_API void* CreateEventHandler(CEventHandler* handler);

// Unregisters every record under `handle`, then calls the EV_DESTROY entry of the first of
// them on this thread before returning. An unregistered handle does nothing. The handler's
// timers and its queued events stay; they are dropped while nothing is registered under the
// handle. Does not wait for a function of this handler running on another thread.
KVX_API void DestroyEventHandler(void* handle);

// Appends an event to the queue for the dispatcher thread and returns 0. The queue has no
// bound; the handle and id are not checked (an event nobody handles is dropped at delivery).
// Two posts from one thread are delivered in their order. Throws std::bad_alloc when the queue
// cannot grow; the event is then not queued and the queue is as it was.
KVX_API uint64_t PostEvent(void* handle, uint64_t id, uint64_t param1, uint64_t param2);

// Delivers an event at once on this thread by the delivery rule, ahead of every queued event,
// and returns 0 (the function's result is not passed back). May run while the dispatcher runs
// another function of the same handler; from inside a handler function it calls re-entrantly.
KVX_API uint64_t SendEvent(void* handle, uint64_t id, uint64_t param1, uint64_t param2);

// ---------------------------------------------------------------------------------------------
// Message maps.
//
//   class Sensor : public CEventHandler {
//   public:
//       KVX_DECLARE_EVENT_MAP();
//       void OnCreate(uint64_t, uint64_t);
//       void OnTick(uint64_t timerId, uint64_t);
//   };
//   KVX_BEGIN_EVENT_MAP(Sensor)
//       KVX_ON_EVENT(EV_CREATE, OnCreate)
//       KVX_ON_EVENT(EV_TIMER, OnTick)
//   KVX_END_EVENT_MAP()
//
// KVX_DECLARE_EVENT_MAP declares GetEventHandlerInfo in the class; the map goes in one source
// file. The generated GetEventHandlerInfo keeps the registration record in the handler's three
// base fields: key the handle, object the handler's own (most derived class) address, map the
// table. Each entry's function is a small generated thunk that calls the member on that
// object, so members of any base class, also virtual ones, work, and the adjustment of
// generated entries is 0. KVX_ON_EVENT takes any member callable with two uint64_t arguments,
// whatever it returns; an id of 0 or of 2^32 and above is rejected at compile time. The map
// lists entries in the order written, with no link to a base class's map. Not for class
// templates.

// The thunk behind a map entry: calls `Member` on the object that `object` points to.
template <class Handler, auto Member>
void KvxEventThunk(void* object, uint64_t param1, uint64_t param2) {
    static_cast<void>((static_cast<Handler*>(object)->*Member)(param1, param2));
}

// An entry id, checked at compile time.
template <uint64_t Id> constexpr uint32_t KvxEventMapId() {
    static_assert(Id != 0, "event id 0 ends a message map");
    static_assert(Id <= 0xFFFFFFFFu, "message-map ids are 32-bit");
    return static_cast<uint32_t>(Id);
}

#define KVX_DECLARE_EVENT_MAP()                                                                    \
    EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override;                                \
    struct KvxEventMap

#define KVX_BEGIN_EVENT_MAP(Class)                                                                 \
    struct Class::KvxEventMap {                                                                    \
        using Self = Class;                                                                        \
        static const EVENT_MAP_ENTRY entries[];                                                    \
    };                                                                                             \
    EVENT_HANDLER_INFO* Class::GetEventHandlerInfo(void* handle) {                                 \
        return _SetEventHandlerInfo(handle, static_cast<void*>(this), KvxEventMap::entries);       \
    }                                                                                              \
    const EVENT_MAP_ENTRY Class::KvxEventMap::entries[] = {

#define KVX_ON_EVENT(id, Member) {KvxEventMapId<(id)>(), &KvxEventThunk<Self, &Self::Member>, 0},

#define KVX_END_EVENT_MAP()                                                                        \
    { 0, nullptr, 0 }                                                                              \
    }                                                                                              \
    ;
