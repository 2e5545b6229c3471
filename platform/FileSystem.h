// Folder listing, file status and reading: the only place with file-system calls.
// Every operation reports failure through its result and sets no global state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelidor::platform {

enum class EntryKind : uint8_t { Unknown, Directory, Regular, Symlink, Other };

struct RawDirEntry {
    std::string name;
    EntryKind kind = EntryKind::Unknown; // as the listing reports it; Unknown means "ask stat"
};

// What a lock request that does not wait came to.
enum class LockResult : uint8_t {
    Taken,         // the lock is held now
    NotOffered,    // the file system has no locks (ENOLCK, EOPNOTSUPP, EINVAL): go on without
    HeldElsewhere, // another open file holds a lock that conflicts (EWOULDBLOCK)
    Failed,        // the request failed for another reason
};

// The result of a flock call that failed with `error` (0: it succeeded).
LockResult lockResultFor(int error);

// Locks an open file with flock, shared or exclusive, without waiting. `error` gets the
// system's error number when the lock is not taken.
LockResult tryLock(int fd, bool exclusive, int* error = nullptr);

struct FileStatus {
    EntryKind kind = EntryKind::Unknown;
    int64_t size = 0;
    int64_t mtimeSec = 0;
    int32_t mtimeNsec = 0;
    int64_t createSec = 0; // birth time where recorded, else status-change time
    int32_t createNsec = 0;
    int64_t ctimeSec = 0; // status-change time
    int32_t ctimeNsec = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t mode = 0; // permission bits and file type
};

// An open folder. Move-only; closes itself. Children are opened relative to it,
// so paths of any depth and length can be walked.
class Directory {
public:
    Directory() = default;
    ~Directory();
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens a folder by path. Links inside the path are followed (the user chose it).
    static Directory open(const std::string& path, int* error = nullptr);
    // Opens a sub-folder by entry name; never follows a symbolic link.
    Directory openChild(const std::string& name, int* error = nullptr) const;
    // Opens this folder's parent (".."), for walks that closed an ancestor handle.
    Directory openParent(int* error = nullptr) const;
    // A second handle to the same folder, for use on another thread.
    Directory duplicate() const;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close();

    // Every entry except "." and "..", in the order the file system lists them. Reads
    // from the handle's position: call it once per handle. False when the listing
    // failed; the entries read before the failure are still in `out`.
    bool list(std::vector<RawDirEntry>& out, int* error = nullptr) const;
    // Status of an entry without following a symbolic link.
    bool statChild(const std::string& name, FileStatus& out, int* error = nullptr) const;
    // Status of the folder itself.
    bool status(FileStatus& out) const;
    // True when the folder lies on a pseudo file system (proc, sysfs, cgroup, debugfs,
    // autofs and the like), by the type the system reports for it.
    bool onPseudoFileSystem() const;

private:
    explicit Directory(int fd) : fd_(fd) {}
    int fd_ = -1;
#if defined(_WIN32)
    void* handle_ = nullptr; // the open folder; fd_ is 0 while it is open
    std::wstring path_;      // its long-path form with one trailing backslash
#endif
};

// Status of a path without following a final symbolic link.
bool statPath(const std::string& path, FileStatus& out, int* error = nullptr);

// The absolute path with every symbolic link, "." and ".." resolved (realpath). False
// when the path cannot be resolved (missing, no permission, too long).
bool resolvePath(const std::string& path, std::string& out);

// A file opened for reading its content. Move-only; closes itself.
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(ReadFile&& other) noexcept;
    ReadFile& operator=(ReadFile&& other) noexcept;
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // Opens a regular file for reading without following a final symbolic link and
    // takes a shared lock without waiting: a file that another process holds under
    // an exclusive lock, a link, a folder or a device is refused. On a file system
    // that has no locks the file is read without one. Paths longer than the system's
    // limit are opened folder by folder.
    static ReadFile openShared(const std::string& path, int* error = nullptr);

    bool valid() const { return fd_ >= 0; }
    // What the lock step came to: Taken or NotOffered for an open file; HeldElsewhere
    // or Failed when it refused the file; Failed when the open failed before it.
    LockResult lock() const { return lock_; }
    // The status taken when the file was opened.
    const FileStatus& openStatus() const { return status_; }
    // The status now.
    bool status(FileStatus& out) const;
    // Reads up to `size` bytes; -1 on error, fewer bytes only at the end of the file.
    int64_t read(void* buffer, size_t size) const;
    // One read call: up to `size` bytes, 0 at the end of the file, -1 on error.
    int64_t readSome(void* buffer, size_t size) const;
    // Reads up to `size` bytes at `offset`; -1 on error.
    int64_t readAt(void* buffer, size_t size, int64_t offset) const;
    // Tells the system the file will be read from start to end once.
    void adviseSequential() const;
    void close();

private:
    int fd_ = -1;
    FileStatus status_;
    LockResult lock_ = LockResult::Failed;
#if defined(_WIN32)
    void* handle_ = nullptr; // fd_ is 0 while the handle is open
#endif
};

// Opens `path` with open(2) flags; a path longer than PATH_MAX is opened by walking
// its folders with openat (never following links on the way). -1 on failure.
int openLongPath(const std::string& path, int flags, int* error = nullptr);

// The system's text for an error number.
std::string errorText(int error);

} // namespace pelidor::platform
