// win32_extras.h: what the Windows build needs beyond <windows.h> (things mingw lacks).
#pragma once
