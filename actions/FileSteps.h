// The steps that remove a file the search recorded: to the trash or for good, each
// after the check that the file is still the recorded one and, where the caller asks
// for it, after the byte proof against a copy that stays.
#pragma once

#include <string>
#include <vector>

#include "actions/ContentProof.h"

namespace pelidor {

struct TDuplicateFile;

enum class TActionProblem {
    None,
    Changed,        // the file changed since the search (or is no longer a regular file)
    ReplacedByLink, // a symbolic link stands at the path
    CopiesDiffer,   // no staying copy holds the same bytes
    NoStayingCopy,  // no copy of the group that stays is unchanged since the search
    SystemError,    // the system refused (Error holds its reason)
    // Replacing by a hard link or a clone:
    OtherFileSystem, // no staying copy is on the file system of the file
    NoClones,        // the file system cannot clone files (share extents)
    InReference,     // the file lies inside a reference folder: it is never acted on
};

struct TActionResult {
    bool ok = false;
    TActionProblem problem = TActionProblem::None;
    int error = 0;        // the system's reason for SystemError
    bool wasGone = false; // ok because nothing was at the path any more (for good only)
};

// Moves a file to the trash as the shell's delete to the Recycle Bin does: nothing at
// Path fails, the read-only flag is cleared, a file another program holds locked fails
// before the trash is asked, and the file is only ever renamed into the trash of its
// own file system, so a failure leaves it where it was.
bool RecycleFileStep(const std::string& Path, int& Error);
// Deletes a file for good: the read-only flag is cleared and the entry removed; a path
// where nothing is counts as deleted (only a missing entry, not one that cannot be
// examined).
bool DeleteFileStep(const std::string& Path, int& Error, bool* WasGone = nullptr);

// The problem a proof gives (None when it proved the file); the system's reason of an
// unreadable file is the proof's error.
TActionProblem ProofProblem(const TProofResult& Proof);

// Removes the file of Record, to the trash or for good. The file must still be the one
// the search recorded. With Staying given, it must also equal one of those copies
// byte for byte (ProveByStayingCopy); null skips the proof (the user chose to remove
// every copy, or the mode compares no content).
TActionResult RemoveRecordedFile(const TDuplicateFile& Record, bool ToTrash,
                                 const std::vector<const TDuplicateFile*>* Staying,
                                 const TProofTick& Tick = {});

} // namespace pelidor
