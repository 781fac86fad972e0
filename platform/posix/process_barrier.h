// process_barrier.h: a memory barrier run on every thread of the process at once.
//
// Lets a lock's frequent side order its accesses with compiler barriers only, while its rare
// side pays for the ordering on every thread (the kernel interrupts each CPU that runs one of
// the process's threads; the others pass a barrier when they are next scheduled).
#pragma once

// True when the kernel offers the barrier to this process. Asks (and registers the process)
// once; later calls only read the answer. Never fails otherwise. Registering waits for the
// kernel's grace period when the process already has other threads (12 to 15 ms measured),
// and costs next to nothing while it has one.
bool KvxProcessBarrierAvailable();

// Returns once every thread of the process has passed a full memory barrier since the call
// began: a store that another thread made before its barrier is visible to the caller's loads
// after the return. Only for processes where KvxProcessBarrierAvailable() is true. If the
// kernel declines for a moment (out of memory), it retries with the system-wide barrier and
// then after a pause; it does not return without the barrier.
void KvxProcessBarrier();
