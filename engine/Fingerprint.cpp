// Content fingerprints: MD5 of the whole file or of its head and tail.
//
// The pass may work ahead of the plain one-file-at-a-time order without changing its
// outcome: in whole-file mode, files of one size that are large enough are first
// compared by a cheap sample (their first and last 4 KiB); a file whose sample no other
// file of its size shares cannot be a duplicate and is not read in full (its
// fingerprint stays empty). Files are hashed on several threads; code 4 is still
// posted once per record, in list order, no file is started after a stop, and a stop
// also gives up the file in hand between two blocks (it keeps an empty fingerprint).
//
// Several reads stay in flight (a cold disk answers many requests at once far faster
// than one at a time): the pass runs on as many threads as the device's depth asks for.
// Fingerprints remembered in the cache (FingerprintCache.h) are taken without reading
// the file; new ones are stored in batches.
#include "engine/uSearchHolper.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <openssl/evp.h>
#if !defined(_WIN32)
#include <sys/sysmacros.h>
#endif
#include <system_error>
#include <unordered_map>

#include "engine/FingerprintCache.h"
#include "platform/FileSystem.h"

namespace pelidor {
namespace {

constexpr int64_t kPartialLimit = 8192; // files below it are hashed whole in partial mode
constexpr size_t kPartialBlock = 1024;
constexpr int64_t kSampleMin = 32 * 1024; // smaller files are cheaper to hash than to sample
constexpr size_t kSampleBlock = 4096;
constexpr size_t kReadBlock = 1024 * 1024;

const EVP_MD* md5Algorithm() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md;
}

// Per-thread state: a digest context and a read buffer, reused for every file.
struct HashState {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kReadBlock);
    HashState() = default;
    HashState(const HashState&) = delete;
    HashState& operator=(const HashState&) = delete;
    ~HashState() { EVP_MD_CTX_free(ctx); }
};

HashState& threadHashState() {
    thread_local HashState state;
    return state;
}

std::string toHex(const unsigned char* digest, unsigned len) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(len * 2, '0');
    for (unsigned i = 0; i < len; ++i) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    return out;
}

// The fingerprint of an open file of `size` bytes; empty on any read error, when the
// content does not have exactly `size` bytes, or when `stop` (if given) becomes above 0
// between two blocks.
std::string hashOpenFile(const platform::ReadFile& file, int64_t size, bool whole,
                         const std::atomic<int32_t>* stop = nullptr) {
    const auto stopped = [stop] {
        return stop != nullptr && stop->load(std::memory_order_seq_cst) > 0;
    };
    if (stopped())
        return {};
    HashState& hs = threadHashState();
    const EVP_MD* md = md5Algorithm();
    if (hs.ctx == nullptr || md == nullptr || EVP_DigestInit_ex2(hs.ctx, md, nullptr) != 1)
        return {};
    if (!whole && size >= kPartialLimit) {
        unsigned char block[2 * kPartialBlock];
        if (file.readAt(block, kPartialBlock, 0) != static_cast<int64_t>(kPartialBlock) ||
            file.readAt(block + kPartialBlock, kPartialBlock,
                        size - static_cast<int64_t>(kPartialBlock)) !=
                static_cast<int64_t>(kPartialBlock))
            return {};
        if (EVP_DigestUpdate(hs.ctx, block, sizeof block) != 1)
            return {};
    } else {
        if (size > static_cast<int64_t>(kReadBlock))
            file.adviseSequential();
        // Each call asks for one byte more than the rest, so a file that grew shows at
        // once and the end of a file is seen without an extra call.
        const auto bufferSize = static_cast<int64_t>(hs.buffer.size());
        int64_t total = 0;
        for (;;) {
            if (total > 0 && stopped())
                return {};
            const int64_t remaining = size - total;
            const int64_t want = remaining < bufferSize ? remaining + 1 : bufferSize;
            const int64_t n = file.readSome(hs.buffer.data(), static_cast<size_t>(want));
            if (n < 0)
                return {};
            if (n == 0)
                break;
            total += n;
            if (total > size ||
                EVP_DigestUpdate(hs.ctx, hs.buffer.data(), static_cast<size_t>(n)) != 1)
                return {};
            if (n < want && total == size)
                break;
        }
        if (total != size)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (EVP_DigestFinal_ex(hs.ctx, digest, &len) != 1 || len != 16)
        return {};
    return toHex(digest, len);
}

bool sameAsWalked(const platform::FileStatus& st, const TDuplicateFile& r) {
    return st.kind == platform::EntryKind::Regular && st.size == r.FileSize &&
           st.mtimeSec == r.MTimeSec && st.mtimeNsec == r.MTimeNsec && st.inode == r.Inode &&
           st.device == r.Device;
}

bool sameStatusChange(const platform::FileStatus& st, const TDuplicateFile& r) {
    return st.ctimeSec == r.CTimeSec && st.ctimeNsec == r.CTimeNsec;
}

// The fingerprint of a record, empty when the file is gone, unreadable, no longer the
// file the walk saw, or when a stop came while it was read.
// When `unchanged` is given, it tells whether the file's status-change time at the open
// was the walk's: only such a fingerprint may be remembered. (A write during the read
// changes that time after it, and the remembered key, the walk's, never matches again.)
std::string fingerprintRecord(const TDuplicateFile& r, bool whole, const std::atomic<int32_t>& stop,
                              bool* unchanged = nullptr) {
    const platform::ReadFile file = platform::ReadFile::openShared(r.FileName);
    if (!file.valid() || !sameAsWalked(file.openStatus(), r))
        return {};
    std::string md5 = hashOpenFile(file, r.FileSize, whole, &stop);
    // A write during a longer read shows in the modification time.
    const bool longRead = whole && r.FileSize >= static_cast<int64_t>(kReadBlock);
    platform::FileStatus after;
    if (md5.empty() || (longRead && (!file.status(after) || !sameAsWalked(after, r))))
        return {};
    if (unchanged != nullptr)
        *unchanged =
            sameStatusChange(file.openStatus(), r) && (!longRead || sameStatusChange(after, r));
    return md5;
}

// A 64-bit digest of a record's first and last 4 KiB (the first 8 bytes of their MD5, so
// that it can be remembered between scans); false when unreadable. `unchanged` tells
// whether the file's status-change time at the open was the walk's.
bool sampleRecord(const TDuplicateFile& r, uint64_t& out, bool& unchanged) {
    const platform::ReadFile file = platform::ReadFile::openShared(r.FileName);
    if (!file.valid() || !sameAsWalked(file.openStatus(), r))
        return false;
    unsigned char block[2 * kSampleBlock];
    if (file.readAt(block, kSampleBlock, 0) != static_cast<int64_t>(kSampleBlock) ||
        file.readAt(block + kSampleBlock, kSampleBlock,
                    r.FileSize - static_cast<int64_t>(kSampleBlock)) !=
            static_cast<int64_t>(kSampleBlock))
        return false;
    HashState& hs = threadHashState();
    const EVP_MD* md = md5Algorithm();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (hs.ctx == nullptr || md == nullptr || EVP_DigestInit_ex2(hs.ctx, md, nullptr) != 1 ||
        EVP_DigestUpdate(hs.ctx, block, sizeof block) != 1 ||
        EVP_DigestFinal_ex(hs.ctx, digest, &len) != 1 || len < 8)
        return false;
    out = 0;
    for (int k = 0; k < 8; ++k)
        out = out << 8 | digest[k];
    unchanged = sameStatusChange(file.openStatus(), r);
    return true;
}

// Runs body(worker) on up to `count` threads, the calling thread being one of them; a
// thread the system refuses to create leaves its share to the others.
constexpr unsigned kSolidStateDepth = 16;
constexpr unsigned kRotationalDepth = 2;
// Fingerprints stored in one transaction: each batch rewrites the pages its keys fall on,
// so most scans store once, at the end; a huge one in a few bounded batches.
constexpr size_t kStoreBatch = 262144;
constexpr int64_t kRacyMarginNs = 100'000'000;
// A cache whose pages take at most this much is read into memory while the files are
// listed (about 80 bytes a row there, a few hundred thousand files).
constexpr int64_t kPreloadBytes = 32ll * 1024 * 1024;

// Whether the block device of `device` (or the disk its partition belongs to) spins.
// A device that is no block device (tmpfs, overlay, network) counts as not, and so does
// a virtual machine's disk (virtio, Xen), which reports "rotational" whatever lies
// behind it.
bool onRotationalDisk(uint64_t device) {
#if defined(_WIN32)
    // No block-device table to ask: read as on a solid-state disk.
    (void)device;
    return false;
#else
    const std::string base =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (::realpath(base.c_str(), resolved) != nullptr) {
        const std::string_view where(resolved);
        if (where.find("/virtio") != std::string_view::npos ||
            where.find("/xen") != std::string_view::npos ||
            where.find("/vbd-") != std::string_view::npos)
            return false;
    }
    for (const char* rel : {"/queue/rotational", "/../queue/rotational"}) {
        std::ifstream in(base + rel);
        int value = 0;
        if (in >> value)
            return value == 1;
    }
    return false;
#endif
}

// Reads in flight for these files: few when any of them lies on a rotational disk (its
// head moves for each), many otherwise.
unsigned readDepthFor(const std::vector<std::unique_ptr<TDuplicateFile>>& list) {
    std::vector<uint64_t> devices;
    for (const auto& r : list)
        if (std::find(devices.begin(), devices.end(), r->Device) == devices.end())
            devices.push_back(r->Device);
    for (uint64_t device : devices)
        if (onRotationalDisk(device))
            return kRotationalDepth;
    return kSolidStateDepth;
}

FingerprintCache::Key cacheKey(const TDuplicateFile& r) {
    return {r.Device, r.Inode, r.FileSize, r.MTimeSec * 1000000000 + r.MTimeNsec,
            r.CTimeSec * 1000000000 + r.CTimeNsec};
}

// The remembered digest for the mode, null when none; files below kPartialLimit have one
// digest.
const unsigned char (*knownDigest(const FingerprintCache::Digests& d, int64_t size,
                                  bool whole))[16] {
    if (size < kPartialLimit) {
        if (d.hasFull)
            return &d.full;
        return d.hasPartial ? &d.partial : nullptr;
    }
    if (whole)
        return d.hasFull ? &d.full : nullptr;
    return d.hasPartial ? &d.partial : nullptr;
}

template <typename Body>
void runOnThreads(unsigned count, Body body) {
    std::vector<std::thread> extra;
    for (unsigned i = 1; i < count; ++i) {
        try {
            extra.emplace_back(body);
        } catch (const std::system_error&) {
            break;
        }
    }
    body();
    for (auto& t : extra)
        t.join();
}

} // namespace

bool Md5Available() {
    // The digest of "abc" (RFC 1321, appendix A.5): a system whose cryptography library
    // refuses MD5, or gives a wrong digest, cannot compare contents.
    static const bool available = [] {
        const EVP_MD* md = md5Algorithm();
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned len = 0;
        const bool ok =
            md != nullptr && ctx != nullptr && EVP_DigestInit_ex2(ctx, md, nullptr) == 1 &&
            EVP_DigestUpdate(ctx, "abc", 3) == 1 && EVP_DigestFinal_ex(ctx, digest, &len) == 1 &&
            len == 16 && toHex(digest, len) == "900150983CD24FB0D6963F7D28E17F72";
        EVP_MD_CTX_free(ctx);
        return ok;
    }();
    return available;
}

std::string GetFileMd5(const std::string& FileName, bool Whole) {
    const platform::ReadFile file = platform::ReadFile::openShared(FileName);
    if (!file.valid())
        return {};
    return hashOpenFile(file, file.openStatus().size, Whole);
}

void TDuplicateFileThread::StartCacheLoad() {
    if (FCachePath.empty() || FCacheLoadStarted)
        return;
    const auto load = [this] {
        std::shared_ptr<FingerprintCache> cache =
            FingerprintCache::open(FCachePath, FingerprintCache::kDefaultSizeLimit, 2000, &FStop);
        if (cache)
            cache->preload(kPreloadBytes);
        FLoadedCache = std::move(cache);
    };
    try {
        FCacheLoader = std::thread(load);
    } catch (const std::system_error&) {
        return; // HashFiles opens the cache itself
    }
    FCacheLoadStarted = true;
}

std::shared_ptr<FingerprintCache> TDuplicateFileThread::TakeLoadedCache() {
    if (!FCacheLoadStarted)
        return nullptr;
    FCacheLoader.join();
    FCacheLoadStarted = false;
    return std::move(FLoadedCache);
}

void TDuplicateFileThread::PublishFingerprintPlan(const std::vector<uint8_t>& known, bool whole) {
    auto plan = std::make_shared<TFingerprintPlan>();
    try {
        plan->Bytes.resize(FFileList.size());
    } catch (const std::bad_alloc&) {
        return; // no plan: readers count files instead of bytes
    }
    for (size_t i = 0; i < FFileList.size(); ++i) {
        const int64_t size = std::max<int64_t>(FFileList[i]->FileSize, 0);
        int64_t bytes = 0;
        if (!known[i] && FHashPlan[i])
            bytes = !whole && size >= kPartialLimit ? int64_t(2 * kPartialBlock) : size;
        plan->Bytes[i] = bytes;
        plan->Total += bytes;
    }
    std::lock_guard lock(FOwner.FLock);
    FOwner.FFingerprintPlan = std::move(plan);
}

void TDuplicateFileThread::HashFiles() {
    const size_t count = FFileList.size();
    Post(spHashStart, static_cast<int64_t>(count));
    const bool whole = FdtMode == dtMd5;
    // A file whose status-change time lies this close to now could change again within
    // the same tick of the file system's clock, keeping its key: its fingerprint is not
    // remembered. Files changed after this moment get a later time.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t rememberBefore =
        static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec - kRacyMarginNs;

    // Fingerprints remembered from earlier scans, looked up all at once.
    std::shared_ptr<FingerprintCache> cache = TakeLoadedCache();
    std::vector<FingerprintCache::Digests> found;
    std::vector<uint8_t> known(count, 0);
    if (count == 0 || StopRequested())
        cache.reset();
    else if (!cache && !FCachePath.empty())
        cache =
            FingerprintCache::open(FCachePath, FingerprintCache::kDefaultSizeLimit, 2000, &FStop);
    if (cache) {
        std::vector<FingerprintCache::Key> keys(count);
        for (size_t i = 0; i < count; ++i)
            keys[i] = cacheKey(*FFileList[i]);
        cache->lookup(keys, found);
        for (size_t i = 0; i < count; ++i)
            known[i] = knownDigest(found[i], FFileList[i]->FileSize, whole) != nullptr ? 1 : 0;
    }
    size_t toRead = 0;
    for (size_t i = 0; i < count; ++i)
        toRead += known[i] ? 0 : 1;
    const unsigned depth = FReadDepth != 0 ? FReadDepth : readDepthFor(FFileList);
    const unsigned threads = static_cast<unsigned>(
        std::min<size_t>(std::max(FHashThreadCount, depth), std::max<size_t>(toRead, 1)));

    // Work ahead (whole-file mode): find the large files that cannot have a duplicate.
    // Sizes whose files are all remembered need no sample.
    FHashPlan.assign(count, 1);
    std::vector<uint64_t> sample;
    std::vector<uint8_t> newSample; // per record: its sample was read here and may be kept
    if (whole && count > 1 && !StopRequested()) {
        std::unordered_map<int64_t, std::vector<size_t>> bySize;
        for (size_t i = 0; i < count; ++i)
            if (FFileList[i]->FileSize >= kSampleMin)
                bySize[FFileList[i]->FileSize].push_back(i);
        std::vector<size_t> toSample;
        for (auto& [size, members] : bySize) {
            if (members.size() < 2) {
                FHashPlan[members.front()] = 0; // its size is unique
                continue;
            }
            if (std::any_of(members.begin(), members.end(), [&](size_t i) { return !known[i]; }))
                toSample.insert(toSample.end(), members.begin(), members.end());
        }
        std::sort(toSample.begin(), toSample.end());
        // On a rotational disk the samples (whose order nothing reports) are read in the
        // order of the files on the disk, as far as the inode numbers tell it.
        if (FReadDepth == 0 && depth == kRotationalDepth)
            std::stable_sort(toSample.begin(), toSample.end(), [&](size_t a, size_t b) {
                const TDuplicateFile& x = *FFileList[a];
                const TDuplicateFile& y = *FFileList[b];
                return x.Device != y.Device ? x.Device < y.Device : x.Inode < y.Inode;
            });
        // Samples remembered from earlier scans are taken as they are.
        sample.assign(count, 0);
        std::vector<uint8_t> sampled(count, 0);
        if (cache) {
            std::vector<size_t> unread;
            for (size_t i : toSample) {
                if (found[i].hasSample) {
                    sample[i] = found[i].sample;
                    sampled[i] = 1;
                } else {
                    unread.push_back(i);
                }
            }
            toSample.swap(unread);
        }
        newSample.assign(count, 0);
        std::atomic<size_t> next{0};
        std::atomic<bool> stopped{false};
        runOnThreads(std::min<unsigned>(threads, std::max<size_t>(toSample.size(), 1)), [&] {
            for (;;) {
                if (StopRequested()) {
                    stopped = true;
                    return;
                }
                const size_t k = next.fetch_add(1);
                if (k >= toSample.size())
                    return;
                const size_t i = toSample[k];
                bool unchanged = false;
                sampled[i] = sampleRecord(*FFileList[i], sample[i], unchanged) ? 1 : 0;
                const TDuplicateFile& r = *FFileList[i];
                newSample[i] = sampled[i] && unchanged && cache &&
                               r.CTimeSec * 1000000000 + r.CTimeNsec < rememberBefore;
            }
        });
        if (!stopped) {
            for (auto& [size, members] : bySize) {
                if (members.size() < 2 || !sampled[members.front()])
                    continue;
                // A failed sample might still match anything: then nothing is ruled out.
                const bool anyFailed = std::any_of(members.begin(), members.end(),
                                                   [&](size_t i) { return !sampled[i]; });
                if (anyFailed)
                    continue;
                std::unordered_map<uint64_t, int> seen;
                for (size_t i : members)
                    ++seen[sample[i]];
                for (size_t i : members)
                    if (seen[sample[i]] == 1 && !known[i])
                        FHashPlan[i] = 0;
            }
        } else {
            std::fill(FHashPlan.begin(), FHashPlan.end(), 1);
        }
    }

    PublishFingerprintPlan(known, whole);

    // New fingerprints go to the cache in batches, one transaction each.
    std::mutex pendingLock;
    std::vector<std::pair<FingerprintCache::Key, FingerprintCache::Digests>> pending;
    std::mutex storeLock;
    std::vector<uint8_t> sampleKept(newSample.size(), 0);
    const auto keep = [&](const TDuplicateFile& r, const FingerprintCache::Digests& entry) {
        std::vector<std::pair<FingerprintCache::Key, FingerprintCache::Digests>> batch;
        {
            std::lock_guard lock(pendingLock);
            pending.emplace_back(cacheKey(r), entry);
            if (pending.size() >= kStoreBatch)
                batch.swap(pending);
        }
        if (!batch.empty()) {
            std::lock_guard lock(storeLock);
            cache->store(batch);
        }
    };
    const auto remember = [&](size_t i, const std::string& md5) {
        const TDuplicateFile& r = *FFileList[i];
        FingerprintCache::Digests entry;
        unsigned char digest[16];
        if (!FingerprintCache::toDigest(md5, digest))
            return;
        if (i < newSample.size() && newSample[i]) {
            entry.sample = sample[i];
            entry.hasSample = true;
            sampleKept[i] = 1;
        }
        // Below kPartialLimit both kinds are the digest of the whole file.
        if (whole || r.FileSize < kPartialLimit) {
            std::memcpy(entry.full, digest, 16);
            entry.hasFull = true;
        }
        if (!whole || r.FileSize < kPartialLimit) {
            std::memcpy(entry.partial, digest, 16);
            entry.hasPartial = true;
        }
        keep(r, entry);
    };

    // The pass proper: code 4 in list order, the first file always, no file after a stop.
    std::mutex dispatch;
    size_t nextIndex = 0;
    bool stopped = false;
    // Records that need no read (remembered, or ruled out by their sample) are settled
    // under the dispatch lock as they come up: handing each to a thread would cost more
    // than the record itself.
    const auto settleWithoutRead = [&](size_t i) {
        TDuplicateFile& record = *FFileList[i];
        if (known[i])
            record.Md5 = FingerprintCache::hex(*knownDigest(found[i], record.FileSize, whole));
        else
            record.Md5.clear();
    };
    size_t toHash = 0;
    for (size_t i = 0; i < count; ++i)
        toHash += !known[i] && FHashPlan[i] ? 1 : 0;
    runOnThreads(
        static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(toHash, 1))), [&] {
            for (;;) {
                size_t i = 0;
                {
                    std::lock_guard lock(dispatch);
                    for (;;) {
                        if (stopped || nextIndex >= count)
                            return;
                        if (nextIndex > 0 && StopRequested()) {
                            stopped = true;
                            return;
                        }
                        i = nextIndex++;
                        Post(spHashFile, 0, FFileList[i]->FileName);
                        if (!known[i] && FHashPlan[i])
                            break;
                        settleWithoutRead(i);
                    }
                }
                TDuplicateFile& record = *FFileList[i];
                bool unchanged = false;
                record.Md5 = fingerprintRecord(record, whole, FStop, cache ? &unchanged : nullptr);
                if (unchanged && !record.Md5.empty() &&
                    record.CTimeSec * 1000000000 + record.CTimeNsec < rememberBefore)
                    remember(i, record.Md5);
                if (StopRequested()) {
                    std::lock_guard lock(dispatch);
                    stopped = true;
                    return;
                }
            }
        });
    // Samples of files that were not read in full (or whose read failed) are kept too:
    // the next scan rules them out without opening them.
    if (cache && !stopped)
        for (size_t i = 0; i < newSample.size(); ++i)
            if (newSample[i] && !sampleKept[i]) {
                FingerprintCache::Digests entry;
                entry.sample = sample[i];
                entry.hasSample = true;
                keep(*FFileList[i], entry);
            }
    if (cache && !pending.empty()) {
        // The last batch is stored while the groups are formed (Execute waits for it).
        auto batch = std::make_shared<decltype(pending)>(std::move(pending));
        try {
            FCacheWriter = std::thread([cache, batch] { cache->store(*batch); });
        } catch (const std::system_error&) {
            cache->store(*batch);
        }
    }
    if (!stopped)
        Post(spHashDone, 0);
}

} // namespace pelidor
