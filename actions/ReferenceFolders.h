// Reference folders: folders whose files are searched and grouped like any others but
// are never acted on. Their files are never ticked (by hand or by a selection command),
// never deleted and never replaced; they always count as copies that stay. Keep One
// keeps every copy inside them and ticks the rest of their groups.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "actions/CopyRules.h"

namespace pelidor {

class TReferenceFolders {
public:
    TReferenceFolders() = default;
    // Empty entries are left out. Each folder counts by its spelling and by its resolved
    // path (links resolved), so a file reached through another spelling of the folder
    // still counts as inside it.
    explicit TReferenceFolders(const std::vector<std::string>& Folders);

    bool empty() const { return spelled_.empty(); }
    // True when Path (a file's full path) lies inside one of the folders, at any depth.
    // First by the text of the path, then by its folder's resolved path (resolved once
    // per folder and remembered). A folder that cannot be resolved counts by text only.
    bool Contains(const std::string& Path) const;

private:
    std::vector<std::string> spelled_;  // as given, each with one trailing separator
    std::vector<std::string> resolved_; // the same resolved, where that worked
    mutable std::unordered_map<std::string, bool> folderCache_;
};

// Sets Reference on every entry with a file inside the folders, clears it elsewhere;
// an entry inside them loses its tick.
void MarkReferenceFiles(std::vector<TListedFile>& List, const TReferenceFolders& Folders);

// The rules of the selection commands over a list with reference entries:
// Select All ticks every entry with a file outside the reference folders; Invert turns
// every such entry's tick; neither ever ticks a reference entry.
void SelectAllFiles(std::vector<TListedFile>& List);
void InvertFiles(std::vector<TListedFile>& List);
// Keep One's reference rule: in every group that holds a reference copy, each reference
// entry stays unticked and every other entry is ticked. Groups without a reference copy
// are left alone (the chosen time rule decides there). A group whose every copy is
// inside reference folders keeps everything: it has nothing to act on. Returns, per
// entry, whether the rule decided it.
std::vector<bool> KeepReferenceCopies(std::vector<TListedFile>& List);
// True when some entry of Group lies outside the reference folders (the group has
// something a command may act on).
bool GroupHasActionableFiles(const std::vector<TListedFile>& List, int32_t Group);

} // namespace pelidor
