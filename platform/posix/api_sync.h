// api_sync.h: the POSIX layer's events, waits, slim reader/writer locks, critical sections.
#pragma once

#include "kvx/win32_types.h"

// --- Critical sections (platform/posix/critical_section.cpp) ---------------------------------
// CRITICAL_SECTION (kvx/win32_types.h) keeps the lock's whole state inside the structure: no
// resource is allocated, so initialisation cannot fail. As on Windows the lock is recursive:
// the owning thread may enter again and must leave as often as it entered. A thread that finds
// the lock taken by another spins up to the spin count before it sleeps. Leaving a section the
// thread does not own, or deleting one that is held, is outside the contract.

// Prepares `section` with spin count `spinCount` (bits above the low 24 are flags on Windows
// and ignored). Always returns TRUE.
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
// The same with spin count 0.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
// Waits until the calling thread owns the section (at once if it already does).
void EnterCriticalSection(LPCRITICAL_SECTION section);
// Ends one entry; the last one releases the section and wakes one waiting thread.
void LeaveCriticalSection(LPCRITICAL_SECTION section);
// Ends the section's life; it may be initialised again afterwards.
void DeleteCriticalSection(LPCRITICAL_SECTION section);
