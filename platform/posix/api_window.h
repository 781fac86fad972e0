// api_window.h: the POSIX layer's PostMessageW, SendMessageW, message windows and their pump.
#pragma once

#include "kvx/win32_types.h"
