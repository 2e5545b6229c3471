// The check a file passes right before anything acts on it: it must still be the file
// the search recorded. A path is looked at with lstat, so a link is never followed.
#pragma once

namespace pelidor {

struct TDuplicateFile;

enum class TFileCheck {
    Unchanged,      // a regular file with the recorded size, time, device and inode
    Missing,        // nothing is there any more; the step that acts decides what that means
    Changed,        // another size or time, another file, or not a regular file
    ReplacedByLink, // a symbolic link now stands at the path
    Failed,         // the path cannot be looked at, or a folder stands there (Error says why)
};

// Compares what is at Record.FileName now with the record. Error is set for Missing and
// Failed (the system's reason), 0 otherwise.
TFileCheck CheckFileUnchanged(const TDuplicateFile& Record, int& Error);

} // namespace pelidor
