#include "backup/ArchiveFiles.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace pelidor::backup {
namespace {

constexpr size_t kBufferSize = size_t(1) << 20;

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

std::string randomSuffix() {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    uint64_t value = engine();
    std::string text(12, '0');
    for (char& c : text) {
        c = digits[value & 15];
        value >>= 4;
    }
    return text;
}

// rename(2) that never replaces an existing entry.
int renameNoReplace(int dirFd, const char* from, const char* to) {
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // The file system cannot rename without replacing: a hard link fails on an
    // existing name too.
    if (::linkat(dirFd, from, dirFd, to, 0) == 0) {
        ::unlinkat(dirFd, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    // Neither (FAT and the like): check, then rename.
    struct stat st {};
    if (::fstatat(dirFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

} // namespace

PendingFile::~PendingFile() {
    discard();
}

PendingFile::PendingFile(PendingFile&& other) noexcept {
    *this = std::move(other);
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        dirFd_ = other.dirFd_;
        fd_ = other.fd_;
        folder_ = std::move(other.folder_);
        tempName_ = std::move(other.tempName_);
        tempPath_ = std::move(other.tempPath_);
        buffer_ = std::move(other.buffer_);
        position_ = other.position_;
        finished_ = other.finished_;
        mode_ = other.mode_;
        haveMode_ = other.haveMode_;
        mtimeSec_ = other.mtimeSec_;
        mtimeNsec_ = other.mtimeNsec_;
        haveTime_ = other.haveTime_;
        other.dirFd_ = -1;
        other.fd_ = -1;
        other.tempName_.clear();
        other.tempPath_.clear();
    }
    return *this;
}

bool PendingFile::create(const std::string& folder, const std::string& tag, int* error) {
    discard();
    if (folder.empty()) {
        setError(error, ENOENT);
        return false;
    }
    int code = 0;
    dirFd_ = platform::openLongPath(folder, O_RDONLY | O_DIRECTORY, &code);
    if (dirFd_ < 0) {
        setError(error, code);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + tag + "-" + randomSuffix() + ".tmp";
        fd_ = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0600);
        if (fd_ >= 0) {
            folder_ = folder;
            tempName_ = name;
            tempPath_ = (folder.back() == '/' ? folder : folder + "/") + name;
            position_ = 0;
            finished_ = false;
            buffer_.clear();
            buffer_.reserve(kBufferSize);
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    setError(error, errno);
    closeAll();
    return false;
}

bool PendingFile::flush(int* error) {
    const unsigned char* data = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, data, left, static_cast<off_t>(position_));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError(error, errno);
            return false;
        }
        if (n == 0) {
            setError(error, ENOSPC);
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        position_ += n;
    }
    buffer_.clear();
    return true;
}

bool PendingFile::write(const void* data, size_t size, int* error) {
    if (fd_ < 0 || finished_) {
        setError(error, EBADF);
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const size_t room = kBufferSize - buffer_.size();
        const size_t take = size < room ? size : room;
        buffer_.insert(buffer_.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (buffer_.size() >= kBufferSize && !flush(error))
            return false;
    }
    return true;
}

bool PendingFile::seek(int64_t offset, int* error) {
    if (fd_ < 0 || finished_ || offset < 0) {
        setError(error, fd_ < 0 ? EBADF : EINVAL);
        return false;
    }
    if (!flush(error))
        return false;
    position_ = offset;
    return true;
}

bool PendingFile::finish(int* error) {
    if (fd_ < 0 || finished_) {
        setError(error, EBADF);
        return false;
    }
    if (!flush(error))
        return false;
    if (haveMode_ && ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) {
        setError(error, errno);
        return false;
    }
    if (haveTime_) {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtimeSec_), mtimeNsec_}};
        if (::futimens(fd_, times) != 0) {
            setError(error, errno);
            return false;
        }
    }
    if (::fsync(fd_) != 0) {
        setError(error, errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        setError(error, errno);
        return false;
    }
    finished_ = true;
    return true;
}

bool PendingFile::publish(const std::string& name, bool replace, int* error) {
    if (!finished_ || dirFd_ < 0 || tempName_.empty()) {
        setError(error, EBADF);
        return false;
    }
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        setError(error, EINVAL);
        return false;
    }
    const int code =
        replace ? (::renameat(dirFd_, tempName_.c_str(), dirFd_, name.c_str()) == 0 ? 0 : errno)
                : renameNoReplace(dirFd_, tempName_.c_str(), name.c_str());
    if (code != 0) {
        setError(error, code);
        return false;
    }
    tempName_.clear();
    tempPath_.clear();
    // The new name must survive a crash as surely as the content.
    ::fsync(dirFd_);
    closeAll();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (dirFd_ >= 0 && !tempName_.empty())
        ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    tempPath_.clear();
    closeAll();
}

void PendingFile::closeAll() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (dirFd_ >= 0) {
        ::close(dirFd_);
        dirFd_ = -1;
    }
    buffer_.clear();
    buffer_.shrink_to_fit();
    finished_ = false;
}

PathInfo lookAtPath(const std::string& path) {
    PathInfo info;
    platform::FileStatus st;
    int code = 0;
    if (!platform::statPath(path, st, &code)) {
        if (code == ENOENT) {
            info.kind = PathKind::Missing;
        } else {
            info.kind = PathKind::Unknown;
            info.error = code;
        }
        return info;
    }
    info.mode = st.mode;
    switch (st.kind) {
    case platform::EntryKind::Regular:
        info.kind = PathKind::RegularFile;
        break;
    case platform::EntryKind::Directory:
        info.kind = PathKind::Directory;
        break;
    case platform::EntryKind::Symlink:
        info.kind = PathKind::Symlink;
        break;
    default:
        info.kind = PathKind::Other;
        break;
    }
    return info;
}

bool makeFolderPath(const std::string& folder, int* error) {
    if (folder.empty()) {
        setError(error, ENOENT);
        return false;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        setError(error, ENOTDIR);
        return false;
    }
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        const std::string part = folder.substr(0, pos);
        if (part.empty() || part.back() == '/')
            continue;
        if (::mkdir(part.c_str(), 0777) == 0)
            continue;
        const int code = errno;
        if (code != EEXIST) {
            setError(error, code);
            return false;
        }
        if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            setError(error, ENOTDIR);
            return false;
        }
    }
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    setError(error, ENOTDIR);
    return false;
}

} // namespace pelidor::backup
