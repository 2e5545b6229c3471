// The rules over a whole list of duplicates that decide what a command may act on:
// which groups would lose every copy, and which files of a group stay to prove the
// others. The list is whatever the window shows: each entry a file, its group and
// whether it is ticked.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/uSearchHolper.h"

namespace pelidor {

struct TListedFile {
    const TDuplicateFile* File = nullptr; // null: an entry without a file (never acted on)
    int32_t Group = 0;
    bool Ticked = false;
    bool Reference = false; // inside a reference folder: never acted on, always stays
};

// Whether the files a command acts on must be proven byte for byte against a staying
// copy (the content modes), and whether groups whose every file is ticked are asked
// about first (every mode but the empty-file search, whose files are all alike).
bool ModeNeedsContentProof(TDuplicateType Mode);
bool ModeAsksForEveryCopy(TDuplicateType Mode, bool EmptyFileSearch);

// One command's view of the list, taken once before it starts.
class TActionPlan {
public:
    explicit TActionPlan(const std::vector<TListedFile>& List);

    // Indexes of the ticked entries with a file, in list order. An entry inside a
    // reference folder is never taken as ticked: it stays, whatever its mark.
    const std::vector<size_t>& Ticked() const { return ticked_; }
    // Groups whose every entry with a file is ticked, in the order of their first entry.
    const std::vector<int32_t>& EveryCopyGroups() const { return everyCopy_; }
    bool LosesEveryCopy(int32_t Group) const;
    // Files of the entries ticked in EveryCopyGroups.
    size_t EveryCopyFiles() const;
    // The files of Group that are not ticked, in list order.
    const std::vector<const TDuplicateFile*>& Staying(int32_t Group) const;
    // The sum of the ticked files' sizes.
    int64_t TickedBytes() const { return tickedBytes_; }

private:
    std::vector<size_t> ticked_;
    std::vector<int32_t> everyCopy_;
    std::unordered_map<int32_t, std::vector<const TDuplicateFile*>> staying_;
    std::unordered_map<int32_t, size_t> tickedInGroup_;
    int64_t tickedBytes_ = 0;
};

} // namespace pelidor
