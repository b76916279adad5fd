// The few Win32 types the engine's C interface mentions. On Windows they come from
// <windows.h>; elsewhere (native builds against the stand-in engine) they are
// declared here with the same sizes and signedness.
#ifndef CLIENT_PLATFORM_TYPES_H_
#define CLIENT_PLATFORM_TYPES_H_

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdint.h>

typedef struct HWND__* HWND;
typedef struct HMONITOR__* HMONITOR;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
#endif

#endif  // CLIENT_PLATFORM_TYPES_H_
