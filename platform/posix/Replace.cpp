#include "platform/Replace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace pelidor::platform {
namespace {

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value != 0 ? value : EIO;
}

// "/a/b/name" -> folder "/a/b/" and name "name"; a path without a separator is in ".".
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = "./";
        name = path;
    } else {
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

int openFolder(const std::string& folder, int* error) {
    return openLongPath(folder, O_RDONLY | O_DIRECTORY, error);
}

FileStatus statusOf(const struct stat& st) {
    FileStatus s;
    s.kind = S_ISREG(st.st_mode)   ? EntryKind::Regular
             : S_ISDIR(st.st_mode) ? EntryKind::Directory
             : S_ISLNK(st.st_mode) ? EntryKind::Symlink
                                   : EntryKind::Other;
    s.size = int64_t(st.st_size);
    s.mtimeSec = int64_t(st.st_mtim.tv_sec);
    s.mtimeNsec = int32_t(st.st_mtim.tv_nsec);
    s.createSec = int64_t(st.st_ctim.tv_sec);
    s.createNsec = int32_t(st.st_ctim.tv_nsec);
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.mode = uint32_t(st.st_mode);
    return s;
}

// A hidden name that is new in its folder most of the time; the caller retries on EEXIST.
std::string temporaryName() {
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               (uint64_t(::getpid()) << 32)};
    static const char digits[] = "0123456789abcdef";
    std::string name = ".pelidor-replace-";
    uint64_t value = random();
    for (int i = 0; i < 16; ++i, value >>= 4)
        name.push_back(digits[value & 15]);
    return name;
}

constexpr int kNameTries = 16;

bool copyExtendedAttributes(int fromFd, int toFd, int* error) {
    ssize_t size = ::flistxattr(fromFd, nullptr, 0);
    if (size < 0) {
        if (errno == ENOTSUP)
            return true;
        setError(error, errno);
        return false;
    }
    std::vector<char> names(size_t(size) + 1);
    size = ::flistxattr(fromFd, names.data(), names.size());
    if (size < 0) {
        setError(error, errno);
        return false;
    }
    std::vector<char> value;
    for (ssize_t at = 0; at < size;) {
        const char* name = names.data() + at;
        at += ssize_t(std::strlen(name)) + 1;
        // The system labels every new file itself.
        if (std::strncmp(name, "security.", 9) == 0)
            continue;
        ssize_t length = ::fgetxattr(fromFd, name, nullptr, 0);
        if (length < 0) {
            setError(error, errno);
            return false;
        }
        value.resize(size_t(length) + 1);
        length = ::fgetxattr(fromFd, name, value.data(), value.size());
        if (length < 0 || ::fsetxattr(toFd, name, value.data(), size_t(length), 0) != 0) {
            setError(error, errno);
            return false;
        }
    }
    return true;
}

} // namespace

StagedFile::~StagedFile() {
    discard();
    release();
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : dirFd_(other.dirFd_), folder_(std::move(other.folder_)), name_(std::move(other.name_)),
      fileFd_(other.fileFd_) {
    other.dirFd_ = -1;
    other.fileFd_ = -1;
    other.name_.clear();
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        discard();
        release();
        dirFd_ = other.dirFd_;
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        fileFd_ = other.fileFd_;
        other.dirFd_ = -1;
        other.fileFd_ = -1;
        other.name_.clear();
    }
    return *this;
}

void StagedFile::release() {
    if (fileFd_ >= 0)
        ::close(fileFd_);
    if (dirFd_ >= 0)
        ::close(dirFd_);
    fileFd_ = -1;
    dirFd_ = -1;
}

std::string StagedFile::path() const {
    return folder_ + name_;
}

StagedFile StagedFile::hardLink(const std::string& source, const std::string& target, int* error) {
    std::string folder, name, sourceFolder, sourceName;
    splitPath(target, folder, name);
    splitPath(source, sourceFolder, sourceName);
    const int dirFd = openFolder(folder, error);
    if (dirFd < 0)
        return {};
    const int sourceDirFd = openFolder(sourceFolder, error);
    if (sourceDirFd < 0) {
        ::close(dirFd);
        return {};
    }
    for (int i = 0; i < kNameTries; ++i) {
        const std::string temp = temporaryName();
        // Flags 0: a final symbolic link is linked itself, never followed.
        if (::linkat(sourceDirFd, sourceName.c_str(), dirFd, temp.c_str(), 0) == 0) {
            ::close(sourceDirFd);
            return StagedFile(dirFd, folder, temp);
        }
        if (errno != EEXIST)
            break;
    }
    setError(error, errno);
    ::close(sourceDirFd);
    ::close(dirFd);
    return {};
}

StagedFile StagedFile::clone(const std::string& source, const std::string& target,
                             FileStatus& sourceBefore, FileStatus& sourceAfter, int* error) {
    sourceBefore = FileStatus();
    sourceAfter = FileStatus();
    const int sourceFd = openLongPath(source, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, error);
    if (sourceFd < 0)
        return {};
    struct stat st {};
    if (::fstat(sourceFd, &st) != 0) {
        setError(error, errno);
        ::close(sourceFd);
        return {};
    }
    sourceBefore = statusOf(st);
    if (!S_ISREG(st.st_mode)) {
        setError(error, EINVAL);
        ::close(sourceFd);
        return {};
    }
    std::string folder, name;
    splitPath(target, folder, name);
    const int dirFd = openFolder(folder, error);
    if (dirFd < 0) {
        ::close(sourceFd);
        return {};
    }
    StagedFile staged;
    for (int i = 0; i < kNameTries && !staged.valid(); ++i) {
        const std::string temp = temporaryName();
        const int fd = ::openat(dirFd, temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            staged = StagedFile(dirFd, folder, temp);
            staged.fileFd_ = fd;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (!staged.valid()) {
        setError(error, errno);
        ::close(dirFd);
        ::close(sourceFd);
        return {};
    }
    const bool cloned = ::ioctl(staged.fileFd_, FICLONE, sourceFd) == 0;
    const int cloneError = errno;
    struct stat after {};
    const bool statted = ::fstat(sourceFd, &after) == 0;
    const int statError = errno;
    ::close(sourceFd);
    if (!cloned || !statted) {
        setError(error, !cloned ? cloneError : statError);
        staged.discard();
        return {};
    }
    sourceAfter = statusOf(after);
    return staged;
}

bool StagedFile::status(FileStatus& out, int* error) const {
    struct stat st {};
    if (!valid() || ::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        setError(error, valid() ? errno : EBADF);
        return false;
    }
    out = statusOf(st);
    return true;
}

bool StagedFile::copyMetadata(const std::string& from, FileStatus& fromStatus, int* error) {
    fromStatus = FileStatus();
    if (!valid() || fileFd_ < 0) {
        setError(error, EBADF);
        return false;
    }
    const int fromFd = openLongPath(from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, error);
    if (fromFd < 0)
        return false;
    struct stat st {
    }, mine{};
    bool ok = ::fstat(fromFd, &st) == 0 && ::fstat(fileFd_, &mine) == 0;
    if (ok)
        fromStatus = statusOf(st);
    // The owner first: changing it clears the set-user and set-group bits.
    if (ok && (st.st_uid != mine.st_uid || st.st_gid != mine.st_gid))
        ok = ::fchown(fileFd_, st.st_uid, st.st_gid) == 0;
    if (ok)
        ok = ::fchmod(fileFd_, st.st_mode & 07777) == 0;
    if (!ok) {
        setError(error, errno);
        ::close(fromFd);
        return false;
    }
    if (!copyExtendedAttributes(fromFd, fileFd_, error)) {
        ::close(fromFd);
        return false;
    }
    // The times last: nothing writes to the file after them.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ::futimens(fileFd_, times) == 0;
    const int code = errno;
    ::close(fromFd);
    if (!ok)
        setError(error, code);
    return ok;
}

bool StagedFile::renameOver(const std::string& target, uint64_t* replacedLinks, int* error) {
    if (!valid()) {
        setError(error, EBADF);
        return false;
    }
    std::string folder, name;
    splitPath(target, folder, name);
    if (folder != folder_) {
        setError(error, EXDEV);
        return false;
    }
    struct stat old {};
    if (::fstatat(dirFd_, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
        setError(error, errno);
        return false;
    }
    if (replacedLinks != nullptr)
        *replacedLinks = uint64_t(old.st_nlink);
    if (::renameat(dirFd_, name_.c_str(), dirFd_, name.c_str()) != 0) {
        setError(error, errno);
        return false;
    }
    // Two links of one file: rename leaves both names in place and succeeds. The path
    // already names that file, so the temporary name only has to go.
    struct stat left {};
    if (::fstatat(dirFd_, name_.c_str(), &left, AT_SYMLINK_NOFOLLOW) == 0 &&
        left.st_ino == old.st_ino && left.st_dev == old.st_dev) {
        if (!discard(error))
            return false;
    }
    name_.clear();
    if (fileFd_ >= 0)
        ::close(fileFd_);
    fileFd_ = -1;
    return true;
}

bool StagedFile::discard(int* error) {
    if (!valid())
        return true;
    if (::unlinkat(dirFd_, name_.c_str(), 0) != 0 && errno != ENOENT) {
        setError(error, errno);
        return false;
    }
    name_.clear();
    return true;
}

} // namespace pelidor::platform
