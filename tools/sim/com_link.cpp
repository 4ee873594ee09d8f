#include "com_link.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool MakeDirs(const std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        // Appended piecewise: g++ 12 misreads the chained operator+ as overlapping copies.
        error = "cannot create ";
        error += path;
        error += ": ";
        error += ec.message();
        return false;
    }
    if (!std::filesystem::is_directory(path, ec)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

std::string ReadLink(const std::string& path) {
    char buf[4096];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

// A process counts as a running simulator when it exists and carries our program name;
// a process id reused by something else does not keep a leftover alive.
bool SimulatorRunning(long pid) {
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(comm, name))
        return true; // cannot tell: assume it is alive rather than take its port
    return name == "cmt2300-sim";
}

struct Marker {
    long pid = 0;
    std::string target;
};

bool ReadMarker(const std::string& path, Marker& marker) {
    std::ifstream in(path);
    return static_cast<bool>(in >> marker.pid >> marker.target);
}

} // namespace

std::string DosDevicesDir() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !*home)
            return {};
        base = std::string(home) + "/.config";
    }
    return base + "/cmt2300-config/dosdevices";
}

bool ComLink::Create(int com, const std::string& target, std::string& error, std::string& note) {
    const std::string dir = DosDevicesDir();
    if (dir.empty()) {
        error = "no home folder known: set HOME or XDG_CONFIG_HOME";
        return false;
    }
    if (!MakeDirs(dir, error))
        return false;

    const std::string name = "com" + std::to_string(com);
    const std::string link = dir + "/" + name;
    const std::string marker = dir + "/." + name + ".cmt2300-sim";

    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        Marker old;
        const std::string existing = ReadLink(link);
        const bool ours = S_ISLNK(st.st_mode) && ReadMarker(marker, old) && old.target == existing;
        if (!ours) {
            error = link + " already exists" + (existing.empty() ? "" : " (-> " + existing + ")") +
                    "; it was not made by this simulator and is left alone. Choose another "
                    "--com, or remove that link yourself if it is no longer wanted";
            return false;
        }
        if (SimulatorRunning(old.pid)) {
            error = "COM" + std::to_string(com) + " is served by another simulator (pid " +
                    std::to_string(old.pid) + "); choose another --com";
            return false;
        }
        if (unlink(link.c_str()) != 0 && errno != ENOENT) {
            error = "cannot remove the leftover " + link + ": " + std::strerror(errno);
            return false;
        }
        note = "replaced " + link + " -> " + existing + ", left by a simulator that ended (pid " +
               std::to_string(old.pid) + ")";
    } else if (errno != ENOENT) {
        error = "cannot examine " + link + ": " + std::strerror(errno);
        return false;
    }

    // The marker goes first: a crash between the two steps leaves a marker without a
    // link, which the next start simply overwrites, never a link nobody can vouch for.
    {
        std::ofstream out(marker, std::ios::trunc);
        out << getpid() << ' ' << target << '\n';
        if (!out.flush()) {
            error = "cannot write " + marker;
            return false;
        }
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = "cannot create " + link + ": " + std::strerror(errno);
        unlink(marker.c_str());
        return false;
    }
    linkPath_ = link;
    markerPath_ = marker;
    target_ = target;
    created_ = true;
    return true;
}

void ComLink::Remove() {
    if (!created_)
        return;
    created_ = false;
    if (ReadLink(linkPath_) == target_)
        unlink(linkPath_.c_str());
    Marker marker;
    if (ReadMarker(markerPath_, marker) && marker.pid == static_cast<long>(getpid()))
        unlink(markerPath_.c_str());
}
