// The duplicate search engine: file records, result groups, the search controller
// and its worker thread.
//
// Input: folders, name masks, excluded folders and a size window (FindDuplicateFiles).
// Output: an ordered list of duplicate groups (DuplicateResult), readable after the
// worker has reported code 10 (spFinished).
// Progress: the worker reports codes 9, 1, 8, 2, 3, 4, 5, 6, 7, 10 to a receiver that
// the caller hands in; the receiver must be thread-safe and must never block.
// Errors: none reach the caller. Unreadable folders are skipped, unreadable files get
// an empty fingerprint and never join a group.
// Threads: one worker (std::thread) per scan, owned by the controller; the fingerprint
// pass may hash on several threads, posting code 4 in list order. When the system
// refuses to create the worker, the scan reports codes 9 and 10 at once and leaves an
// empty result; helper threads it refuses leave their share to the worker.
// Stops: a stop is seen at every folder visit, between the passes, and between two
// blocks of the file being fingerprinted, which then keeps an empty fingerprint.
//
// Passes of a scan: walk and collect (size window, name masks, excluded and protected
// folders; symbolic links are never followed nor collected), a size pre-pass that drops
// every file whose size is unique, the fingerprint pass (MD5 of the whole file, or of
// its first and last 1024 bytes), and the grouping pass that sorts by the mode's key
// and cuts runs of equal records into groups.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/Paths.h"

namespace pelidor {

namespace platform {
class Directory;
}

// One collected file. Heap record, always handled by reference.
struct TDuplicateFile {
    std::string FileName;  // folder path with one trailing separator + entry name
    double CreateTime = 0; // local date-time (days since 1899-12-30)
    double LastTime = 0;   // local date-time of the last write
    int64_t FileSize = 0;
    std::string Md5;  // 32 upper-case hex digits, or empty
    bool bDel = true; // removal mark of the pruning passes; true in a finished result

    // What the walk saw, so that later steps can tell whether the file changed since.
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t MTimeSec = 0;
    int32_t MTimeNsec = 0;
    int64_t CTimeSec = 0; // status-change time
    int32_t CTimeNsec = 0;
};

// The comparison mode (stored in one byte; the values are part of the settings file).
enum class TDuplicateType : uint8_t { dtFileName = 0, dtDataSize = 1, dtMd5 = 2, dtMd5Part = 3 };
inline constexpr TDuplicateType dtFileName = TDuplicateType::dtFileName;
inline constexpr TDuplicateType dtDataSize = TDuplicateType::dtDataSize;
inline constexpr TDuplicateType dtMd5 = TDuplicateType::dtMd5;
inline constexpr TDuplicateType dtMd5Part = TDuplicateType::dtMd5Part;

// A group of two or more duplicates; it owns its records.
using TDuplicateGroup = std::vector<std::unique_ptr<TDuplicateFile>>;
// The result: groups in ascending order of the sort key (size first).
using TDuplicateResult = std::vector<TDuplicateGroup>;

// Progress codes (the message's wParam).
enum SearchProgressCode : int {
    spCollect = 1,    // collection starts; arg 0
    spSizePass = 2,   // size pre-pass done; arg = records left
    spHashStart = 3,  // fingerprint pass starts; arg = records to fingerprint
    spHashFile = 4,   // a record is about to be fingerprinted; path = its FileName
    spHashDone = 5,   // fingerprint pass finished without a stop; arg 0
    spGroupStart = 6, // grouping starts; arg 0
    spGroupDone = 7,  // grouping done; arg = records left in the working list
    spFolderDone = 8, // a folder visit finished; arg = records collected so far
    spStarted = 9,    // first thing in a run; arg 0
    spFinished = 10,  // last thing in a run; the result may be read now
};
inline constexpr int WM_SEARCHPROGRESS = 3490;

// Receives the worker's progress. Called on worker threads (code 4 possibly from two
// threads, always in list order); must not block. `path` is an owned copy (code 4 only).
class TSearchProgressReceiver {
public:
    virtual ~TSearchProgressReceiver() = default;
    virtual void SearchProgress(int code, int64_t arg, std::string path) noexcept = 0;
};

class TSearchHolper;
class FingerprintCache;

// What the fingerprint pass reads, known before its first code 4: per record, in the
// order of the code-4 reports, the bytes read from the file to fingerprint it (the
// whole file; in the partial mode its first and last 1024 bytes, or the whole file
// below 8192 bytes; 0 for a fingerprint taken from the cache or a file that cannot
// have a duplicate). The few bytes the whole-file mode samples first are not counted.
struct TFingerprintPlan {
    std::vector<int64_t> Bytes;
    int64_t Total = 0;
};

// The worker of one scan. Created by FindDuplicateFiles; runs Execute on its own thread.
class TDuplicateFileThread {
public:
    explicit TDuplicateFileThread(TSearchHolper& owner);
    ~TDuplicateFileThread(); // waits for the thread
    TDuplicateFileThread(const TDuplicateFileThread&) = delete;
    TDuplicateFileThread& operator=(const TDuplicateFileThread&) = delete;

    std::vector<std::string> FPaths;
    std::vector<std::string> FPathsAsGiven; // the caller's folder list, in its order
    std::vector<std::string> FincludeNames;
    std::vector<std::string> FexcludeNames;
    std::vector<std::string> FexcludePath;
    int64_t FbeginSize = 0;
    int64_t FendSize = -1; // negative: no upper bound
    TDuplicateType FdtMode = dtMd5;
    unsigned FHashThreadCount = 1; // threads of this run (TSearchHolper::HashThreads at start)
    unsigned FReadDepth = 0;       // reads in flight (0: chosen by the files' device)
    std::string FCachePath;        // the fingerprint cache; empty: none
    TSearchProgressReceiver* FWnd = nullptr;                // null: no progress is posted
    std::vector<std::unique_ptr<TDuplicateFile>> FFileList; // the working list
    TDuplicateResult* FDuplicateResult = nullptr;           // not owned
    std::atomic<int32_t> FStop{0};

    // Starts the thread; false when the system refuses to create it.
    bool Start();
    void Join();
    void Execute();

private:
    struct WalkFrame;
    // A folder by what it is: its device and inode.
    struct FolderId {
        uint64_t device = 0;
        uint64_t inode = 0;
        friend bool operator==(const FolderId&, const FolderId&) = default;
    };
    struct FolderIdHash {
        size_t operator()(const FolderId& id) const noexcept {
            return std::hash<uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
        }
    };
    void Run(); // the thread's body: Execute, then release what the run holds
    void CollectFiles();
    void PrepareWalk();
    // Whether the open folder `dir`, of identity `id`, is one the walk never enters: a
    // mounted pseudo file system, or a protected folder (the home trash, /proc, /sys,
    // /dev, /run) reached by another spelling. The file system's type is asked for only
    // when `newDevice` (a start folder, or a device other than its parent's).
    bool IsProtectedIdentity(const FolderId& id, bool newDevice,
                             const platform::Directory& dir) const;
    // Whether the open folder is the home trash or lies inside it, by identity.
    bool LiesInHomeTrash(const platform::Directory& dir) const;
    void SearchFolder(const std::string& Path, std::vector<std::unique_ptr<TDuplicateFile>>& List);
    bool SkipFile(std::string_view name, int64_t size) const;
    bool IsExcludedFolder(const std::string& path) const;
    bool SizePrePass();
    void HashFiles();
    // The fingerprint cache is opened (and, when small enough, read into memory) on a
    // thread of its own while the files are listed; HashFiles takes it when it starts.
    void StartCacheLoad();
    std::shared_ptr<FingerprintCache> TakeLoadedCache();
    void GroupDuplicates();
    // Hands the plan of the fingerprint pass to the controller (FingerprintPlan).
    void PublishFingerprintPlan(const std::vector<uint8_t>& known, bool whole);
    bool StopRequested() const { return FStop.load(std::memory_order_seq_cst) > 0; }
    void Post(int code, int64_t arg, std::string path = {}) const;

    TSearchHolper& FOwner;
    std::thread FThread;
    std::vector<std::string> FExcludeSorted; // FexcludePath without empty entries, sorted
    // Every folder the walk has entered in this run: none is entered twice.
    std::unordered_set<FolderId, FolderIdHash> FEnteredFolders;
    std::vector<FolderId> FProtectedIds;  // protected folders found by identity
    std::vector<FolderId> FHomeTrashId;   // the home trash, when it exists
    std::vector<uint64_t> FPseudoDevices; // devices of the mounted pseudo file systems
    std::vector<uint8_t> FHashPlan;       // per record: 1 = fingerprint, 0 = cannot match
    std::vector<std::unique_ptr<TDuplicateFile>> FDropped; // pruned, released after the run
    bool FSortedByModeKey = false; // the working list is in the grouping pass's order
    std::thread FCacheLoader;
    std::shared_ptr<FingerprintCache> FLoadedCache; // set by FCacheLoader
    std::thread FCacheWriter; // stores the last fingerprints while the groups are formed
    bool FCacheLoadStarted = false;
    friend class TSearchHolper;
};

// The search controller: starts and stops scans and owns their result.
class TSearchHolper {
public:
    TSearchHolper() = default;
    ~TSearchHolper(); // stops a running scan and waits for it
    TSearchHolper(const TSearchHolper&) = delete;
    TSearchHolper& operator=(const TSearchHolper&) = delete;

    bool ThreadMode() const { return FThreadMode; }
    void SetThreadMode(bool value) { FThreadMode = value; }

    // Null before the first scan. Read it only after code 10 of the last scan.
    const TDuplicateResult* DuplicateResult() const { return FDuplicateResult.get(); }

    // Starts a scan and returns 0 at once; returns 1 and changes nothing while a worker
    // exists. Null lists count as empty. A negative endSize means no upper bound.
    uint32_t FindDuplicateFiles(TSearchProgressReceiver* MsgWnd, TDuplicateType dt,
                                const std::vector<std::string>* inPaths,
                                const std::vector<std::string>* includeNames,
                                const std::vector<std::string>* excludePaths,
                                const std::vector<std::string>* excludeNames, int64_t beginSize,
                                int64_t endSize);

    // True when the system refused to create the last scan's worker: that scan ended at
    // once (codes 9 and 10) with an empty result.
    bool StartFailed() const { return FStartFailed; }

    // Asks the running scan to stop; returns at once.
    void Stop();
    // True while a worker exists (from the start until just after its code 10).
    bool IsSearching() const;
    // Waits until the current worker (if any) has ended.
    void WaitForWorker();

    // How many threads the fingerprint pass may use (0: one per processor, at most 4).
    // May be set at any time; a running scan keeps the count it started with.
    void SetHashThreads(unsigned count) { FHashThreads.store(count, std::memory_order_relaxed); }
    unsigned HashThreads() const;

    // How many reads the fingerprint pass keeps in flight (0: by the device of the files:
    // few on a rotational disk, many on solid-state and virtual ones). Applies from the
    // next scan.
    void SetReadDepth(unsigned depth) { FReadDepth.store(depth, std::memory_order_relaxed); }
    unsigned ReadDepth() const { return FReadDepth.load(std::memory_order_relaxed); }

    // The fingerprint cache the next scans use (FingerprintCache.h); empty: none (the
    // default). A cache that cannot be used is passed over: the scan's result is the
    // same with or without it.
    void SetFingerprintCache(std::string path);
    std::string FingerprintCachePath() const;

    // The fingerprint plan of the current scan: null from the start of a scan until its
    // fingerprint pass has planned, and in the modes without fingerprints. A reader that
    // has handled a code 4 of a scan finds that scan's plan here (until the next scan
    // starts). Thread-safe; the plan itself never changes.
    std::shared_ptr<const TFingerprintPlan> FingerprintPlan() const;

private:
    friend class TDuplicateFileThread;
    void WorkerEnded(TDuplicateFileThread* worker);

    bool FThreadMode = true;
    bool FStartFailed = false;
    std::unique_ptr<TDuplicateResult> FDuplicateResult;
    mutable std::mutex FLock;
    TDuplicateFileThread* ActiveSearchThread = nullptr; // guarded by FLock
    std::unique_ptr<TDuplicateFileThread> FWorker;      // the last worker, joined before reuse
    std::atomic<unsigned> FHashThreads{0};
    std::atomic<unsigned> FReadDepth{0};
    std::string FCachePath;                                   // guarded by FLock
    std::shared_ptr<const TFingerprintPlan> FFingerprintPlan; // guarded by FLock
};

// The program's single controller, created on first use.
TSearchHolper& GetSearchHolper();
// Stops a running scan, waits for it and frees the controller. Call before the program
// ends so that nothing runs during static destruction.
void FreeSearchHolper();

// The default exclusions and protected-folder values, computed once.
struct EngineFolderValues {
    std::string WindowsDir;
    std::string ProgramFilesDir;
    std::string ProgramW6432Dir;
    std::string CommonAppDataDir;
};
const EngineFolderValues& EngineFolders();

// The engine's text comparison: ordinal over bytes, with only a..z folded onto A..Z.
int EngineCompareText(std::string_view a, std::string_view b);
// EngineCompareText of the parts after the last separator.
int CompareFileNames(std::string_view a, std::string_view b, char sep = platform::kPathSep);

// Sorts the folder list and drops every entry that equals a kept entry or lies inside it.
void RemoveSubPaths(std::vector<std::string>& list, char sep = platform::kPathSep);

// Thins a folder list (as RemoveSubPaths left it) by what the folders are rather than
// how they are spelled: an entry whose resolved path (links, "." and ".." resolved)
// lies inside another entry's is dropped, and of entries that resolve to the same
// folder (same path, or same device and inode, as for a bind mount) only the one that
// comes first in `givenOrder` stays. Entries that cannot be resolved are compared as
// written. The list keeps its order.
void RemoveSameFolders(std::vector<std::string>& list, const std::vector<std::string>& givenOrder);

// Folders the walk never enters: pseudo file systems and trash folders.
bool IsProtectedFolder(const std::string& Path);

// Unix time as a local date-time value; the current local date-time when it cannot be
// converted.
double FileTimeToDateTime(int64_t seconds, int32_t nanoseconds);

// True when `name` matches one of the `;`-separated patterns of `mask` (`*` any run,
// `?` one character, letters without regard to case, `*.*` every name).
bool PathMatchSpec(std::string_view name, std::string_view mask);

// True when the system's cryptography library computes MD5 (a library configured to
// refuse it makes every fingerprint empty, so the content modes could find nothing).
bool Md5Available();

// MD5 of the whole file, or (Whole = false) of its first and last 1024 bytes when it has
// 8192 bytes or more; 32 upper-case hex digits, empty when the file cannot be read.
std::string GetFileMd5(const std::string& FileName, bool Whole);

// The grouping comparators: negative, zero or positive; each clears the marks of two
// different records it finds equal on its key.
int CompareBySize(TDuplicateFile& A, TDuplicateFile& B);
int CompareByName(TDuplicateFile& A, TDuplicateFile& B);
int CompareByHash(TDuplicateFile& A, TDuplicateFile& B);

} // namespace pelidor
