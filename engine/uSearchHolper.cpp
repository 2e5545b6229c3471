// The search controller, the worker's run and the engine's text routines.
#include "engine/uSearchHolper.h"

#include <algorithm>
#include <system_error>

#include "platform/Environment.h"

namespace pelidor {

// ---------------------------------------------------------------------------
// Text comparison

namespace {
inline unsigned char foldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
} // namespace

int EngineCompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = foldAscii(static_cast<unsigned char>(a[i]));
        const int cb = foldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareFileNames(std::string_view a, std::string_view b, char sep) {
    return EngineCompareText(platform::fileNamePart(a, sep), platform::fileNamePart(b, sep));
}

void RemoveSubPaths(std::vector<std::string>& list, char sep) {
    // Folder texts compare as the file system names them (platform::pathTextLess).
    std::sort(list.begin(), list.end(), platform::pathTextLess);
    std::vector<std::string> kept;
    kept.reserve(list.size());
    for (auto& entry : list) {
        const bool covered = std::any_of(kept.begin(), kept.end(), [&](const std::string& k) {
            return k == entry || platform::isSameOrInside(entry, k, sep);
        });
        if (!covered)
            kept.push_back(std::move(entry));
    }
    list = std::move(kept);
}

const EngineFolderValues& EngineFolders() {
    static const EngineFolderValues values = [] {
        const auto sys = platform::systemFolders();
        return EngineFolderValues{sys.windowsDir, sys.programFilesDir, sys.programW6432Dir,
                                  sys.commonAppDataDir};
    }();
    return values;
}

// ---------------------------------------------------------------------------
// Controller

namespace {
std::mutex gHolperLock;
std::unique_ptr<TSearchHolper> gHolper;
} // namespace

TSearchHolper& GetSearchHolper() {
    std::lock_guard lock(gHolperLock);
    if (!gHolper)
        gHolper = std::make_unique<TSearchHolper>();
    return *gHolper;
}

void FreeSearchHolper() {
    std::unique_ptr<TSearchHolper> holper;
    {
        std::lock_guard lock(gHolperLock);
        holper = std::move(gHolper);
    }
    holper.reset(); // the destructor stops and joins a running worker
}

TSearchHolper::~TSearchHolper() {
    Stop();
    WaitForWorker();
}

uint32_t TSearchHolper::FindDuplicateFiles(TSearchProgressReceiver* MsgWnd, TDuplicateType dt,
                                           const std::vector<std::string>* inPaths,
                                           const std::vector<std::string>* includeNames,
                                           const std::vector<std::string>* excludePaths,
                                           const std::vector<std::string>* excludeNames,
                                           int64_t beginSize, int64_t endSize) {
    {
        std::lock_guard lock(FLock);
        if (ActiveSearchThread != nullptr)
            return 1;
    }
    // The previous worker has reported its end; wait for its thread to finish.
    FWorker.reset();

    if (FDuplicateResult)
        FDuplicateResult->clear();
    else
        FDuplicateResult = std::make_unique<TDuplicateResult>();

    auto worker = std::make_unique<TDuplicateFileThread>(*this);
    worker->FWnd = MsgWnd;
    worker->FDuplicateResult = FDuplicateResult.get();
    if (inPaths != nullptr)
        worker->FPaths = worker->FPathsAsGiven = *inPaths;
    RemoveSubPaths(worker->FPaths);
    if (includeNames != nullptr)
        worker->FincludeNames = *includeNames;
    if (excludeNames != nullptr)
        worker->FexcludeNames = *excludeNames;
    if (excludePaths != nullptr)
        worker->FexcludePath = *excludePaths;
    const auto& folders = EngineFolders();
    worker->FexcludePath.push_back(folders.WindowsDir);
    worker->FexcludePath.push_back(folders.ProgramFilesDir);
    worker->FexcludePath.push_back(folders.ProgramW6432Dir);
    worker->FexcludePath.push_back(folders.CommonAppDataDir);
    std::sort(worker->FexcludePath.begin(), worker->FexcludePath.end());
    worker->FbeginSize = beginSize;
    worker->FendSize = endSize;
    worker->FdtMode = dt;
    worker->FHashThreadCount = HashThreads();
    worker->FReadDepth = ReadDepth();
    worker->FCachePath = FingerprintCachePath();

    {
        std::lock_guard lock(FLock);
        ActiveSearchThread = worker.get();
        FFingerprintPlan.reset();
    }
    FWorker = std::move(worker);
    FStartFailed = !FWorker->Start();
    if (FStartFailed) {
        // No thread to be had: the scan ends at once with an empty result, and the
        // controller is free for the next one before the end is reported.
        WorkerEnded(FWorker.get());
        FWorker->Post(spStarted, 0);
        FWorker->Post(spFinished, 0);
    }
    return 0;
}

void TSearchHolper::Stop() {
    std::lock_guard lock(FLock);
    if (ActiveSearchThread != nullptr)
        ActiveSearchThread->FStop.fetch_add(1, std::memory_order_seq_cst);
}

bool TSearchHolper::IsSearching() const {
    std::lock_guard lock(FLock);
    return ActiveSearchThread != nullptr;
}

void TSearchHolper::WaitForWorker() {
    if (FWorker)
        FWorker->Join();
}

unsigned TSearchHolper::HashThreads() const {
    const unsigned count = FHashThreads.load(std::memory_order_relaxed);
    if (count != 0)
        return count;
    const unsigned hw = std::thread::hardware_concurrency();
    return std::clamp(hw, 1u, 4u);
}

void TSearchHolper::SetFingerprintCache(std::string path) {
    std::lock_guard lock(FLock);
    FCachePath = std::move(path);
}

std::string TSearchHolper::FingerprintCachePath() const {
    std::lock_guard lock(FLock);
    return FCachePath;
}

std::shared_ptr<const TFingerprintPlan> TSearchHolper::FingerprintPlan() const {
    std::lock_guard lock(FLock);
    return FFingerprintPlan;
}

void TSearchHolper::WorkerEnded(TDuplicateFileThread* worker) {
    std::lock_guard lock(FLock);
    if (ActiveSearchThread == worker)
        ActiveSearchThread = nullptr;
}

// ---------------------------------------------------------------------------
// Worker

TDuplicateFileThread::TDuplicateFileThread(TSearchHolper& owner) : FOwner(owner) {}

TDuplicateFileThread::~TDuplicateFileThread() {
    Join();
    if (FCacheLoader.joinable())
        FCacheLoader.join();
    if (FCacheWriter.joinable())
        FCacheWriter.join();
}

bool TDuplicateFileThread::Start() {
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TDuplicateFileThread::Run() {
    Execute();
    // Release what the run still holds: records that joined no group and the lists.
    FFileList.clear();
    FFileList.shrink_to_fit();
    FDropped.clear();
    FDropped.shrink_to_fit();
    FHashPlan.clear();
    FHashPlan.shrink_to_fit();
    FEnteredFolders = {};
    FOwner.WorkerEnded(this);
}

void TDuplicateFileThread::Join() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TDuplicateFileThread::Post(int code, int64_t arg, std::string path) const {
    if (FWnd != nullptr)
        FWnd->SearchProgress(code, arg, std::move(path));
}

void TDuplicateFileThread::Execute() {
    Post(spStarted, 0);
    const bool content = FdtMode == dtMd5 || FdtMode == dtMd5Part;
    if (content)
        StartCacheLoad();
    CollectFiles();
    if (content)
        HashFiles();
    TakeLoadedCache(); // a load HashFiles did not take (a stop) ends here
    GroupDuplicates();
    if (FCacheWriter.joinable())
        FCacheWriter.join();
    Post(spFinished, 0);
}

} // namespace pelidor
