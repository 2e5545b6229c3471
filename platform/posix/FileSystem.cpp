#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pelidor::platform {
namespace {

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

EntryKind kindFromMode(mode_t mode) {
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISREG(mode))
        return EntryKind::Regular;
    if (S_ISLNK(mode))
        return EntryKind::Symlink;
    return EntryKind::Other;
}

EntryKind kindFromDType(unsigned char type) {
    switch (type) {
    case DT_DIR:
        return EntryKind::Directory;
    case DT_REG:
        return EntryKind::Regular;
    case DT_LNK:
        return EntryKind::Symlink;
    case DT_UNKNOWN:
        return EntryKind::Unknown;
    default:
        return EntryKind::Other;
    }
}

bool statAt(int dirFd, const char* name, int flags, FileStatus& out, int* error) {
    struct statx sx {};
    if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME |
                    STATX_BTIME,
                &sx) != 0) {
        setError(error, errno);
        return false;
    }
    out.kind = kindFromMode(sx.stx_mode);
    out.mode = sx.stx_mode;
    out.size = static_cast<int64_t>(sx.stx_size);
    out.mtimeSec = sx.stx_mtime.tv_sec;
    out.mtimeNsec = static_cast<int32_t>(sx.stx_mtime.tv_nsec);
    if (sx.stx_mask & STATX_BTIME) {
        out.createSec = sx.stx_btime.tv_sec;
        out.createNsec = static_cast<int32_t>(sx.stx_btime.tv_nsec);
    } else {
        out.createSec = sx.stx_ctime.tv_sec;
        out.createNsec = static_cast<int32_t>(sx.stx_ctime.tv_nsec);
    }
    out.ctimeSec = sx.stx_ctime.tv_sec;
    out.ctimeNsec = static_cast<int32_t>(sx.stx_ctime.tv_nsec);
    out.device = makedev(sx.stx_dev_major, sx.stx_dev_minor); // same value as st_dev
    out.inode = sx.stx_ino;
    return true;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Types (statfs f_type) of the kernel's pseudo file systems: their folders show the
// system's state, not files, and reading them can block. devtmpfs reports the type of
// tmpfs and is known by its mount (Mounts.h).
constexpr uint32_t kPseudoTypes[] = {
    0x9fa0,     // proc
    0x62656572, // sysfs
    0x27e0eb,   // cgroup
    0x63677270, // cgroup2
    0x64626720, // debugfs
    0x74726163, // tracefs
    0x73636673, // securityfs
    0x6165676c, // pstore
    0xcafe4a11, // bpf
    0x62656570, // configfs
    0x65735543, // fusectl
    0x19800202, // mqueue
    0x958458f6, // hugetlbfs
    0x0187,     // autofs (entering its folders mounts file systems)
    0x1cd1,     // devpts
    0xde5e81e4, // efivarfs
    0x42494e4d, // binfmt_misc
    0xf97cff8c, // selinuxfs
    0x43415d53, // smackfs
    0x6e736673, // nsfs
    0x7655821,  // resctrl
};

} // namespace

LockResult lockResultFor(int error) {
    switch (error) {
    case 0:
        return LockResult::Taken;
    case EWOULDBLOCK: // EAGAIN
        return LockResult::HeldElsewhere;
    case ENOLCK:     // NFS without its lock service
    case EOPNOTSUPP: // ENOTSUP
    case EINVAL:     // a file system or file that cannot be locked this way
        return LockResult::NotOffered;
    default:
        return LockResult::Failed;
    }
}

LockResult tryLock(int fd, bool exclusive, int* error) {
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int err = 0;
    while (::flock(fd, operation) != 0) {
        err = errno;
        if (err != EINTR)
            break;
        err = 0;
    }
    setError(error, err);
    return lockResultFor(err);
}

Directory::~Directory() {
    close();
}

Directory::Directory(Directory&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Directory::close() {
    closeFd(fd_);
}

Directory Directory::open(const std::string& path, int* error) {
    const int fd = openLongPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, error);
    return Directory(fd);
}

Directory Directory::openChild(const std::string& name, int* error) const {
    if (fd_ < 0) {
        setError(error, EBADF);
        return {};
    }
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        setError(error, errno);
    return Directory(fd);
}

Directory Directory::openParent(int* error) const {
    return openChild("..", error);
}

Directory Directory::duplicate() const {
    return Directory(fd_ >= 0 ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1);
}

bool Directory::list(std::vector<RawDirEntry>& out, int* error) const {
    out.clear();
    if (fd_ < 0) {
        setError(error, EBADF);
        return false;
    }
    alignas(8) char buffer[64 * 1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // The entries read before the failure stay in `out`.
            setError(error, errno);
            return false;
        }
        if (n == 0)
            return true;
        for (long pos = 0; pos < n;) {
            // glibc's dirent64 has the kernel's getdents64 record layout.
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + pos);
            pos += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            out.push_back({std::string(name), kindFromDType(d->d_type)});
        }
    }
}

bool Directory::statChild(const std::string& name, FileStatus& out, int* error) const {
    if (fd_ < 0) {
        setError(error, EBADF);
        return false;
    }
    return statAt(fd_, name.c_str(), AT_SYMLINK_NOFOLLOW, out, error);
}

bool Directory::status(FileStatus& out) const {
    return fd_ >= 0 && statAt(fd_, "", AT_EMPTY_PATH, out, nullptr);
}

bool Directory::onPseudoFileSystem() const {
    struct statfs sf {};
    if (fd_ < 0 || ::fstatfs(fd_, &sf) != 0)
        return false;
    const auto type = static_cast<uint32_t>(sf.f_type);
    return std::find(std::begin(kPseudoTypes), std::end(kPseudoTypes), type) !=
           std::end(kPseudoTypes);
}

bool resolvePath(const std::string& path, std::string& out) {
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return false;
    out = resolved;
    std::free(resolved);
    return true;
}

bool statPath(const std::string& path, FileStatus& out, int* error) {
    if (path.size() < PATH_MAX)
        return statAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, out, error);
    // Too long for one call: open the folder that holds it and ask there.
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        setError(error, ENAMETOOLONG);
        return false;
    }
    Directory dir = Directory::open(path.substr(0, slash + 1), error);
    return dir.valid() && dir.statChild(path.substr(slash + 1), out, error);
}

int openLongPath(const std::string& path, int flags, int* error) {
    if (path.empty()) {
        setError(error, ENOENT);
        return -1;
    }
    if (path.find('\0') != std::string::npos) {
        setError(error, EINVAL);
        return -1;
    }
    if (path.size() < PATH_MAX) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd < 0)
            setError(error, errno);
        return fd;
    }
    // Walk the folders one at a time, never through a link.
    int dirFd = path[0] == '/' ? ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        setError(error, errno);
        return -1;
    }
    size_t pos = 0;
    for (;;) {
        while (pos < path.size() && path[pos] == '/')
            ++pos;
        size_t end = path.find('/', pos);
        const bool last =
            end == std::string::npos || path.find_first_not_of('/', end) == std::string::npos;
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(pos, end - pos);
        if (part.size() > NAME_MAX) {
            ::close(dirFd);
            setError(error, ENAMETOOLONG);
            return -1;
        }
        const int next =
            last ? ::openat(dirFd, part.c_str(), flags | O_CLOEXEC)
                 : ::openat(dirFd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int savedErrno = errno;
        ::close(dirFd);
        if (next < 0) {
            setError(error, savedErrno);
            return -1;
        }
        if (last)
            return next;
        dirFd = next;
        pos = end;
    }
}

ReadFile::~ReadFile() {
    close();
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : fd_(other.fd_), status_(other.status_), lock_(other.lock_) {
    other.fd_ = -1;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        status_ = other.status_;
        lock_ = other.lock_;
        other.fd_ = -1;
    }
    return *this;
}

void ReadFile::close() {
    closeFd(fd_);
}

ReadFile ReadFile::openShared(const std::string& path, int* error) {
    ReadFile f;
    f.fd_ = openLongPath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, error);
    if (f.fd_ < 0)
        return f;
    if (!statAt(f.fd_, "", AT_EMPTY_PATH, f.status_, error) ||
        f.status_.kind != EntryKind::Regular) {
        setError(error, f.status_.kind == EntryKind::Directory ? EISDIR : EINVAL);
        f.close();
        return f;
    }
    // Only a lock held elsewhere refuses the file; a file system without locks (NFS
    // without its lock service) is read without one.
    int lockError = 0;
    f.lock_ = tryLock(f.fd_, false, &lockError);
    if (f.lock_ == LockResult::HeldElsewhere || f.lock_ == LockResult::Failed) {
        setError(error, lockError);
        f.close();
        return f;
    }
    // O_NONBLOCK stays set: it kept the open of a FIFO from hanging, and reads of a
    // regular file ignore it.
    return f;
}

bool ReadFile::status(FileStatus& out) const {
    return fd_ >= 0 && statAt(fd_, "", AT_EMPTY_PATH, out, nullptr);
}

int64_t ReadFile::read(void* buffer, size_t size) const {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t n = ::read(fd_, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t ReadFile::readSome(void* buffer, size_t size) const {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int64_t ReadFile::readAt(void* buffer, size_t size, int64_t offset) const {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t n = ::pread(fd_, p + done, size - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

void ReadFile::adviseSequential() const {
    if (fd_ >= 0)
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::string errorText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace pelidor::platform
