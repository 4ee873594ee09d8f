// wsprintfA.
#include "win32_kernel.h"

#include <cstdarg>
#include <cstdio>

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    // The documented limit of the output buffer.
    constexpr int OutputLimit = 1024;
    va_list args;
    va_start(args, lpFmt);
    int n = std::vsnprintf(lpOut, OutputLimit, lpFmt, args);
    va_end(args);
    if (n < 0) {
        lpOut[0] = '\0';
        return 0;
    }
    return n < OutputLimit ? n : OutputLimit - 1;
}
