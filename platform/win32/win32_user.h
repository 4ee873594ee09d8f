// The window-message services: registered message ids and synchronous delivery to a
// window. A window is any object of the window platform that registers itself here and
// receives the handle (HWND) that identifies it.
#pragma once

#include "win32_types.h"

// Implemented by whatever owns a window (the window platform's form, or a test window).
class WindowMessageTarget {
public:
    // Handles one message on the thread that sent it.
    virtual LRESULT HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~WindowMessageTarget() = default;
};

// Gives `target` a fresh, never reused, non-zero window handle. UI thread.
HWND CreateMessageWindow(WindowMessageTarget* target);
// The handle stops naming a window; messages sent to it afterwards are dropped (result 0).
BOOL DestroyMessageWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);

// Registered message range: ids 0xC000 to 0xFFFF. The same name (ASCII case ignored)
// yields the same id for the life of the process; 0 on failure (null or empty name, or
// the range exhausted). Thread-safe.
UINT RegisterWindowMessageA(LPCSTR name);

// Calls the target window's HandleWindowMessage synchronously on the calling thread and
// returns its result, after it has returned. 0 when `hwnd` names no window.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
