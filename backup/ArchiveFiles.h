// The file operations the backup archives need beyond the platform layer: a file
// written under a hidden temporary name and given its real name only when it is
// complete, folder creation, and a look at what sits at a destination path. Paths
// are byte strings as the file system stores them. Every operation reports failure
// through its result and the system's error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelidor::backup {

// A new file in a folder, written under a temporary name that starts with "." (so
// that no listing of archives or of the user's files mistakes it for the real
// thing) and renamed to its real name by publish(). Dropped without publish(), the
// temporary file is removed. Writes are buffered; positions count the buffer.
// Move-only.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file in `folder` (an existing folder; it is not created)
    // with permissions 0600. `tag` becomes part of the temporary name.
    bool create(const std::string& folder, const std::string& tag, int* error);
    bool isOpen() const { return fd_ >= 0; }

    bool write(const void* data, size_t size, int* error);
    // Moves the write position (flushing what is buffered first).
    bool seek(int64_t offset, int* error);
    int64_t tell() const { return position_ + static_cast<int64_t>(buffer_.size()); }

    // Permission bits (07777 is masked) and modification time of the file, set when
    // it is finished; without a call the file keeps 0600 and the time of writing.
    void setFinalMode(uint32_t mode) {
        mode_ = mode & 07777;
        haveMode_ = true;
    }
    void setFinalTime(int64_t seconds, int32_t nanoseconds) {
        mtimeSec_ = seconds;
        mtimeNsec_ = nanoseconds;
        haveTime_ = true;
    }

    // Flushes the buffer, applies mode and time, and forces the content to the disk.
    // The file stays under its temporary name.
    bool finish(int* error);
    // Renames the finished file to `name` in its folder, then forces the folder's
    // entry to the disk. Without `replace` an existing entry of that name is never
    // touched and the call fails with EEXIST; with it, an existing file is replaced
    // in one step (a folder in the way fails). After success the object is empty.
    bool publish(const std::string& name, bool replace, int* error);
    // Closes and removes the temporary file; safe to call on an empty object.
    void discard();

    // The temporary file's full path (empty when there is none).
    const std::string& tempPath() const { return tempPath_; }

private:
    bool flush(int* error);
    void closeAll();

    int dirFd_ = -1;
    int fd_ = -1;
    std::string folder_;
    std::string tempName_;
    std::string tempPath_;
    std::vector<unsigned char> buffer_;
    int64_t position_ = 0;
    bool finished_ = false;
    uint32_t mode_ = 0600;
    bool haveMode_ = false;
    int64_t mtimeSec_ = 0;
    int32_t mtimeNsec_ = 0;
    bool haveTime_ = false;
};

// What is at a path, not following a final symbolic link.
enum class PathKind { Missing, RegularFile, Directory, Symlink, Other, Unknown };
struct PathInfo {
    PathKind kind = PathKind::Unknown;
    uint32_t mode = 0; // permission bits and type
    int error = 0;     // for Unknown: why the look failed
};
PathInfo lookAtPath(const std::string& path);

// Creates `folder` and its missing parents (new folders get 0777 less the process's
// umask). True when `folder` is a folder afterwards (links to folders count).
// ENOTDIR when something other than a folder is in the way.
bool makeFolderPath(const std::string& folder, int* error);

} // namespace pelidor::backup
