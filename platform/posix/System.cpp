#include "platform/System.h"

#include "platform/Environment.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace pelidor::platform {
namespace {

// A folder owned by the current user that no one else may enter.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

bool osVersion(OsVersion& out) {
    struct utsname names {};
    if (::uname(&names) != 0)
        return false;
    out = OsVersion{};
    out.sysname = names.sysname;
    out.release = names.release;
    out.version = names.version;
    // "6.1.0-18-amd64": up to three numbers separated by points.
    uint32_t* parts[] = {&out.major, &out.minor, &out.build};
    size_t index = 0;
    const char* p = names.release;
    while (index < 3 && *p >= '0' && *p <= '9') {
        uint64_t value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<uint64_t>(*p - '0');
            if (value > UINT32_MAX)
                value = UINT32_MAX;
            ++p;
        }
        *parts[index++] = static_cast<uint32_t>(value);
        if (*p != '.')
            break;
        ++p;
    }
    return true;
}

bool effectiveUserIsRoot() {
    return ::geteuid() == 0;
}

std::string executablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    static constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        path.resize(path.size() - kDeleted.size());
    return path;
}

std::string privateRuntimeDir() {
    const std::string runtime = getEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/' && isPrivateFolder(runtime))
        return runtime;
    const std::string fallback = "/tmp/pelidor-" + userIdText();
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(fallback.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::chmod(fallback.c_str(), 0700) != 0)
        return {};
    return fallback;
}

} // namespace pelidor::platform
