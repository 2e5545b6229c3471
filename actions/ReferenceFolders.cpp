#include "actions/ReferenceFolders.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <unordered_set>

namespace pelidor {
namespace {

bool insideAny(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (platform::isSameOrInside(path, folder))
            return true;
    return false;
}

// "/a/b/name" -> "/a/b/".
std::string folderOf(const std::string& path) {
    const std::string_view name = platform::fileNamePart(path);
    return path.substr(0, path.size() - name.size());
}

} // namespace

TReferenceFolders::TReferenceFolders(const std::vector<std::string>& Folders) {
    for (const std::string& folder : Folders) {
        if (folder.empty())
            continue;
        spelled_.push_back(platform::withTrailingSep(folder));
        std::string resolved;
        if (platform::resolvePath(folder, resolved) && !resolved.empty())
            resolved_.push_back(platform::withTrailingSep(resolved));
    }
}

bool TReferenceFolders::Contains(const std::string& Path) const {
    if (spelled_.empty() || Path.empty())
        return false;
    if (insideAny(Path, spelled_) || insideAny(Path, resolved_))
        return true;
    if (resolved_.empty())
        return false;
    const std::string folder = folderOf(Path);
    if (folder.empty())
        return false;
    const auto it = folderCache_.find(folder);
    if (it != folderCache_.end())
        return it->second;
    std::string resolved;
    const bool inside = platform::resolvePath(folder, resolved) &&
                        insideAny(platform::withTrailingSep(resolved), resolved_);
    folderCache_.emplace(folder, inside);
    return inside;
}

void MarkReferenceFiles(std::vector<TListedFile>& List, const TReferenceFolders& Folders) {
    for (TListedFile& e : List) {
        e.Reference = e.File != nullptr && Folders.Contains(e.File->FileName);
        if (e.Reference)
            e.Ticked = false;
    }
}

void SelectAllFiles(std::vector<TListedFile>& List) {
    for (TListedFile& e : List)
        if (e.File != nullptr)
            e.Ticked = !e.Reference;
}

void InvertFiles(std::vector<TListedFile>& List) {
    for (TListedFile& e : List)
        if (e.File != nullptr)
            e.Ticked = !e.Reference && !e.Ticked;
}

std::vector<bool> KeepReferenceCopies(std::vector<TListedFile>& List) {
    std::unordered_set<int32_t> withReference;
    for (const TListedFile& e : List)
        if (e.File != nullptr && e.Reference)
            withReference.insert(e.Group);
    std::vector<bool> decided(List.size(), false);
    for (size_t i = 0; i < List.size(); ++i) {
        TListedFile& e = List[i];
        if (e.File == nullptr || withReference.count(e.Group) == 0)
            continue;
        e.Ticked = !e.Reference;
        decided[i] = true;
    }
    return decided;
}

bool GroupHasActionableFiles(const std::vector<TListedFile>& List, int32_t Group) {
    for (const TListedFile& e : List)
        if (e.File != nullptr && e.Group == Group && !e.Reference)
            return true;
    return false;
}

} // namespace pelidor
