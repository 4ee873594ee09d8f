// Basic Win32 types and constants, with their documented sizes and values.
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ULONG_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using HANDLE = void*;

struct HWND__;
using HWND = HWND__*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

// All bits set, as on Windows.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// Pointer and size types used by the kernel calls.
using CHAR = char;
using PVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using SIZE_T = std::size_t;

// Calling convention marker of callbacks; the default convention on this platform.
#ifndef WINAPI
#define WINAPI
#endif
