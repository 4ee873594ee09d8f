#include "win32_user.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr UINT kFirstRegisteredMessage = 0xC000;
constexpr UINT kLastRegisteredMessage = 0xFFFF;

// Names compare without regard to ASCII case, like the system's atom table.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::size_t n = a.size() < b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < n; ++i) {
            const int ca = std::tolower(static_cast<unsigned char>(a[i]));
            const int cb = std::tolower(static_cast<unsigned char>(b[i]));
            if (ca != cb)
                return ca < cb;
        }
        return a.size() < b.size();
    }
};

struct Registry {
    std::mutex lock;
    std::map<std::string, UINT, CaseInsensitiveLess> messages;
    UINT nextMessage = kFirstRegisteredMessage;
    std::map<HWND, WindowMessageTarget*> windows;
    std::uintptr_t nextWindow = 0x10000;
};

Registry& registry() {
    static Registry r;
    return r;
}

WindowMessageTarget* TargetOf(HWND hwnd) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.windows.find(hwnd);
    return it == r.windows.end() ? nullptr : it->second;
}

} // namespace

HWND CreateMessageWindow(WindowMessageTarget* target) {
    if (!target)
        return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    // Handles are spaced like the system's (multiples of 4) and never reused, so a stale
    // handle can never reach a newer window.
    HWND hwnd = reinterpret_cast<HWND>(r.nextWindow);
    r.nextWindow += 4;
    r.windows[hwnd] = target;
    return hwnd;
}

BOOL DestroyMessageWindow(HWND hwnd) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.windows.erase(hwnd) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd) { return TargetOf(hwnd) ? TRUE : FALSE; }

UINT RegisterWindowMessageA(LPCSTR name) {
    if (!name || !*name)
        return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.messages.find(name);
    if (it != r.messages.end())
        return it->second;
    if (r.nextMessage > kLastRegisteredMessage)
        return 0;
    const UINT id = r.nextMessage++;
    r.messages.emplace(name, id);
    return id;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowMessageTarget* target = TargetOf(hwnd);
    return target ? target->HandleWindowMessage(msg, wParam, lParam) : 0;
}
