// The proof a file gives before it is destroyed: its bytes equal those of a copy that
// stays. A fingerprint only says that two files are likely equal (two different files
// can share an MD5, and a partial fingerprint never sees the middle of a file); the
// bytes say it for certain.
#pragma once

#include <functional>
#include <vector>

namespace pelidor {

struct TDuplicateFile;

enum class TCompareResult {
    Equal,     // the same bytes (two hard links of one file count as equal)
    Differ,    // the contents differ
    SameEntry, // both paths reach one directory entry (a folder seen twice): not a copy
    Changed,   // one of the two is no longer the file the search recorded
    Failed,    // one of the two could not be opened or read (Error says why)
};

// Called between blocks of a long comparison (a window keeps itself responsive there).
using TProofTick = std::function<void()>;

// Compares the files of two records byte for byte. Both are opened without following
// a final link, under a shared lock, and must still be the recorded files (device,
// inode, size and modification time). FirstFailed tells which side a Failed or
// Changed result is about (true: A).
TCompareResult CompareRecordedFiles(const TDuplicateFile& A, const TDuplicateFile& B, int& Error,
                                    bool& FirstFailed, const TProofTick& Tick = {});

enum class TProof {
    Proven,        // a staying copy holds the same bytes
    CopiesDiffer,  // every staying copy that could be compared differs
    NoStayingCopy, // no staying copy is left unchanged since the search
    Unreadable,    // the file itself could not be read (Error says why)
    Changed,       // the file itself is no longer the one the search recorded
};

struct TProofResult {
    TProof proof = TProof::NoStayingCopy;
    const TDuplicateFile* copy = nullptr; // the copy that proved it
    int error = 0;
};

// Looks for a copy among Staying (the files of the same group that stay) that is
// unchanged since the search and equal to Ticked byte for byte. Copies at Ticked's own
// path and copies that are the same directory entry are passed over.
TProofResult ProveByStayingCopy(const TDuplicateFile& Ticked,
                                const std::vector<const TDuplicateFile*>& Staying,
                                const TProofTick& Tick = {});

} // namespace pelidor
