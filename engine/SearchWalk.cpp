// Collection: the folder walk and the file filters.
//
// The walk is iterative (an explicit stack of open folders), so folder chains of any
// depth cost no call stack, and every folder is opened relative to its parent's handle,
// so paths longer than the system's limit are walked too. Only a bounded number of
// folder handles stay open; an ancestor whose handle was closed is reopened through
// "..", and abandoned when it is no longer the same folder.
//
// One file is one record: the walk never enters a folder whose device and inode it has
// already entered in the run (a bind mount, a start folder reached twice through a
// link, a mount loop), and start folders are thinned by what they resolve to. Hard
// links are two directory entries and stay two records.
#include "engine/uSearchHolper.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/DateTime.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Mounts.h"

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
#if defined(_WIN32)
    // The Windows folder itself (the shell's folder 36); sub-folders are entered.
    static const std::string windows = platform::specialFolder(36);
    return !windows.empty() && EngineCompareText(withoutTrailingSep(Path), windows) == 0;
#endif
    const std::string_view path = withoutTrailingSep(Path);
    // Pseudo file systems: listing them is meaningless and reading them can hang.
    // Removable media are mounted under /run/media: those are scanned.
    static constexpr std::string_view pseudo[] = {"/proc", "/sys", "/dev", "/run"};
    for (auto p : pseudo)
        if (platform::isSameOrInside(path, p))
            return p != "/run" || !platform::isSameOrInside(path, "/run/media");
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
        return std::binary_search(FExcludeSorted.begin(), FExcludeSorted.end(), text,
                                  platform::pathTextLess);
    };
    if (has(path))
        return true;
    return !platform::hasTrailingSep(path) && has(path + platform::kPathSep);
}

void RemoveSameFolders(std::vector<std::string>& list, const std::vector<std::string>& givenOrder) {
    struct Entry {
        size_t rank = 0; // position in the caller's order
        std::string resolved;
        bool haveId = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        bool kept = false;
    };
    std::vector<Entry> entries(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        Entry& e = entries[i];
        const auto given = std::find(givenOrder.begin(), givenOrder.end(), list[i]);
        e.rank = given != givenOrder.end() ? static_cast<size_t>(given - givenOrder.begin())
                                           : givenOrder.size() + i;
        if (!platform::resolvePath(list[i], e.resolved))
            e.resolved = std::string(withoutTrailingSep(list[i]));
        platform::FileStatus st;
        const platform::Directory dir = platform::Directory::open(list[i]);
        if (dir.valid() && dir.status(st)) {
            e.haveId = true;
            e.device = st.device;
            e.inode = st.inode;
        }
    }
    std::vector<size_t> byRank(list.size());
    for (size_t i = 0; i < byRank.size(); ++i)
        byRank[i] = i;
    std::stable_sort(byRank.begin(), byRank.end(),
                     [&](size_t a, size_t b) { return entries[a].rank < entries[b].rank; });
    for (size_t i : byRank) {
        Entry& e = entries[i];
        const bool covered = std::any_of(entries.begin(), entries.end(), [&](const Entry& k) {
            return k.kept && (platform::isSameOrInside(e.resolved, k.resolved) ||
                              (e.haveId && k.haveId && e.device == k.device && e.inode == k.inode));
        });
        if (covered)
            continue;
        for (Entry& k : entries)
            if (k.kept && platform::isSameOrInside(k.resolved, e.resolved))
                k.kept = false; // lies inside the folder given later
        e.kept = true;
    }
    std::vector<std::string> kept;
    for (size_t i = 0; i < list.size(); ++i)
        if (entries[i].kept)
            kept.push_back(std::move(list[i]));
    list = std::move(kept);
}

void TDuplicateFileThread::PrepareWalk() {
    FExcludeSorted.clear();
    for (const auto& p : FexcludePath)
        if (!p.empty())
            FExcludeSorted.push_back(p);
    std::sort(FExcludeSorted.begin(), FExcludeSorted.end(), platform::pathTextLess);
    RemoveSameFolders(FPaths, FPathsAsGiven);
    FEnteredFolders.clear();
    // The protected folders as they are, whatever path leads to them.
    const auto identify = [](const std::string& path, std::vector<FolderId>& out) {
        platform::FileStatus st;
        const platform::Directory dir =
            path.empty() ? platform::Directory() : platform::Directory::open(path);
        if (dir.valid() && dir.status(st))
            out.push_back({st.device, st.inode});
    };
    FProtectedIds.clear();
    for (const char* path : {"/proc", "/sys", "/dev", "/run"})
        identify(path, FProtectedIds);
    FHomeTrashId.clear();
    identify(platform::homeTrashDir(), FHomeTrashId);
    FProtectedIds.insert(FProtectedIds.end(), FHomeTrashId.begin(), FHomeTrashId.end());
    FPseudoDevices = platform::pseudoFileSystemDevices();
}

bool TDuplicateFileThread::IsProtectedIdentity(const FolderId& id, bool newDevice,
                                               const platform::Directory& dir) const {
    if (std::binary_search(FPseudoDevices.begin(), FPseudoDevices.end(), id.device))
        return true;
    if (std::find(FProtectedIds.begin(), FProtectedIds.end(), id) != FProtectedIds.end())
        return true;
    return newDevice && dir.onPseudoFileSystem();
}

bool TDuplicateFileThread::LiesInHomeTrash(const platform::Directory& dir) const {
    if (FHomeTrashId.empty())
        return false;
    platform::FileStatus st;
    if (!dir.status(st))
        return false;
    platform::Directory up;
    // Up through ".." to the top; a chain deeper than this cannot be a real folder.
    for (int depth = 0; depth < 4096; ++depth) {
        if (FolderId{st.device, st.inode} == FHomeTrashId.front())
            return true;
        platform::Directory parent = (depth == 0 ? dir : up).openParent();
        platform::FileStatus parentSt;
        if (!parent.valid() || !parent.status(parentSt) ||
            (parentSt.device == st.device && parentSt.inode == st.inode))
            return false; // the top of the file system tree
        up = std::move(parent);
        st = parentSt;
    }
    return false;
}

void TDuplicateFileThread::CollectFiles() {
    Post(spCollect, 0);
    PrepareWalk();
    for (const auto& path : FPaths)
        SearchFolder(path, FFileList);
    SizePrePass();
}

namespace {

// One open folder and its listing, shared with the helper thread.
struct Listing {
    platform::Directory dir;
    std::string path; // with one trailing separator
    std::vector<platform::RawDirEntry> entries;
    // Present when the helper may work on this listing: one slot per entry. The helper
    // claims a free slot (0 -> 1) and publishes its result (2); the walker claims a
    // free slot for itself (0 -> 3). Neither touches a slot the other has claimed.
    std::unique_ptr<std::atomic<uint8_t>[]> state;
    std::unique_ptr<platform::FileStatus[]> status;
    std::unique_ptr<bool[]> ok;
    std::unique_ptr<std::shared_ptr<Listing>[]> child; // sub-folders opened and listed ahead
    // What the folder is, found when it was opened (before it is listed).
    uint64_t device = 0;
    uint64_t inode = 0;
    bool identified = false;
    bool isProtected = false; // a pseudo file system or a protected folder: not listed
};

// Finds out what an opened folder is; `parent` is the folder it was reached from.
using InspectFolder = std::function<void(Listing& folder, const Listing* parent)>;

bool needsStatus(platform::EntryKind kind) {
    return kind == platform::EntryKind::Regular || kind == platform::EntryKind::Unknown;
}

bool isFolder(platform::EntryKind kind) {
    return kind == platform::EntryKind::Directory;
}

// Whether the helper should get a share of the listing.
bool worthSharing(const Listing& listing) {
    size_t candidates = 0;
    for (const auto& e : listing.entries) {
        if (isFolder(e.kind))
            return true;
        if (needsStatus(e.kind) && ++candidates >= 4)
            return true;
    }
    return false;
}

void prepareSlots(Listing& listing) {
    const size_t n = listing.entries.size();
    listing.state = std::make_unique<std::atomic<uint8_t>[]>(n);
    listing.status = std::make_unique<platform::FileStatus[]>(n);
    listing.ok = std::make_unique<bool[]>(n);
    listing.child = std::make_unique<std::shared_ptr<Listing>[]>(n);
}

// Takes file status calls and folder listings off the walking thread: it works through
// shared listings from their last entry backwards while the walker goes forwards, so
// the two meet in the middle and every entry is looked at once. For a sub-folder it
// opens and lists the folder ahead of the walker (a bounded number at a time). The
// walker still decides every visit, in its own order; only the thread that makes the
// system calls differs.
class StatHelper {
public:
    StatHelper(std::function<bool(const std::string&)> mayList, InspectFolder inspect)
        : mayList_(std::move(mayList)), inspect_(std::move(inspect)), thread_([this] { run(); }) {}
    ~StatHelper() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            queued_.store(1, std::memory_order_release); // ends the spinning
        }
        wake_.notify_one();
        thread_.join();
    }
    StatHelper(const StatHelper&) = delete;
    StatHelper& operator=(const StatHelper&) = delete;

    // False when the queue is full; the walker then does the work itself.
    bool offer(const std::shared_ptr<Listing>& listing) {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (queue_.size() >= kMaxQueued)
                return false;
            queue_.push_back(listing);
            queued_.store(queue_.size(), std::memory_order_release);
            wake = sleeping_;
        }
        if (wake)
            wake_.notify_one();
        return true;
    }

    // The walker has taken (or dropped) a folder the helper listed ahead.
    void taken() { ahead_.fetch_sub(1, std::memory_order_relaxed); }

private:
    static constexpr size_t kMaxQueued = 256;
    static constexpr int kMaxAhead = 64; // folders listed ahead and not yet taken
    static constexpr int kSpins = 2000;

    void listAhead(Listing& listing, size_t i) {
        const std::string& name = listing.entries[i].name;
        auto child = std::make_shared<Listing>();
        child->path = listing.path + name + platform::kPathSep;
        child->dir = listing.dir.openChild(name);
        if (child->dir.valid())
            inspect_(*child, &listing);
        const bool listable = child->dir.valid() && !child->isProtected;
        // A listing that fails part way keeps the entries read before the failure.
        if (listable)
            child->dir.list(child->entries);
        // Make the child complete (its own share queued) before the walker may see it.
        if (listable && worthSharing(*child)) {
            prepareSlots(*child);
            std::lock_guard lock(mutex_);
            if (queue_.size() < kMaxQueued) {
                queue_.push_back(child);
                queued_.store(queue_.size(), std::memory_order_release);
            } else {
                child->state.reset();
            }
        }
        listing.child[i] = std::move(child);
        ahead_.fetch_add(1, std::memory_order_relaxed);
        listing.state[i].store(2, std::memory_order_release);
    }

    void run() {
        for (;;) {
            // Folders come in quick succession during a walk: look again for a short
            // while before going to sleep, which costs both threads a system call.
            for (int i = 0; i < kSpins && queued_.load(std::memory_order_acquire) == 0; ++i)
                std::this_thread::yield();
            std::shared_ptr<Listing> listing;
            {
                std::unique_lock lock(mutex_);
                sleeping_ = true;
                wake_.wait(lock, [&] { return done_ || !queue_.empty(); });
                sleeping_ = false;
                if (queue_.empty())
                    return;
                listing = std::move(queue_.front());
                queue_.pop_front();
                queued_.store(queue_.size(), std::memory_order_release);
            }
            for (size_t i = listing->entries.size(); i-- > 0;) {
                const platform::RawDirEntry& entry = listing->entries[i];
                const bool folder = isFolder(entry.kind);
                if (!needsStatus(entry.kind) && !folder)
                    continue;
                if (folder && (ahead_.load(std::memory_order_relaxed) >= kMaxAhead ||
                               !mayList_(listing->path + entry.name)))
                    continue; // left to the walker
                uint8_t expected = 0;
                if (!listing->state[i].compare_exchange_strong(expected, 1))
                    break; // the walker got here first: the rest is behind it
                if (folder) {
                    listAhead(*listing, i);
                    continue;
                }
                listing->ok[i] = listing->dir.statChild(entry.name, listing->status[i]);
                listing->state[i].store(2, std::memory_order_release);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Listing>> queue_;
    std::atomic<size_t> queued_{0};
    std::atomic<int> ahead_{0};
    bool sleeping_ = false;
    bool done_ = false;
    std::function<bool(const std::string&)> mayList_;
    InspectFolder inspect_;
    std::thread thread_;
};

// The status of entry i: taken from the helper when it has claimed the entry,
// else made here.
bool entryStatus(Listing& listing, size_t i, platform::FileStatus& out) {
    if (listing.state) {
        uint8_t expected = 0;
        if (!listing.state[i].compare_exchange_strong(expected, 3) && expected != 3) {
            while (listing.state[i].load(std::memory_order_acquire) != 2)
                std::this_thread::yield();
            out = listing.status[i];
            return listing.ok[i];
        }
    }
    return listing.dir.statChild(listing.entries[i].name, out);
}

// Takes the listing back from the helper: claims every free slot and waits for the
// helper's calls in flight, so that the folder handle may be closed or replaced.
void retract(Listing& listing) {
    if (!listing.state)
        return;
    const size_t n = listing.entries.size();
    for (size_t i = 0; i < n; ++i) {
        uint8_t expected = 0;
        listing.state[i].compare_exchange_strong(expected, 3);
    }
    for (size_t i = 0; i < n; ++i)
        while (listing.state[i].load(std::memory_order_acquire) == 1)
            std::this_thread::yield();
}

// Drops a listing the walker will not visit: takes it back from the helper, and the
// folders the helper listed ahead below it as well.
void discard(Listing& listing, StatHelper* helper) {
    retract(listing);
    if (listing.child)
        for (size_t i = 0; i < listing.entries.size(); ++i)
            if (listing.child[i]) {
                discard(*listing.child[i], helper);
                listing.child[i].reset();
                helper->taken();
            }
    listing.dir.close();
}

} // namespace

struct TDuplicateFileThread::WalkFrame {
    uint64_t device = 0; // what the folder is, to recognise it when it is reopened
    uint64_t inode = 0;
    bool identified = false;
    std::string path; // with one trailing separator
    std::shared_ptr<Listing> listing;
    size_t next = 0;
    bool abandoned = false;
};

void TDuplicateFileThread::SearchFolder(const std::string& Path,
                                        std::vector<std::unique_ptr<TDuplicateFile>>& List) {
    std::vector<WalkFrame> stack;
    size_t openCount = 0;
    auto times = std::make_unique<platform::LocalTimeConverter>();
    // Steps of a folder visit before its listing: stop test, exclusions, protection.
    auto mayEnter = [&](const std::string& path) {
        return !StopRequested() && !IsExcludedFolder(path) && !IsProtectedFolder(path);
    };
    // What an opened folder is; runs on the walker and on the helper thread, and only
    // reads what PrepareWalk set up.
    const InspectFolder inspect = [this](Listing& folder, const Listing* parent) {
        platform::FileStatus st;
        if (!folder.dir.status(st))
            return;
        folder.device = st.device;
        folder.inode = st.inode;
        folder.identified = true;
        const bool newDevice =
            parent == nullptr || !parent->identified || parent->device != st.device;
        folder.isProtected = IsProtectedIdentity({st.device, st.inode}, newDevice, folder.dir);
    };
    // Whether the walker enters an opened folder: not when it is protected, nor when
    // this run has entered it already. Entering marks it.
    auto admit = [&](const Listing& folder) {
        if (folder.isProtected)
            return false;
        return !folder.identified || FEnteredFolders.insert({folder.device, folder.inode}).second;
    };
    std::unique_ptr<StatHelper> helper;
    if (FHashThreadCount > 1) {
        try {
            helper = std::make_unique<StatHelper>(
                [this](const std::string& path) {
                    return !StopRequested() && !IsExcludedFolder(path) && !IsProtectedFolder(path);
                },
                inspect);
        } catch (const std::system_error&) {
            // No helper thread to be had: the walker makes every call itself.
        }
    }

    // Pushes a listed folder on the stack.
    auto push = [&](std::shared_ptr<Listing> listed) {
        if (!listed->dir.valid()) {
            // A folder that cannot be opened has nothing to list; its visit ends here.
            Post(spFolderDone, static_cast<int64_t>(FFileList.size()));
            return;
        }
        WalkFrame frame;
        frame.path = listed->path;
        frame.device = listed->device;
        frame.inode = listed->inode;
        frame.identified = listed->identified;
        frame.listing = std::move(listed);
        ++openCount;
        stack.push_back(std::move(frame));
        // Keep the number of open folder handles bounded: close the oldest one, after
        // noting which folder it was.
        if (openCount > kMaxOpenFolders) {
            for (auto& f : stack) {
                Listing& l = *f.listing;
                if (l.dir.valid() && &f != &stack.back()) {
                    retract(l);
                    if (!f.identified)
                        f.abandoned = true; // could not be recognised when reopened
                    l.dir.close();
                    --openCount;
                    break;
                }
            }
        }
    };
    // Lists a folder the walker opened itself and shares it with the helper. A folder
    // that is protected, or was entered before, is left as if excluded.
    auto enter = [&](platform::Directory dir, const std::string& path, const Listing* parent) {
        auto listing = std::make_shared<Listing>();
        listing->path = platform::withTrailingSep(path);
        listing->dir = std::move(dir);
        if (listing->dir.valid()) {
            inspect(*listing, parent);
            if (!admit(*listing))
                return;
        }
        // A listing that fails part way keeps the entries read before the failure.
        if (listing->dir.valid())
            listing->dir.list(listing->entries);
        if (helper && listing->dir.valid() && worthSharing(*listing)) {
            prepareSlots(*listing);
            if (!helper->offer(listing))
                listing->state.reset();
        }
        push(std::move(listing));
    };

    if (!mayEnter(Path))
        return;
    // A start folder given through a link is protected by what it leads to as well.
    if (std::string resolved; platform::resolvePath(Path, resolved) && IsProtectedFolder(resolved))
        return;
    platform::Directory start = platform::Directory::open(platform::withTrailingSep(Path));
    if (start.valid() && LiesInHomeTrash(start))
        return;
    enter(std::move(start), Path, nullptr);

    while (!stack.empty()) {
        WalkFrame& frame = stack.back();
        Listing& listing = *frame.listing;
        if (frame.abandoned || !listing.dir.valid() || frame.next >= listing.entries.size()) {
            // The folder is finished: make sure its parent's handle is open again, then
            // report the running total.
            if (stack.size() >= 2) {
                WalkFrame& parent = stack[stack.size() - 2];
                Listing& parentListing = *parent.listing;
                if (!parentListing.dir.valid() && !parent.abandoned) {
                    platform::Directory up;
                    if (listing.dir.valid())
                        up = listing.dir.openParent();
                    // (an abandoned child has no handle, so its parent is lost as well)
                    platform::FileStatus st;
                    if (up.valid() && up.status(st) && st.device == parent.device &&
                        st.inode == parent.inode) {
                        parentListing.dir = std::move(up);
                        ++openCount;
                    } else {
                        parent.abandoned = true; // moved away during the walk
                    }
                }
            }
            if (listing.dir.valid())
                --openCount;
            // The helper may still hold the listing: take it back before the handle goes,
            // and drop folders it listed ahead that were never visited.
            discard(listing, helper.get());
            stack.pop_back();
            Post(spFolderDone, static_cast<int64_t>(FFileList.size()));
            continue;
        }

        const size_t index = frame.next++;
        const platform::RawDirEntry& entry = listing.entries[index];
        platform::FileStatus st;
        bool haveStatus = false;
        platform::EntryKind kind = entry.kind;
        if (kind == platform::EntryKind::Unknown) {
            haveStatus = entryStatus(listing, index, st);
            kind = haveStatus ? st.kind : platform::EntryKind::Other;
        }
        if (kind == platform::EntryKind::Directory) {
            // A folder the helper has opened and listed ahead, if it got there first.
            std::shared_ptr<Listing> ahead;
            bool listedAhead = false;
            if (listing.state && entry.kind == platform::EntryKind::Directory) {
                uint8_t expected = 0;
                if (!listing.state[index].compare_exchange_strong(expected, 3) && expected != 3) {
                    while (listing.state[index].load(std::memory_order_acquire) != 2)
                        std::this_thread::yield();
                    ahead = std::move(listing.child[index]);
                    listedAhead = true;
                    helper->taken();
                }
            }
            const std::string childPath = frame.path + entry.name;
            if (!mayEnter(childPath) || (listedAhead && ahead->dir.valid() && !admit(*ahead))) {
                if (ahead)
                    discard(*ahead, helper.get());
                continue;
            }
            if (listedAhead)
                push(std::move(ahead));
            else
                enter(listing.dir.openChild(entry.name), childPath, &listing);
            continue;
        }
        if (kind != platform::EntryKind::Regular)
            continue; // links, devices, FIFOs and sockets are never collected
        if (!haveStatus && !entryStatus(listing, index, st))
            continue; // gone since the listing
        if (st.kind != platform::EntryKind::Regular || SkipFile(entry.name, st.size))
            continue;
        auto record = std::make_unique<TDuplicateFile>();
        record->FileName.reserve(frame.path.size() + entry.name.size());
        record->FileName = frame.path;
        record->FileName += entry.name;
        record->CreateTime = times->convert(st.createSec, st.createNsec);
        record->LastTime = times->convert(st.mtimeSec, st.mtimeNsec);
        record->FileSize = st.size;
        record->Device = st.device;
        record->Inode = st.inode;
        record->MTimeSec = st.mtimeSec;
        record->MTimeNsec = st.mtimeNsec;
        record->CTimeSec = st.ctimeSec;
        record->CTimeNsec = st.ctimeNsec;
        List.push_back(std::move(record));
    }
}

} // namespace pelidor
