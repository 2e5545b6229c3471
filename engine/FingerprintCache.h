// The fingerprint cache: content fingerprints remembered between scans, in one SQLite
// database shared by every program of the user.
//
// A record is keyed by what proves the file unchanged since its fingerprints were
// computed: device, inode, size, modification time and status-change time (both in
// nanoseconds). Anything that differs is a miss. The cache never decides anything on
// its own: a failure of any kind (locked, read-only, damaged, newer format, full disk)
// makes it answer "miss" and drop what it was asked to store, so a scan goes on
// without it and its result stays the same.
//
// Threads: one object per scan, used by one thread at a time (the caller serialises).
// Two processes may use the same file at once (write-ahead log, busy timeout).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace pelidor {

class FingerprintCache {
public:
    struct Key {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;
    };
    // Fingerprints as 32 upper-case hex digits; empty when not known.
    struct Entry {
        std::string full;
        std::string partial;
    };

    // The same fingerprints as bytes, as the lookup of a whole scan takes them (no
    // text, no allocation per file).
    struct Digests {
        unsigned char full[16];
        unsigned char partial[16];
        uint64_t sample = 0; // the work-ahead's sample of a large file (Fingerprint.cpp)
        bool hasFull = false;
        bool hasPartial = false;
        bool hasSample = false;
    };

    // Entries not seen for this many days are dropped (checked at most once a day).
    static constexpr int kKeepDays = 90;
    // The database stays below this size unless the caller sets another.
    static constexpr int64_t kDefaultSizeLimit = 512ll * 1024 * 1024;

    ~FingerprintCache();
    FingerprintCache(const FingerprintCache&) = delete;
    FingerprintCache& operator=(const FingerprintCache&) = delete;

    // $XDG_CACHE_HOME/pelidor/fingerprints.sqlite; empty when there is no cache folder.
    static std::string defaultPath();

    // Opens (creating when missing: the file 0600, its folder 0700 when created here)
    // the cache at `path`. A file that is not a database, or a damaged one, is set aside
    // as `path`.damaged and replaced by an empty one. Null when the cache cannot be used
    // at all (locked beyond the busy timeout, newer format, no folder, ...); a cache
    // that can only be read opens for lookups. While another program holds the file,
    // each step waits up to `busyTimeoutMs`, less when `stop` (if given) becomes above 0.
    static std::unique_ptr<FingerprintCache> open(const std::string& path,
                                                  int64_t sizeLimit = kDefaultSizeLimit,
                                                  int busyTimeoutMs = 2000,
                                                  const std::atomic<int32_t>* stop = nullptr);

    // Empties the cache file at `path` (removing it and its log). True when nothing
    // remains.
    static bool clear(const std::string& path);

    // Looks up every key at once: out[i] gets the fingerprints of keys[i], empty on a
    // miss. On any failure every answer is a miss and the cache stops answering.
    void lookup(const std::vector<Key>& keys, std::vector<Digests>& out);
    void lookup(const std::vector<Key>& keys, std::vector<Entry>& out);

    // Reads the whole table into memory when its pages take at most `maxBytes`, so that
    // it can be done while the files are still being listed; the next lookup is then
    // answered from memory (and the rows are let go). False when nothing was read: a
    // larger table, a stop, a failure (lookups then ask the database, as without it).
    bool preload(int64_t maxBytes);

    // 32 upper-case hex digits of a 16-byte digest.
    static std::string hex(const unsigned char (&digest)[16]);

    // Stores the fingerprints of one batch in one transaction. A fingerprint left empty
    // keeps what the record holds for the same key. A failure drops the batch and ends
    // storing for this object.
    void store(const std::vector<std::pair<Key, Entry>>& batch);
    void store(const std::vector<std::pair<Key, Digests>>& batch);

    // The 16 bytes of 32 hex digits; false (and `out` undefined) for anything else.
    static bool toDigest(const std::string& hex, unsigned char (&out)[16]);

    bool usable() const { return db_ != nullptr && !failed_; }
    bool writable() const { return usable() && !readOnly_; }

private:
    // A row of the table as the preload keeps it.
    struct Row {
        Key key;
        int64_t seen = 0;
        Digests digests;
    };

    FingerprintCache() = default;
    void renew(const std::vector<Key>& keys, const std::vector<size_t>& stale);
    int prepare();
    bool exec(const char* sql);
    void maintain();
    bool trim();
    int writeBatch(const std::vector<std::pair<Key, Digests>>& batch);
    void fail(int rc);

    sqlite3* db_ = nullptr;
    std::string path_;
    int lastError_ = 0;
    bool readOnly_ = false;
    bool failed_ = false;
    int64_t sizeLimit_ = kDefaultSizeLimit;
    int64_t today_ = 0; // days since 1970-01-01
    int busyTimeoutMs_ = 2000;
    const std::atomic<int32_t>* stop_ = nullptr;
    std::vector<Row> rows_; // the preloaded table, in the table's order
    bool preloaded_ = false;
    static int busyWait(void* self, int count);
};

} // namespace pelidor
