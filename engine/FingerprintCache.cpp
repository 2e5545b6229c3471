// The fingerprint cache on SQLite.
//
// One table, one row per file (device and inode), holding the rest of the key beside
// the fingerprints (16-byte blobs) and the day the row was last seen. Looking a file up
// compares size and both times: a file changed in place, even with its modification
// time set back, has a new status-change time; a file replaced by another has a new
// inode. Rows not seen for kKeepDays are dropped once a day; the page count is capped
// (max_page_count) and a full database loses its oldest quarter before a batch is
// tried again.
#include "engine/FingerprintCache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Environment.h"

namespace pelidor {
namespace {

constexpr int kSchemaVersion = 2;

const char* const kSchema = "CREATE TABLE IF NOT EXISTS fingerprints("
                            " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                            " size INTEGER NOT NULL, mtime INTEGER NOT NULL,"
                            " ctime INTEGER NOT NULL, full BLOB, part BLOB,"
                            " seen INTEGER NOT NULL, sample INTEGER,"
                            " PRIMARY KEY(device, inode)) WITHOUT ROWID;"
                            "CREATE TABLE IF NOT EXISTS state("
                            " name TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;";

const char* const kUpsert =
    "INSERT INTO fingerprints(device, inode, size, mtime, ctime, full, part, seen, sample)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"
    " ON CONFLICT(device, inode) DO UPDATE SET"
    "  full = CASE WHEN size = excluded.size AND mtime = excluded.mtime"
    "   AND ctime = excluded.ctime THEN coalesce(excluded.full, full) ELSE excluded.full END,"
    "  part = CASE WHEN size = excluded.size AND mtime = excluded.mtime"
    "   AND ctime = excluded.ctime THEN coalesce(excluded.part, part) ELSE excluded.part END,"
    "  sample = CASE WHEN size = excluded.size AND mtime = excluded.mtime"
    "   AND ctime = excluded.ctime THEN coalesce(excluded.sample, sample) ELSE excluded.sample END,"
    "  size = excluded.size, mtime = excluded.mtime, ctime = excluded.ctime,"
    "  seen = excluded.seen";

bool isDamage(int rc) {
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// 32 hex digits to 16 bytes; false on anything else.
bool toBytes(const std::string& hex, unsigned char (&out)[16]) {
    if (hex.size() != 32)
        return false;
    for (size_t i = 0; i < 16; ++i) {
        const int hi = hexValue(hex[2 * i]);
        const int lo = hexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return true;
}

std::string toHex(const void* data, int size) {
    if (data == nullptr || size != 16)
        return {};
    static constexpr char digits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out(32, '0');
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 15];
    }
    return out;
}

void bindFingerprint(sqlite3_stmt* st, int index, const unsigned char (&digest)[16], bool has) {
    if (has)
        sqlite3_bind_blob(st, index, digest, 16, SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(st, index);
}

// Statements finalise themselves.
struct Statement {
    sqlite3_stmt* st = nullptr;
    int rc = SQLITE_OK;
    Statement(sqlite3* db, const char* sql) { rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Statement() { sqlite3_finalize(st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc == SQLITE_OK && st != nullptr; }
};

std::string parentFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Creates the folder and its missing parents; the folders made here get 0700.
bool makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (errno != ENOENT || folder == "/" || folder == ".")
        return false;
    if (!makeFolders(parentFolder(folder)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

void removeDatabaseFiles(const std::string& path) {
    for (const char* suffix : {"-wal", "-shm"})
        ::unlink((path + suffix).c_str());
}

// Moves a damaged database (and its log) out of the way, keeping one earlier copy.
void setAside(const std::string& path) {
    const std::string aside = path + ".damaged";
    if (::rename(path.c_str(), aside.c_str()) != 0)
        ::unlink(path.c_str());
    removeDatabaseFiles(path);
}

// The table's order: device, then inode, both as the signed numbers SQLite stores.
bool keyBefore(const FingerprintCache::Key& a, const FingerprintCache::Key& b) {
    const auto da = static_cast<int64_t>(a.device), db = static_cast<int64_t>(b.device);
    if (da != db)
        return da < db;
    return static_cast<int64_t>(a.inode) < static_cast<int64_t>(b.inode);
}

int64_t daysNow() {
    return static_cast<int64_t>(::time(nullptr)) / 86400;
}

} // namespace

FingerprintCache::~FingerprintCache() {
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
}

std::string FingerprintCache::defaultPath() {
    const std::string base = platform::cacheHome();
    if (base.empty())
        return {};
    return base + "/pelidor/fingerprints.sqlite";
}

bool FingerprintCache::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        lastError_ = rc;
        return false;
    }
    return true;
}

int FingerprintCache::busyWait(void* self, int count) {
    // Called by SQLite while another connection holds the lock: 0 gives up.
    constexpr int kStepMs = 10;
    const auto* cache = static_cast<const FingerprintCache*>(self);
    if (cache->stop_ != nullptr && cache->stop_->load(std::memory_order_relaxed) > 0)
        return 0;
    if (static_cast<int64_t>(count) * kStepMs >= cache->busyTimeoutMs_)
        return 0;
    ::usleep(kStepMs * 1000);
    return 1;
}

std::unique_ptr<FingerprintCache> FingerprintCache::open(const std::string& path, int64_t sizeLimit,
                                                         int busyTimeoutMs,
                                                         const std::atomic<int32_t>* stop) {
    if (path.empty() || sqlite3_threadsafe() == 0)
        return nullptr;
    if (!makeFolders(parentFolder(path)))
        return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The file is made here so that it starts with 0600 whatever the umask; the
        // log files take the database's permissions.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        std::unique_ptr<FingerprintCache> cache(new FingerprintCache());
        cache->path_ = path;
        cache->sizeLimit_ = sizeLimit;
        cache->today_ = daysNow();
        cache->busyTimeoutMs_ = busyTimeoutMs;
        cache->stop_ = stop;
        const int rc = sqlite3_open_v2(path.c_str(), &cache->db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            return nullptr;
        sqlite3_extended_result_codes(cache->db_, 1);
        sqlite3_busy_handler(cache->db_, &FingerprintCache::busyWait, cache.get());
        const int ready = cache->prepare();
        if (ready == SQLITE_OK)
            return cache;
        if (!isDamage(ready) || attempt > 0)
            return nullptr;
        cache.reset();
        setAside(path);
    }
    return nullptr;
}

// Checks the format and sets the database up; SQLITE_OK when the cache can be used,
// else the error that stopped it.
int FingerprintCache::prepare() {
    Statement version(db_, "PRAGMA user_version");
    if (!version.ok())
        return version.rc;
    const int step = sqlite3_step(version.st);
    if (step != SQLITE_ROW)
        return step;
    const int found = sqlite3_column_int(version.st, 0);
    sqlite3_reset(version.st);
    if (found > kSchemaVersion)
        return SQLITE_CANTOPEN; // a newer program's cache: left as it is
    readOnly_ = sqlite3_db_readonly(db_, "main") == 1;
    if (!readOnly_) {
        // A new, empty cache is set up without waiting for the disk: a crash meanwhile
        // leaves at worst a damaged file, which is set aside and made again.
        if (found == 0)
            exec("PRAGMA synchronous=OFF");
        // A cache another program holds locked beyond the wait is passed over at once.
        if (!exec("PRAGMA journal_mode=WAL") && (lastError_ & 0xff) == SQLITE_BUSY)
            return lastError_;
        if (found != 0)
            exec("PRAGMA synchronous=NORMAL");
        exec("PRAGMA cache_size=-16384");
        exec("PRAGMA journal_size_limit=4194304");
        // A scan stores its fingerprints in large batches: the log is copied back (and
        // synced) every 16 MiB of it rather than every 4 MiB.
        exec("PRAGMA wal_autocheckpoint=4096");
    }
    if (found == 0) {
        if (readOnly_)
            return SQLITE_READONLY;
        if (!exec("BEGIN IMMEDIATE"))
            return lastError_;
        if (!exec(kSchema) || !exec("PRAGMA user_version=2")) {
            const int rc = lastError_;
            exec("ROLLBACK");
            return rc;
        }
        const bool committed = exec("COMMIT");
        exec("PRAGMA synchronous=NORMAL");
        if (!committed) {
            const int rc = lastError_;
            exec("ROLLBACK");
            return rc;
        }
    } else {
        if (found == 1) {
            // The first format lacks the samples: the column is added (an older program
            // then passes this cache over as a newer one).
            if (readOnly_)
                return SQLITE_READONLY;
            if (!exec("BEGIN IMMEDIATE"))
                return lastError_;
            // Another program may have converted it while this one waited.
            int now = 0;
            {
                Statement again(db_, "PRAGMA user_version");
                if (again.ok() && sqlite3_step(again.st) == SQLITE_ROW)
                    now = sqlite3_column_int(again.st, 0);
            }
            if (now == 1 && (!exec("ALTER TABLE fingerprints ADD COLUMN sample INTEGER") ||
                             !exec("PRAGMA user_version=2")))
                now = 0;
            if (now == 0 || !exec("COMMIT")) {
                const int rc = lastError_;
                exec("ROLLBACK");
                return rc;
            }
        }
        // A table of the expected shape: anything else is a damaged cache.
        Statement probe(db_, "SELECT device, inode, size, mtime, ctime, full, part, seen, sample"
                             " FROM fingerprints LIMIT 0");
        if (!probe.ok())
            return isDamage(probe.rc) ? probe.rc : SQLITE_CORRUPT;
    }
    if (!readOnly_) {
        Statement pageSize(db_, "PRAGMA page_size");
        if (pageSize.ok() && sqlite3_step(pageSize.st) == SQLITE_ROW) {
            const int64_t bytes = sqlite3_column_int64(pageSize.st, 0);
            if (bytes > 0) {
                const std::string sql = "PRAGMA max_page_count=" +
                                        std::to_string(std::max<int64_t>(sizeLimit_ / bytes, 16));
                exec(sql.c_str());
            }
        }
        maintain();
    }
    return SQLITE_OK;
}

void FingerprintCache::maintain() {
    // At most once a day: drop what has not been seen for kKeepDays.
    Statement last(db_, "SELECT value FROM state WHERE name = 'pruned'");
    if (!last.ok())
        return;
    int64_t pruned = 0;
    if (sqlite3_step(last.st) == SQLITE_ROW)
        pruned = sqlite3_column_int64(last.st, 0);
    sqlite3_reset(last.st);
    if (pruned >= today_)
        return;
    if (!exec("BEGIN IMMEDIATE"))
        return;
    Statement drop(db_, "DELETE FROM fingerprints WHERE seen < ?1");
    Statement mark(db_, "INSERT OR REPLACE INTO state(name, value) VALUES('pruned', ?1)");
    bool ok = drop.ok() && mark.ok();
    if (ok) {
        sqlite3_bind_int64(drop.st, 1, today_ - kKeepDays);
        sqlite3_bind_int64(mark.st, 1, today_);
        ok = sqlite3_step(drop.st) == SQLITE_DONE && sqlite3_step(mark.st) == SQLITE_DONE;
    }
    if (!ok || !exec("COMMIT"))
        exec("ROLLBACK");
}

bool FingerprintCache::trim() {
    // The oldest quarter goes; its pages are reused by the next rows.
    return exec("DELETE FROM fingerprints WHERE (device, inode) IN"
                " (SELECT device, inode FROM fingerprints ORDER BY seen"
                "  LIMIT (SELECT count(*) / 4 + 1 FROM fingerprints))");
}

void FingerprintCache::fail(int rc) {
    failed_ = true;
    if (isDamage(rc) && db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        setAside(path_);
    }
}

void FingerprintCache::lookup(const std::vector<Key>& keys, std::vector<Entry>& out) {
    std::vector<Digests> found;
    lookup(keys, found);
    out.assign(keys.size(), Entry{});
    for (size_t i = 0; i < found.size(); ++i) {
        if (found[i].hasFull)
            out[i].full = hex(found[i].full);
        if (found[i].hasPartial)
            out[i].partial = hex(found[i].partial);
    }
}

std::string FingerprintCache::hex(const unsigned char (&digest)[16]) {
    return toHex(digest, 16);
}

bool FingerprintCache::preload(int64_t maxBytes) {
    if (!usable() || preloaded_)
        return preloaded_;
    int64_t bytes = 0;
    {
        Statement pages(
            db_, "SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()");
        if (!pages.ok() || sqlite3_step(pages.st) != SQLITE_ROW)
            return false;
        bytes = sqlite3_column_int64(pages.st, 0);
    }
    if (bytes > maxBytes)
        return false;
    std::vector<Row> rows;
    bool ok = exec("BEGIN");
    if (ok) {
        Statement all(db_, "SELECT device, inode, size, mtime, ctime, full, part, seen, sample"
                           " FROM fingerprints ORDER BY device, inode");
        ok = all.ok();
        if (!ok)
            lastError_ = all.rc;
        const auto digest = [&](int column, unsigned char(&to)[16]) {
            const void* data = sqlite3_column_blob(all.st, column);
            if (data == nullptr || sqlite3_column_bytes(all.st, column) != 16)
                return false;
            std::memcpy(to, data, 16);
            return true;
        };
        while (ok) {
            const int rc = sqlite3_step(all.st);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW) {
                lastError_ = rc;
                ok = false;
                break;
            }
            if ((rows.size() & 4095) == 0 && stop_ != nullptr &&
                stop_->load(std::memory_order_relaxed) > 0) {
                ok = false;
                break;
            }
            Row& row = rows.emplace_back();
            row.key.device = static_cast<uint64_t>(sqlite3_column_int64(all.st, 0));
            row.key.inode = static_cast<uint64_t>(sqlite3_column_int64(all.st, 1));
            row.key.size = sqlite3_column_int64(all.st, 2);
            row.key.mtimeNs = sqlite3_column_int64(all.st, 3);
            row.key.ctimeNs = sqlite3_column_int64(all.st, 4);
            row.digests.hasFull = digest(5, row.digests.full);
            row.digests.hasPartial = digest(6, row.digests.partial);
            row.seen = sqlite3_column_int64(all.st, 7);
            row.digests.hasSample = sqlite3_column_type(all.st, 8) == SQLITE_INTEGER;
            row.digests.sample = static_cast<uint64_t>(sqlite3_column_int64(all.st, 8));
        }
    }
    const int rc = lastError_;
    if (ok)
        ok = exec("COMMIT");
    if (!ok) {
        exec("ROLLBACK");
        if (isDamage(rc))
            fail(rc);
        return false;
    }
    rows_ = std::move(rows);
    preloaded_ = true;
    return true;
}

void FingerprintCache::lookup(const std::vector<Key>& keys, std::vector<Digests>& out) {
    out.assign(keys.size(), Digests{});
    if (!usable() || keys.empty())
        return;
    std::vector<size_t> stale; // hits last seen before today
    // Keys in the table's order (device, inode): lookups walk the tree forwards.
    std::vector<size_t> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return keyBefore(keys[a], keys[b]); });
    if (preloaded_) {
        // The rows read ahead, walked beside the keys; they are needed once.
        std::vector<Row> rows = std::move(rows_);
        rows_ = {};
        preloaded_ = false;
        size_t r = 0;
        for (size_t n = 0; n < order.size(); ++n) {
            const size_t i = order[n];
            const Key& k = keys[i];
            while (r < rows.size() && keyBefore(rows[r].key, k))
                ++r;
            if (r == rows.size())
                break;
            const Row& row = rows[r];
            if (row.key.device != k.device || row.key.inode != k.inode || row.key.size != k.size ||
                row.key.mtimeNs != k.mtimeNs || row.key.ctimeNs != k.ctimeNs)
                continue;
            out[i] = row.digests;
            if (row.seen < today_)
                stale.push_back(i);
        }
        renew(keys, stale);
        return;
    }
    // A row of the table (columns: device, inode, size, mtime, ctime, full, part, seen,
    // sample)
    // against the keys of its file.
    const auto digest = [](sqlite3_stmt* st, int column, unsigned char(&to)[16]) {
        if (sqlite3_column_bytes(st, column) != 16)
            return false;
        const void* data = sqlite3_column_blob(st, column);
        if (data == nullptr)
            return false;
        std::memcpy(to, data, 16);
        return true;
    };
    const auto take = [&](sqlite3_stmt* st, size_t first, size_t last) {
        for (size_t n = first; n < last; ++n) {
            const size_t i = order[n];
            const Key& k = keys[i];
            if (sqlite3_column_int64(st, 2) != k.size || sqlite3_column_int64(st, 3) != k.mtimeNs ||
                sqlite3_column_int64(st, 4) != k.ctimeNs)
                continue;
            out[i].hasFull = digest(st, 5, out[i].full);
            out[i].hasPartial = digest(st, 6, out[i].partial);
            out[i].hasSample = sqlite3_column_type(st, 8) == SQLITE_INTEGER;
            out[i].sample = static_cast<uint64_t>(sqlite3_column_int64(st, 8));
            if (sqlite3_column_int64(st, 7) < today_)
                stale.push_back(i);
        }
    };
    // Many keys against the table's size: one pass over the table beats a search a key.
    int64_t pages = 0;
    {
        Statement count(db_, "PRAGMA page_count");
        if (count.ok() && sqlite3_step(count.st) == SQLITE_ROW)
            pages = sqlite3_column_int64(count.st, 0);
    }
    const bool wholeTable = static_cast<int64_t>(keys.size()) * 4 >= pages * 50;
    bool ok = exec("BEGIN");
    if (ok) {
        Statement find(
            db_, wholeTable ? "SELECT device, inode, size, mtime, ctime, full, part, seen, sample"
                              " FROM fingerprints ORDER BY device, inode"
                            : "SELECT device, inode, size, mtime, ctime, full, part, seen, sample"
                              " FROM fingerprints WHERE device = ?1 AND inode = ?2");
        ok = find.ok();
        if (!ok)
            lastError_ = find.rc;
        size_t n = 0;
        while (ok && n < order.size()) {
            if (!wholeTable) {
                sqlite3_bind_int64(find.st, 1, static_cast<sqlite3_int64>(keys[order[n]].device));
                sqlite3_bind_int64(find.st, 2, static_cast<sqlite3_int64>(keys[order[n]].inode));
            }
            const int rc = sqlite3_step(find.st);
            if (rc == SQLITE_ROW) {
                Key row;
                row.device = static_cast<uint64_t>(sqlite3_column_int64(find.st, 0));
                row.inode = static_cast<uint64_t>(sqlite3_column_int64(find.st, 1));
                const uint64_t device = row.device, inode = row.inode;
                const auto before = [&](size_t idx) { return keyBefore(keys[order[idx]], row); };
                while (n < order.size() && before(n))
                    ++n;
                size_t last = n;
                while (last < order.size() && keys[order[last]].device == device &&
                       keys[order[last]].inode == inode)
                    ++last;
                take(find.st, n, last);
                if (!wholeTable) {
                    n = std::max(last, n + 1);
                    sqlite3_reset(find.st);
                } else {
                    n = last;
                }
            } else if (rc == SQLITE_DONE) {
                if (wholeTable)
                    break;
                ++n;
                sqlite3_reset(find.st);
            } else {
                lastError_ = rc;
                ok = false;
            }
        }
    }
    if (ok)
        ok = exec("COMMIT");
    if (!ok) {
        const int rc = lastError_;
        exec("ROLLBACK");
        out.assign(keys.size(), Digests{});
        fail(rc);
        return;
    }
    renew(keys, stale);
}

void FingerprintCache::renew(const std::vector<Key>& keys, const std::vector<size_t>& stale) {
    // Hits seen again: their day is renewed (at most once a day per row), best effort.
    if (stale.empty() || readOnly_)
        return;
    if (!exec("BEGIN IMMEDIATE")) {
        readOnly_ = true;
        return;
    }
    Statement touch(db_, "UPDATE fingerprints SET seen = ?3 WHERE device = ?1 AND inode = ?2");
    bool touched = touch.ok();
    for (size_t idx = 0; touched && idx < stale.size(); ++idx) {
        const Key& k = keys[stale[idx]];
        sqlite3_bind_int64(touch.st, 1, static_cast<sqlite3_int64>(k.device));
        sqlite3_bind_int64(touch.st, 2, static_cast<sqlite3_int64>(k.inode));
        sqlite3_bind_int64(touch.st, 3, today_);
        touched = sqlite3_step(touch.st) == SQLITE_DONE;
        sqlite3_reset(touch.st);
    }
    if (!touched || !exec("COMMIT")) {
        exec("ROLLBACK");
        readOnly_ = true;
    }
}

int FingerprintCache::writeBatch(const std::vector<std::pair<Key, Digests>>& batch) {
    if (!exec("BEGIN IMMEDIATE"))
        return lastError_;
    Statement upsert(db_, kUpsert);
    int rc = upsert.ok() ? SQLITE_OK : upsert.rc;
    // In the table's order: each row lands beside the one before.
    std::vector<size_t> order(batch.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return keyBefore(batch[a].first, batch[b].first); });
    for (size_t n = 0; rc == SQLITE_OK && n < order.size(); ++n) {
        const auto& [k, e] = batch[order[n]];
        sqlite3_bind_int64(upsert.st, 1, static_cast<sqlite3_int64>(k.device));
        sqlite3_bind_int64(upsert.st, 2, static_cast<sqlite3_int64>(k.inode));
        sqlite3_bind_int64(upsert.st, 3, k.size);
        sqlite3_bind_int64(upsert.st, 4, k.mtimeNs);
        sqlite3_bind_int64(upsert.st, 5, k.ctimeNs);
        bindFingerprint(upsert.st, 6, e.full, e.hasFull);
        bindFingerprint(upsert.st, 7, e.partial, e.hasPartial);
        sqlite3_bind_int64(upsert.st, 8, today_);
        if (e.hasSample)
            sqlite3_bind_int64(upsert.st, 9, static_cast<sqlite3_int64>(e.sample));
        else
            sqlite3_bind_null(upsert.st, 9);
        const int step = sqlite3_step(upsert.st);
        if (step != SQLITE_DONE)
            rc = step;
        sqlite3_reset(upsert.st);
    }
    if (rc == SQLITE_OK && !exec("COMMIT"))
        rc = lastError_;
    if (rc != SQLITE_OK)
        exec("ROLLBACK");
    return rc;
}

bool FingerprintCache::toDigest(const std::string& hex, unsigned char (&out)[16]) {
    return toBytes(hex, out);
}

void FingerprintCache::store(const std::vector<std::pair<Key, Entry>>& batch) {
    std::vector<std::pair<Key, Digests>> digests(batch.size());
    for (size_t i = 0; i < batch.size(); ++i) {
        digests[i].first = batch[i].first;
        digests[i].second.hasFull = toBytes(batch[i].second.full, digests[i].second.full);
        digests[i].second.hasPartial = toBytes(batch[i].second.partial, digests[i].second.partial);
    }
    store(digests);
}

void FingerprintCache::store(const std::vector<std::pair<Key, Digests>>& batch) {
    if (!writable() || batch.empty())
        return;
    int rc = writeBatch(batch);
    if ((rc & 0xff) == SQLITE_FULL && trim())
        rc = writeBatch(batch);
    if (rc == SQLITE_OK)
        return;
    if (isDamage(rc))
        fail(rc);
    else
        readOnly_ = true; // locked, read-only or full: lookups go on, storing ends
}

bool FingerprintCache::clear(const std::string& path) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, 2000);
        rc = sqlite3_exec(db, "DELETE FROM fingerprints", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            // Give the space back; another program reading at the moment only delays it.
            sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
            sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        }
    }
    sqlite3_close_v2(db);
    if (rc == SQLITE_OK)
        return true;
    if (!isDamage(rc) && (rc & 0xff) != SQLITE_ERROR)
        return false; // locked or read-only: the rows stay
    // Not a cache this program can read: the file goes.
    removeDatabaseFiles(path);
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace pelidor
