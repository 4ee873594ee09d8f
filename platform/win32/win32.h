// The Win32 subset the system is written against. On Windows this is the platform's own
// header; elsewhere it is this layer's POSIX implementation of the same names.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "win32_kernel.h"
#include "win32_types.h"
#include "win32_user.h"
#endif
