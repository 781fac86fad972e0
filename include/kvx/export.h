// export.h: the one macro that marks what the kvx shared library exports.
//
// Building kvx.dll / libkvx.so defines KVX_BUILDING_DLL; hosts define nothing and get the
// imports. KVX_STATIC is for code that links the library's objects directly (unit tests).
#pragma once

#if defined(KVX_STATIC)
#define KVX_API
#elif defined(_WIN32)
#if defined(KVX_BUILDING_DLL)
#define KVX_API __declspec(dllexport)
#else
#define KVX_API __declspec(dllimport)
#endif
#else
#define KVX_API __attribute__((visibility("default")))
#endif
