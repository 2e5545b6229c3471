// Making a file under a temporary name beside another one, and renaming it over that
// one: the two halves of replacing a file by a hard link or a clone of another file
// without the path ever being missing. The temporary file is removed again unless it
// has been renamed over its target.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace pelidor::platform {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile(); // removes the temporary file when it is still there
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // A hard link to `source` (a final symbolic link is linked itself, never followed)
    // under a new hidden name in the folder of `target`. On Windows: CreateHardLinkW;
    // another volume gives EXDEV.
    static StagedFile hardLink(const std::string& source, const std::string& target,
                               int* error = nullptr);
    // A clone of `source` (sharing its extents: FICLONE) under a new hidden name in the
    // folder of `target`, with permission bits 0600 until copyMetadata runs. The source
    // is opened without following a final link; `sourceBefore` and `sourceAfter` get its
    // status right before and right after the clone, so the caller can tell that the
    // clone holds the bytes of the file it expects. The error is EOPNOTSUPP (or EINVAL)
    // where the file system cannot clone, EXDEV across file systems. On Windows the
    // clone is FSCTL_DUPLICATE_EXTENTS_TO_FILE, offered only where the volume reports
    // block cloning (FILE_SUPPORTS_BLOCK_REFCOUNTING, ReFS); elsewhere EOPNOTSUPP.
    static StagedFile clone(const std::string& source, const std::string& target,
                            FileStatus& sourceBefore, FileStatus& sourceAfter,
                            int* error = nullptr);

    bool valid() const { return dirFd_ >= 0 && !name_.empty(); }
    // The temporary file's full path.
    std::string path() const;
    // The status of the temporary entry (not following a link).
    bool status(FileStatus& out, int* error = nullptr) const;
    // Gives the temporary file the owner, group, permission bits, extended attributes
    // (but the security ones, which the system sets for each new file) and access and
    // modification times of the file at `from`, opened without following a link;
    // `fromStatus` gets that file's status. Only for files made by clone(). On Windows:
    // the creation, access, write and change times and the attributes.
    bool copyMetadata(const std::string& from, FileStatus& fromStatus, int* error = nullptr);
    // Renames the temporary file over `target` in one step (rename; on Windows
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING), so that the path names the old file
    // until it names the new one. Afterwards nothing is left to remove. On Windows a
    // read-only target loses the attribute for the rename (given back when it fails);
    // a read-only target with other hard links is refused (EACCES), since the
    // attribute belongs to every link. `replacedLinks` gets the link count of the file that was
    // replaced, as it was right before.
    bool renameOver(const std::string& target, uint64_t* replacedLinks = nullptr,
                    int* error = nullptr);
    // Removes the temporary file now; false (with the reason) when it cannot be removed.
    bool discard(int* error = nullptr);

private:
    StagedFile(int dirFd, std::string folder, std::string name)
        : dirFd_(dirFd), folder_(std::move(folder)), name_(std::move(name)) {}
    void release();

    int dirFd_ = -1;     // the folder of the target (0 on Windows while the entry exists)
    std::string folder_; // its path, with a trailing separator
    std::string name_;   // the temporary entry's name; empty once renamed or removed
    int fileFd_ = -1;    // the open temporary file (clone only)
#if defined(_WIN32)
    void* fileHandle_ = nullptr; // the open temporary file (clone only); fileFd_ is 0 then
#endif
};

} // namespace pelidor::platform
