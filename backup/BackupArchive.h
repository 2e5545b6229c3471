// Backup archives: the ZIP files written before ticked files are deleted for good, and
// put back by the backup manager. No Qt in here: the main window's backup worker and
// the backup manager's restore worker call these routines from their own threads.
//
// An archive is one ZIP file in the backup folder named "Qdx" + the local date-time
// of its creation as a day count with exactly 8 decimals (the locale's decimal
// separator, no thousands separator) + ".bak", e.g. Qdx45634.50000000.bak for 12:00 on
// 8 December 2024. It holds one entry per stored file, in the order given:
//  - the entry name is the file's absolute path with "/" separators; a name that is
//    valid UTF-8 is marked as UTF-8 (general-purpose bit 11 where it is not plain
//    ASCII), any other name is stored as its raw bytes without the mark and restored
//    byte for byte;
//  - deflate at level 6 (libzip stores data that does not shrink as it is);
//  - the modification time in the DOS field and, to the second and independent of
//    the time zone, in an extended-timestamp field (0x5455);
//  - the Unix mode bits in the external attributes (made by Unix, mode << 16);
//  - ZIP64 records wherever sizes or offsets need them.
// Paths are byte strings as the file system stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelidor::backup {

// ---- Names ------------------------------------------------------------------------------

// The full path of the archive made at date-time `now` in folder `backPath` (a "/" is
// added to the folder when missing).
std::string BackupArchiveName(const std::string& backPath, double now,
                              const std::string& decimalSeparator);
// Reads the date-time back from an archive's file name (no folder): "Qdx", a number
// in the locale's format, ".bak", with the letter case exactly so. False for any other
// name, a number with blanks or another decimal mark, or a value that is no date.
bool ParseBackupArchiveName(const std::string& fileName, const std::string& decimalSeparator,
                            double& dateTime);

// ---- Listing ----------------------------------------------------------------------------

struct BackupArchiveInfo {
    std::string fileName; // name in the folder
    std::string path;     // folder + "/" + name
    double dateTime = 0;  // from the name
    int64_t size = 0;     // bytes
};
// The archives of `folder` in the order the folder lists them: regular files whose names
// parse (see above) and do not start with "."; folders, links and everything else are
// left out. An empty list when the folder is missing or cannot be read.
std::vector<BackupArchiveInfo> ListBackupArchives(const std::string& folder,
                                                  const std::string& decimalSeparator);

// Deletes an archive for good, read-only or not. True when it is gone (also when it
// was gone before); on failure `error` holds the system's reason.
bool DeleteBackupArchive(const std::string& path, int* error = nullptr);

// ---- Writing ----------------------------------------------------------------------------

// Why a file that exists was not stored.
enum class BackupProblem {
    SystemError,   // `error` tells (cannot be opened or read, locked by another program...)
    NotAbsolute,   // the path is not an absolute path without "." and ".." components
    NotRegular,    // a folder, a link, a device or a pipe is at the path
    KeptChanging,  // the file changed each time it was read
    ArchiveFailed, // the archive itself could not be written (see the report)
};
struct BackupFailure {
    std::string path;
    BackupProblem problem = BackupProblem::SystemError;
    int error = 0; // errno, for SystemError and ArchiveFailed
};

struct BackupReport {
    // The archive written, when one was: complete and under its final name.
    std::string archivePath;
    size_t stored = 0;          // entries in that archive
    size_t missing = 0;         // paths where nothing existed: left out, not a failure
    bool archiveFailed = false; // the archive could not be created or written
    int archiveError = 0;       // errno of that failure (ENOSPC, EACCES, ENOENT...)
    // Every file that exists and is not in a complete archive, in the order given,
    // each once. Empty exactly when everything that exists was stored.
    std::vector<BackupFailure> notBackedUp;

    bool complete() const { return notBackedUp.empty() && !archiveFailed; }
};

// Writes the archive for `paths` (in this order) in folder `backPath`, named after
// `now`. The archive is written under a hidden temporary name in that folder and gets
// its real name only once it is complete and on the disk; a failure removes it. The
// folder is not created. An existing archive of the same name is never replaced: the
// name's time then moves on by the smallest step. No archive is written when no file
// could be stored. Each file is opened without following links, must be a regular file
// and is read once, with a shared lock; a file that changes while it is read is read
// again (a few times at most). Paths that occur twice are stored once.
BackupReport WriteBackupArchive(const std::string& backPath, const std::vector<std::string>& paths,
                                double now, const std::string& decimalSeparator);

// ---- Restoring --------------------------------------------------------------------------

enum class RestoreProblem {
    SystemError,      // `error` tells (no permission, disk full, folder cannot be made...)
    UnsafeName,       // the entry name is not an absolute path of plain components
    NotAFile,         // the entry is a folder, a link or a special file
    Damaged,          // the entry's data cannot be read back (bad CRC, cut short...)
    LinkInTheWay,     // a symbolic link is at the destination
    FolderInTheWay,   // a folder is at the destination
    SpecialInTheWay,  // a device, pipe or socket is at the destination
    ReadOnlyInTheWay, // a read-only file is at the destination
    BadArchive,       // the archive cannot be opened or is not a ZIP file
};
struct RestoreFailure {
    std::string path; // the destination (the entry name), or the archive for BadArchive
    RestoreProblem problem = RestoreProblem::SystemError;
    int error = 0; // errno for SystemError
};

struct RestoreReport {
    size_t entries = 0;  // entries in the archive
    size_t written = 0;  // files written
    size_t declined = 0; // existing files kept because the question was answered No
    std::vector<RestoreFailure> failures;
    // Every entry written or declined: the archive may go.
    bool completed() const { return failures.empty(); }
};

// Answers whether the existing file at `destination` may be replaced. Called on the
// restoring thread, once per existing file; false keeps the file.
using ReplaceQuestion = std::function<bool(const std::string& destination)>;

// Puts every entry of the archive back at the path its name gives, in the archive's
// order. Missing folders are created. An entry whose name is not an absolute path of
// plain components ("", ".", ".." are refused) is never written. An existing regular
// file is replaced only when `askReplace` answers true (without a question it is
// kept); a link, folder, special or read-only file at the destination is a failure.
// Each file is written to a hidden temporary file in its destination folder, gets the
// entry's modification time and permission bits (set-user-ID, set-group-ID and sticky
// bits are not restored), is forced to the disk and then renamed into place, so an
// interrupted restore never leaves part of a file under the real name.
RestoreReport RestoreBackupArchive(const std::string& archivePath,
                                   const ReplaceQuestion& askReplace);

// True when `name` is an absolute path whose components are neither empty nor "." nor
// "..", and holds no NUL byte. The rule for entry names on both sides.
bool IsSafeArchivePath(const std::string& name);

} // namespace pelidor::backup
