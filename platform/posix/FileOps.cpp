#include "platform/FileOps.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelidor::platform {
namespace {

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

bool validPath(const std::string& path) {
    return !path.empty() && path.find('\0') == std::string::npos;
}

// Removes the entry `name` of the folder `dirFd`; a folder with everything in it.
bool removeEntry(int dirFd, const char* name, int* error) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        setError(error, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(dirFd, name, 0) == 0)
            return true;
        setError(error, errno);
        return false;
    }
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, 0);
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        setError(error, errno);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        setError(error, errno);
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view n = entry->d_name;
        if (n != "." && n != "..")
            names.emplace_back(n);
    }
    bool ok = true;
    for (const auto& child : names)
        ok = removeEntry(::dirfd(dir), child.c_str(), error) && ok;
    ::closedir(dir);
    if (!ok)
        return false;
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0)
        return true;
    setError(error, errno);
    return false;
}

// Runs `op(dirFd, name)` on the entry a path names: with AT_FDCWD and the whole path
// when it fits the system's limit, else relative to its folder, which is opened one
// level at a time. errno tells why when the result is false.
template <class Op>
bool atEntry(const std::string& path, Op op) {
    if (!validPath(path)) {
        errno = ENOENT;
        return false;
    }
    if (path.size() < PATH_MAX)
        return op(AT_FDCWD, path.c_str());
    std::string_view entry = path;
    while (entry.size() > 1 && entry.back() == '/')
        entry.remove_suffix(1);
    const auto slash = entry.rfind('/');
    if (slash == std::string_view::npos) {
        errno = ENAMETOOLONG;
        return false;
    }
    int code = 0;
    const int dirFd =
        openLongPath(std::string(entry.substr(0, slash + 1)), O_RDONLY | O_DIRECTORY, &code);
    if (dirFd < 0) {
        errno = code;
        return false;
    }
    const std::string name(entry.substr(slash + 1));
    const bool ok = op(dirFd, name.c_str());
    const int saved = errno;
    ::close(dirFd);
    errno = saved;
    return ok;
}

bool lstatEntry(const std::string& path, struct stat& st) {
    return atEntry(path, [&](int dirFd, const char* name) {
        return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
}

// Status with a final symbolic link followed, else of the link itself.
bool statEntry(const std::string& path, struct stat& st) {
    return atEntry(path, [&](int dirFd, const char* name) {
        return ::fstatat(dirFd, name, &st, 0) == 0 ||
               ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
}

} // namespace

bool pathExists(const std::string& path) {
    struct stat st {};
    return lstatEntry(path, st);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return lstatEntry(path, st) && S_ISREG(st.st_mode);
}

void addOwnerWrite(const std::string& path) {
    atEntry(path, [](int dirFd, const char* name) {
        struct stat st {};
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
            return false;
        return (st.st_mode & S_IWUSR) != 0 ||
               ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IWUSR, 0) == 0;
    });
}

bool isFileLocked(const std::string& path) {
    if (!isRegularFile(path))
        return false;
    const int fd = openLongPath(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return true;
    // A file system without locks does not make every file look locked.
    const LockResult lock = tryLock(fd, true);
    ::close(fd); // also drops the lock just taken
    return lock != LockResult::Taken && lock != LockResult::NotOffered;
}

bool removeFile(const std::string& path, int* error) {
    if (!validPath(path)) {
        setError(error, ENOENT);
        return false;
    }
    if (atEntry(path, [](int dirFd, const char* name) { return ::unlinkat(dirFd, name, 0) == 0; }))
        return true;
    setError(error, errno);
    return false;
}

bool removeTree(const std::string& path, int* error) {
    if (!validPath(path)) {
        setError(error, ENOENT);
        return false;
    }
    int code = 0;
    if (atEntry(path, [&](int dirFd, const char* name) {
            if (removeEntry(dirFd, name, &code))
                return true;
            errno = code;
            return false;
        }))
        return true;
    setError(error, errno);
    return false;
}

bool fileSize(const std::string& path, int64_t& size) {
    struct stat st {};
    if (!statEntry(path, st))
        return false;
    size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    const auto follow = [](const std::string& path, struct stat& st) {
        return atEntry(
            path, [&](int dirFd, const char* name) { return ::fstatat(dirFd, name, &st, 0) == 0; });
    };
    return follow(a, sa) && follow(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace pelidor::platform
