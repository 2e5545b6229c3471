// Collection: the folder walk and the file filters.
//
// The walk is iterative (an explicit stack of open folders), so folder chains of any
// depth cost no call stack, and every folder is opened relative to its parent's handle,
// so paths longer than the system's limit are walked too. Only a bounded number of
// folder handles stay open; an ancestor whose handle was closed is reopened through
// "..", and abandoned when it is no longer the same folder.
#include "engine/uSearchHolper.h"

#include <algorithm>

#include "platform/DateTime.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace pelidor {

namespace {

constexpr size_t kMaxOpenFolders = 64;

// Folder paths without their trailing separator (the root stays "/").
std::string_view withoutTrailingSep(std::string_view path) {
    while (path.size() > 1 && path.back() == platform::kPathSep)
        path.remove_suffix(1);
    return path;
}

bool isTrashComponent(std::string_view name) {
    if (name == ".Trash")
        return true;
    constexpr std::string_view prefix = ".Trash-";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return false;
    return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

double FileTimeToDateTime(int64_t seconds, int32_t nanoseconds) {
    return platform::localDateTimeFromUnix(seconds, nanoseconds);
}

bool IsProtectedFolder(const std::string& Path) {
    if (Path.find("$RECYCLE.BIN") != std::string::npos)
        return true;
    const std::string_view path = withoutTrailingSep(Path);
    // Pseudo file systems: listing them is meaningless and reading them can hang.
    static constexpr std::string_view pseudo[] = {"/proc", "/sys", "/dev", "/run"};
    for (auto p : pseudo)
        if (platform::isSameOrInside(path, p))
            return true;
    // Every trash folder: a component .Trash or .Trash-<uid>, and the home trash.
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find(platform::kPathSep, pos);
        if (end == std::string_view::npos)
            end = path.size();
        if (isTrashComponent(path.substr(pos, end - pos)))
            return true;
        pos = end + 1;
    }
    static const std::string homeTrash = platform::homeTrashDir();
    return !homeTrash.empty() && platform::isSameOrInside(path, homeTrash);
}

bool TDuplicateFileThread::SkipFile(std::string_view name, int64_t size) const {
    if (size < FbeginSize)
        return true;
    if (FendSize >= 0 && size > FendSize)
        return true;
    if (!FincludeNames.empty() &&
        std::none_of(FincludeNames.begin(), FincludeNames.end(),
                     [&](const std::string& mask) { return PathMatchSpec(name, mask); }))
        return true;
    return std::any_of(FexcludeNames.begin(), FexcludeNames.end(),
                       [&](const std::string& mask) { return PathMatchSpec(name, mask); });
}

bool TDuplicateFileThread::IsExcludedFolder(const std::string& path) const {
    auto has = [&](const std::string& text) {
        return std::binary_search(FExcludeSorted.begin(), FExcludeSorted.end(), text);
    };
    if (has(path))
        return true;
    return !platform::hasTrailingSep(path) && has(path + platform::kPathSep);
}

void TDuplicateFileThread::CollectFiles() {
    Post(spCollect, 0);
    FExcludeSorted.clear();
    for (const auto& p : FexcludePath)
        if (!p.empty())
            FExcludeSorted.push_back(p);
    std::sort(FExcludeSorted.begin(), FExcludeSorted.end());
    for (const auto& path : FPaths)
        SearchFolder(path, FFileList);
    SizePrePass();
}

struct TDuplicateFileThread::WalkFrame {
    platform::Directory dir;
    uint64_t device = 0;
    uint64_t inode = 0;
    std::string path; // with one trailing separator
    std::vector<platform::RawDirEntry> entries;
    size_t next = 0;
    bool abandoned = false;
};

void TDuplicateFileThread::SearchFolder(const std::string& Path,
                                        std::vector<std::unique_ptr<TDuplicateFile>>& List) {
    std::vector<WalkFrame> stack;
    size_t openCount = 0;

    // Steps of a folder visit before its listing: stop test, exclusions, protection.
    auto mayEnter = [&](const std::string& path) {
        return !StopRequested() && !IsExcludedFolder(path) && !IsProtectedFolder(path);
    };
    auto enter = [&](platform::Directory dir, const std::string& path) {
        if (!dir.valid()) {
            // A folder that cannot be opened has nothing to list; its visit ends here.
            Post(spFolderDone, static_cast<int64_t>(FFileList.size()));
            return;
        }
        WalkFrame frame;
        frame.dir = std::move(dir);
        frame.path = platform::withTrailingSep(path);
        platform::FileStatus st;
        if (frame.dir.status(st)) {
            frame.device = st.device;
            frame.inode = st.inode;
        }
        if (!frame.dir.list(frame.entries))
            frame.entries.clear();
        ++openCount;
        stack.push_back(std::move(frame));
        // Keep the number of open folder handles bounded.
        if (openCount > kMaxOpenFolders) {
            for (auto& f : stack) {
                if (f.dir.valid() && &f != &stack.back()) {
                    f.dir.close();
                    --openCount;
                    break;
                }
            }
        }
    };

    if (!mayEnter(Path))
        return;
    enter(platform::Directory::open(platform::withTrailingSep(Path)), Path);

    while (!stack.empty()) {
        WalkFrame& frame = stack.back();
        if (frame.abandoned || !frame.dir.valid() || frame.next >= frame.entries.size()) {
            // The folder is finished: make sure its parent's handle is open again, then
            // report the running total.
            if (stack.size() >= 2) {
                WalkFrame& parent = stack[stack.size() - 2];
                if (!parent.dir.valid() && !parent.abandoned) {
                    platform::Directory up;
                    if (frame.dir.valid())
                        up = frame.dir.openParent();
                    // (an abandoned child has no handle, so its parent is lost as well)
                    platform::FileStatus st;
                    if (up.valid() && up.status(st) && st.device == parent.device &&
                        st.inode == parent.inode) {
                        parent.dir = std::move(up);
                        ++openCount;
                    } else {
                        parent.abandoned = true; // moved away during the walk
                    }
                }
            }
            if (frame.dir.valid())
                --openCount;
            stack.pop_back();
            Post(spFolderDone, static_cast<int64_t>(FFileList.size()));
            continue;
        }

        const platform::RawDirEntry& entry = frame.entries[frame.next++];
        platform::FileStatus st;
        bool haveStatus = false;
        platform::EntryKind kind = entry.kind;
        if (kind == platform::EntryKind::Unknown) {
            haveStatus = frame.dir.statChild(entry.name, st);
            kind = haveStatus ? st.kind : platform::EntryKind::Other;
        }
        if (kind == platform::EntryKind::Directory) {
            const std::string childPath = frame.path + entry.name;
            if (!mayEnter(childPath))
                continue;
            platform::Directory child = frame.dir.openChild(entry.name);
            enter(std::move(child), childPath);
            continue;
        }
        if (kind != platform::EntryKind::Regular)
            continue; // links, devices, FIFOs and sockets are never collected
        if (!haveStatus && !frame.dir.statChild(entry.name, st))
            continue; // gone since the listing
        if (st.kind != platform::EntryKind::Regular || SkipFile(entry.name, st.size))
            continue;
        auto record = std::make_unique<TDuplicateFile>();
        record->FileName = frame.path + entry.name;
        record->CreateTime = FileTimeToDateTime(st.createSec, st.createNsec);
        record->LastTime = FileTimeToDateTime(st.mtimeSec, st.mtimeNsec);
        record->FileSize = st.size;
        record->Device = st.device;
        record->Inode = st.inode;
        record->MTimeSec = st.mtimeSec;
        record->MTimeNsec = st.mtimeNsec;
        List.push_back(std::move(record));
    }
}

} // namespace pelidor
