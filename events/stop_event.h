// stop_event.h: how the event system makes its stop event, with a switch that lets tests make
// the creation fail.
#pragma once

#include "platform/win32.h"

// A new manual-reset, unnamed, non-signalled event, or null when it cannot be created (or a
// test asked for failures).
HANDLE KvxCreateStopEvent();

// For tests: the next `count` calls of KvxCreateStopEvent fail.
void KvxFailStopEvents(int count);
