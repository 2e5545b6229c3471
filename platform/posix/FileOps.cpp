#include "platform/FileOps.h"

#include "platform/FileSystem.h"

#include <cerrno>
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

} // namespace

bool pathExists(const std::string& path) {
    struct stat st {};
    return validPath(path) && ::lstat(path.c_str(), &st) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return validPath(path) && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void addOwnerWrite(const std::string& path) {
    struct stat st {};
    if (!validPath(path) || ::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return;
    if ((st.st_mode & S_IWUSR) == 0)
        ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

bool isFileLocked(const std::string& path) {
    if (!isRegularFile(path))
        return false;
    const int fd = openLongPath(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return true;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // also drops the lock just taken
    return locked;
}

bool removeFile(const std::string& path, int* error) {
    if (!validPath(path)) {
        setError(error, ENOENT);
        return false;
    }
    if (::unlink(path.c_str()) == 0)
        return true;
    setError(error, errno);
    return false;
}

bool removeTree(const std::string& path, int* error) {
    if (!validPath(path)) {
        setError(error, ENOENT);
        return false;
    }
    return removeEntry(AT_FDCWD, path.c_str(), error);
}

bool fileSize(const std::string& path, int64_t& size) {
    struct stat st {};
    if (!validPath(path))
        return false;
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0)
        return false;
    size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return validPath(a) && validPath(b) && ::stat(a.c_str(), &sa) == 0 &&
           ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace pelidor::platform
