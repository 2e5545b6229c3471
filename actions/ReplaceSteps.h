// The steps that keep a ticked file's path but store its bytes once: the path becomes a
// hard link to a copy of its group that stays, or a clone of it (a file of its own that
// shares the copy's extents, where the file system offers that). Each step first makes
// sure, as the removal does, that the file is still the one the search recorded and
// that a staying copy holds the same bytes; then it makes the link or clone under a
// temporary name in the file's folder and renames it over the file, so the path never
// goes missing. Whatever fails on the way, the file stays as it was and the temporary
// file is removed again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/ContentProof.h"
#include "actions/FileSteps.h"

namespace pelidor {

struct TDuplicateFile;

enum class TReplaceKind {
    HardLink, // the path shares the staying copy's inode: one set of permissions, owner, times
    Clone,    // a file of its own sharing the copy's extents; keeps its permissions, owner, times
};

struct TReplaceResult {
    bool ok = false;
    TActionProblem problem = TActionProblem::None;
    int error = 0;                        // the system's reason for SystemError
    const TDuplicateFile* copy = nullptr; // the staying copy the path now shares its bytes with
    // The bytes given back: the file's size when its last link was replaced, 0 when other
    // links keep the old file, or when the path was a hard link of the copy already.
    int64_t freedBytes = 0;
    bool alreadyShared = false; // a hard link of the copy already: nothing was changed
    // A temporary file that could not be removed after a failure (empty: none left).
    std::string leftOver;
};

// Replaces the file of Record by a hard link to, or a clone of, one of Staying (the
// files of its group that stay). The file must still be the recorded one; the copy must
// be unchanged since the search, equal to it byte for byte and, for a hard link, on the
// same file system (OtherFileSystem when none is). A file system without clones gives
// NoClones. A missing file is a SystemError (ENOENT): there is no path to keep.
TReplaceResult ReplaceRecordedFile(const TDuplicateFile& Record, TReplaceKind Kind,
                                   const std::vector<const TDuplicateFile*>& Staying,
                                   const TProofTick& Tick = {});

} // namespace pelidor
