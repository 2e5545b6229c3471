// Writing a backup archive through libzip.
//
// libzip collects the entries and writes the whole archive in zip_close. Two callback
// sources carry the program's rules into that step:
//  - the output source writes into a PendingFile (a hidden temporary file in the
//    backup folder, mode 0600) and finishes it on commit; the archive gets its real
//    name only after zip_close succeeded;
//  - one source per file opens the file when libzip starts reading it (no link
//    followed, regular files only, shared lock), checks that it is still the file
//    that was looked at when the entry was added, and delivers exactly the size
//    promised then: a file that shrank, grew or changed meanwhile fails its entry
//    instead of giving a short or mixed copy.
// When a file's source fails, zip_close fails as a whole and leaves the archive
// object as it was: the entry is then looked at again (a file that changed is tried
// again, a few times) or dropped and reported, and zip_close runs once more.
#include "backup/ArchiveFiles.h"
#include "backup/BackupArchive.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>

namespace pelidor::backup {
namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;
constexpr int kMaxRereads = 3;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

bool sameVersion(const platform::FileStatus& a, const platform::FileStatus& b) {
    return a.kind == b.kind && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.mtimeSec == b.mtimeSec && a.mtimeNsec == b.mtimeNsec;
}

// ---- One file ---------------------------------------------------------------------------

struct EntrySource {
    std::string path;
    size_t order = 0;              // position in the caller's list
    platform::FileStatus expected; // the file as it was looked at
    zip_int64_t index = -1;        // entry in the archive
    int rereads = 0;
    bool dropped = false;

    // State of the current zip_close.
    platform::ReadFile file;
    int64_t delivered = 0;
    bool failed = false;  // this source stopped zip_close
    bool changed = false; // ... because the file is not the one looked at
    int error = 0;
    zip_error_t zerror{};

    void fail(int zipCode, int systemCode, bool fileChanged) {
        failed = true;
        changed = fileChanged;
        error = systemCode;
        zip_error_set(&zerror, zipCode, systemCode);
        file.close();
    }
};

zip_int64_t entryCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto* e = static_cast<EntrySource*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    case ZIP_SOURCE_STAT: {
        auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &e->zerror);
        if (st == nullptr)
            return -1;
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = static_cast<zip_uint64_t>(e->expected.size);
        st->mtime = static_cast<time_t>(e->expected.mtimeSec);
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_OPEN: {
        int code = 0;
        e->file = platform::ReadFile::openShared(e->path, &code);
        if (!e->file.valid()) {
            e->fail(ZIP_ER_OPEN, code, code == ENOENT);
            return -1;
        }
        if (!sameVersion(e->file.openStatus(), e->expected)) {
            e->fail(ZIP_ER_CHANGED, 0, true);
            return -1;
        }
        e->file.adviseSequential();
        e->delivered = 0;
        return 0;
    }
    case ZIP_SOURCE_READ: {
        if (!e->file.valid()) {
            zip_error_set(&e->zerror, ZIP_ER_READ, EBADF);
            return -1;
        }
        const int64_t left = e->expected.size - e->delivered;
        if (left <= 0) {
            // The promised size is read: the file must end here and be unchanged.
            char probe = 0;
            const int64_t more = e->file.readSome(&probe, 1);
            platform::FileStatus now;
            if (more < 0) {
                e->fail(ZIP_ER_READ, errno, false);
                return -1;
            }
            if (more > 0 || !e->file.status(now) || !sameVersion(now, e->expected)) {
                e->fail(ZIP_ER_CHANGED, 0, true);
                return -1;
            }
            return 0;
        }
        const size_t want = static_cast<size_t>(std::min<int64_t>(left, int64_t(length)));
        const int64_t n = e->file.read(data, want);
        if (n < 0) {
            e->fail(ZIP_ER_READ, errno, false);
            return -1;
        }
        if (n == 0) { // shorter than when it was looked at
            e->fail(ZIP_ER_CHANGED, 0, true);
            return -1;
        }
        e->delivered += n;
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        e->file.close();
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&e->zerror, data, length);
    case ZIP_SOURCE_FREE:
        return 0; // owned by the writer
    default:
        zip_error_set(&e->zerror, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// ---- The archive file -------------------------------------------------------------------

struct ArchiveOutput {
    std::string folder;
    PendingFile file;
    int64_t end = 0;        // size written so far
    bool committed = false; // finished, still under the temporary name
    int error = 0;          // errno of the last failure
    zip_error_t zerror{};

    zip_int64_t fail(int zipCode, int code) {
        error = code;
        zip_error_set(&zerror, zipCode, code);
        return -1;
    }
};

zip_int64_t outputCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto* out = static_cast<ArchiveOutput*>(userdata);
    int code = 0;
    switch (cmd) {
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS,
            ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
            ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
    case ZIP_SOURCE_STAT:
        // There is no archive to read yet: libzip starts a new one.
        zip_error_set(&out->zerror, ZIP_ER_READ, ENOENT);
        return -1;
    case ZIP_SOURCE_BEGIN_WRITE:
        out->committed = false;
        out->end = 0;
        if (!out->file.create(out->folder, "pelidor-backup", &code))
            return out->fail(ZIP_ER_TMPOPEN, code);
        return 0;
    case ZIP_SOURCE_WRITE:
        if (!out->file.write(data, static_cast<size_t>(length), &code))
            return out->fail(ZIP_ER_WRITE, code);
        out->end = std::max(out->end, out->file.tell());
        return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE: {
        auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &out->zerror);
        if (args == nullptr)
            return -1;
        int64_t target = args->offset;
        if (args->whence == SEEK_CUR)
            target += out->file.tell();
        else if (args->whence == SEEK_END)
            target += out->end;
        else if (args->whence != SEEK_SET)
            return out->fail(ZIP_ER_INVAL, EINVAL);
        if (!out->file.seek(target, &code))
            return out->fail(ZIP_ER_SEEK, code);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
        return out->file.tell();
    case ZIP_SOURCE_COMMIT_WRITE:
        if (!out->file.finish(&code))
            return out->fail(ZIP_ER_WRITE, code);
        out->committed = true;
        return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
        out->file.discard();
        out->committed = false;
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&out->zerror, data, length);
    case ZIP_SOURCE_FREE:
        return 0; // owned by the writer
    default:
        // Reading is never needed: the archive is always new.
        zip_error_set(&out->zerror, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Mode bits, the extended timestamp and compression of an entry, from `expected`.
bool describeEntry(zip_t* za, const EntrySource& e) {
    const auto index = static_cast<zip_uint64_t>(e.index);
    const zip_uint32_t mode = S_IFREG | (e.expected.mode & 07777);
    if (zip_set_file_compression(za, index, ZIP_CM_DEFLATE, 6) != 0 ||
        zip_file_set_external_attributes(za, index, 0, ZIP_OPSYS_UNIX, mode << 16) != 0)
        return false;
    zip_file_extra_field_delete_by_id(za, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_ALL,
                                      ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
    const int64_t t = e.expected.mtimeSec;
    if (t < 0 || t > INT32_MAX)
        return true; // the field holds 32 bits; the DOS field carries the time alone
    const auto u = static_cast<uint32_t>(t);
    const zip_uint8_t field[5] = {1, zip_uint8_t(u), zip_uint8_t(u >> 8), zip_uint8_t(u >> 16),
                                  zip_uint8_t(u >> 24)};
    return zip_file_extra_field_set(za, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, field,
                                    sizeof field, ZIP_FL_LOCAL | ZIP_FL_CENTRAL) == 0;
}

// The first look at a file: missing (nothing to keep), not storable, or its status.
enum class Look { Missing, Failed, Ok };
Look lookAt(const std::string& path, platform::FileStatus& st, BackupFailure& failure) {
    int code = 0;
    failure.path = path;
    if (!platform::statPath(path, st, &code)) {
        if (code == ENOENT || code == ENOTDIR)
            return Look::Missing;
        failure.problem = BackupProblem::SystemError;
        failure.error = code;
        return Look::Failed;
    }
    if (st.kind != platform::EntryKind::Regular) {
        failure.problem = BackupProblem::NotRegular;
        return Look::Failed;
    }
    // Open it once now: a file that cannot be read should not cost a second pass.
    const platform::ReadFile file = platform::ReadFile::openShared(path, &code);
    if (!file.valid()) {
        if (code == ENOENT)
            return Look::Missing;
        failure.problem = (code == ELOOP || code == EISDIR || code == EINVAL)
                              ? BackupProblem::NotRegular
                              : BackupProblem::SystemError;
        failure.error = code;
        return Look::Failed;
    }
    st = file.openStatus();
    return Look::Ok;
}

} // namespace

BackupReport WriteBackupArchive(const std::string& backPath, const std::vector<std::string>& paths,
                                double now, const std::string& decimalSeparator) {
    BackupReport report;
    std::vector<std::pair<size_t, BackupFailure>> failures;
    std::vector<std::unique_ptr<EntrySource>> entries;

    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        if (!seen.insert(path).second)
            continue;
        if (!IsSafeArchivePath(path)) {
            failures.push_back({i, {path, BackupProblem::NotAbsolute, EINVAL}});
            continue;
        }
        auto e = std::make_unique<EntrySource>();
        BackupFailure failure;
        switch (lookAt(path, e->expected, failure)) {
        case Look::Missing:
            ++report.missing;
            continue;
        case Look::Failed:
            failures.push_back({i, failure});
            continue;
        case Look::Ok:
            break;
        }
        e->path = path;
        e->order = i;
        zip_error_init(&e->zerror);
        entries.push_back(std::move(e));
    }

    const auto finish = [&] {
        std::stable_sort(failures.begin(), failures.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& f : failures)
            report.notBackedUp.push_back(std::move(f.second));
        for (auto& e : entries)
            zip_error_fini(&e->zerror);
        return report;
    };
    const auto archiveFailed = [&](int code) {
        report.archiveFailed = true;
        report.archiveError = code != 0 ? code : EIO;
        report.stored = 0;
        report.archivePath.clear();
        for (const auto& e : entries)
            if (!e->dropped)
                failures.push_back(
                    {e->order, {e->path, BackupProblem::ArchiveFailed, report.archiveError}});
        return finish();
    };

    if (entries.empty())
        return finish();

    ArchiveOutput out;
    out.folder = backPath;
    zip_error_init(&out.zerror);
    struct OutputGuard {
        ArchiveOutput& out;
        ~OutputGuard() {
            out.file.discard();
            zip_error_fini(&out.zerror);
        }
    } outputGuard{out};
    if (backPath.empty())
        return archiveFailed(ENOENT);

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_function_create(outputCallback, &out, &error);
    zip_t* za = target != nullptr ? zip_open_from_source(target, ZIP_CREATE, &error) : nullptr;
    if (za == nullptr) {
        if (target != nullptr)
            zip_source_free(target);
        const int code = zip_error_code_system(&error);
        zip_error_fini(&error);
        return archiveFailed(code);
    }
    zip_error_fini(&error);

    for (auto& e : entries) {
        zip_source_t* source = zip_source_function(za, entryCallback, e.get());
        const zip_flags_t nameFlags = isValidUtf8(e->path) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_GUESS;
        e->index = source != nullptr ? zip_file_add(za, e->path.c_str(), source, nameFlags) : -1;
        if (e->index < 0) {
            if (source != nullptr)
                zip_source_free(source);
            zip_discard(za);
            return archiveFailed(ENOMEM);
        }
        if (!describeEntry(za, *e)) {
            zip_discard(za);
            return archiveFailed(ENOMEM);
        }
    }

    // zip_close writes everything; a file that fails there is dealt with and the
    // archive written again without it (or with its new state).
    for (;;) {
        for (auto& e : entries) {
            e->failed = false;
            e->changed = false;
            e->error = 0;
        }
        if (zip_close(za) == 0) {
            za = nullptr;
            break;
        }
        const auto culprit =
            std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e->failed; });
        if (culprit == entries.end()) {
            // The archive itself: disk full, file too large, no permission...
            const zip_error_t* ze = zip_get_error(za);
            int code = out.error;
            if (code == 0 && zip_error_system_type(ze) == ZIP_ET_SYS)
                code = zip_error_code_system(ze);
            zip_discard(za);
            return archiveFailed(code);
        }
        EntrySource& e = **culprit;
        if (e.changed && e.rereads < kMaxRereads) {
            platform::FileStatus st;
            BackupFailure failure;
            const Look look = lookAt(e.path, st, failure);
            if (look == Look::Ok) {
                ++e.rereads;
                e.expected = st;
                if (!describeEntry(za, e)) {
                    zip_discard(za);
                    return archiveFailed(ENOMEM);
                }
                continue;
            }
            // Gone or unreadable now: it cannot be kept.
            if (look == Look::Missing)
                failure = {e.path, BackupProblem::SystemError, ENOENT};
            failures.push_back({e.order, failure});
        } else if (e.changed) {
            failures.push_back({e.order, {e.path, BackupProblem::KeptChanging, 0}});
        } else {
            failures.push_back({e.order, {e.path, BackupProblem::SystemError, e.error}});
        }
        zip_delete(za, static_cast<zip_uint64_t>(e.index));
        e.dropped = true;
    }

    report.stored = static_cast<size_t>(
        std::count_if(entries.begin(), entries.end(), [](const auto& e) { return !e->dropped; }));
    if (report.stored == 0 || !out.committed)
        return finish(); // nothing stored: no archive

    // The archive is complete: give it its name, never replacing another archive.
    double when = now;
    for (int attempt = 0;; ++attempt) {
        const std::string path = BackupArchiveName(backPath, when, decimalSeparator);
        const std::string name(platform::fileNamePart(path, '/'));
        int code = 0;
        if (out.file.publish(name, false, &code)) {
            report.archivePath = path;
            break;
        }
        if (code != EEXIST || attempt >= 1000)
            return archiveFailed(code);
        when += 1e-8;
    }
    return finish();
}

} // namespace pelidor::backup
