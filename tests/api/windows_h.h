// windows_h.h: <windows.h> as a Windows host includes it, for the header tests; nothing
// elsewhere. UNICODE on and NOMINMAX off, the setting least kind to library headers: min and
// max are macros and every A/W function name maps to its W form.
#pragma once

#if defined(KVX_TEST_WITH_WINDOWS_H)
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#endif
