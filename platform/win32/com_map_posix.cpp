// COM number map on POSIX.
#include "com_map.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win32_posix {

std::string DosDevicesFolder() {
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] == '\0')
            return {};
        base = std::string(home) + "/.config";
    }
    return base + "/cmt2300-config/dosdevices";
}

std::string ResolveComPort(unsigned number) {
    if (number == 0)
        return {};
    std::string folder = DosDevicesFolder();
    if (!folder.empty()) {
        std::string entry = folder + "/com" + std::to_string(number);
        struct stat info;
        if (lstat(entry.c_str(), &info) == 0)
            return entry;
    }
    const char* only = std::getenv("CMT2300_DOSDEVICES_ONLY");
    if (only != nullptr && std::strcmp(only, "1") == 0)
        return {};
    struct Range {
        unsigned first;
        const char* prefix;
    };
    static constexpr Range table[] = {
        {1, "/dev/ttyUSB"}, {33, "/dev/ttyACM"}, {65, "/dev/ttyS"}, {97, "/dev/ttyAMA"}};
    for (const Range& range : table) {
        if (number >= range.first && number < range.first + 32)
            return range.prefix + std::to_string(number - range.first);
    }
    return {};
}

unsigned ParseComName(const char* name) {
    if (name == nullptr)
        return 0;
    bool prefixed = std::strncmp(name, "\\\\.\\", 4) == 0;
    const char* p = prefixed ? name + 4 : name;
    if (std::strlen(p) < 4 || std::toupper(static_cast<unsigned char>(p[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(p[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(p[2])) != 'M')
        return 0;
    p += 3;
    if (*p < '1' || *p > '9')
        return 0;
    unsigned long long number = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        number = number * 10 + static_cast<unsigned>(*p - '0');
        if (number > 0xFFFFFFFFull)
            return 0;
    }
    if (!prefixed && number > 9)
        return 0;
    return static_cast<unsigned>(number);
}

} // namespace win32_posix
