// Restoring a backup archive through libzip.
#include "backup/ArchiveFiles.h"
#include "backup/BackupArchive.h"

#include "platform/FileOps.h"

#include <zip.h>

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <vector>

namespace pelidor::backup {
namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;
constexpr size_t kChunk = size_t(256) << 10;

// The modification time of an entry: the extended timestamp (seconds, UTC) when the
// entry carries one with a modification time, else the DOS field (local time).
bool entryTime(zip_t* za, zip_uint64_t index, const zip_stat_t& st, int64_t& seconds) {
    for (const zip_flags_t where : {zip_flags_t(ZIP_FL_CENTRAL), zip_flags_t(ZIP_FL_LOCAL)}) {
        zip_uint16_t length = 0;
        const zip_uint8_t* field =
            zip_file_extra_field_get_by_id(za, index, kExtendedTimestamp, 0, &length, where);
        if (field != nullptr && length >= 5 && (field[0] & 1) != 0) {
            const uint32_t u = uint32_t(field[1]) | uint32_t(field[2]) << 8 |
                               uint32_t(field[3]) << 16 | uint32_t(field[4]) << 24;
            seconds = static_cast<int32_t>(u);
            return true;
        }
    }
    if ((st.valid & ZIP_STAT_MTIME) != 0) {
        seconds = static_cast<int64_t>(st.mtime);
        return true;
    }
    return false;
}

// The permission bits to give the file, or false when the entry is not a file.
bool entryMode(zip_t* za, zip_uint64_t index, const std::string& name, uint32_t& mode) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0)
        attributes = 0;
    if (opsys == ZIP_OPSYS_UNIX && (attributes >> 16) != 0) {
        const uint32_t unixMode = attributes >> 16;
        const uint32_t type = unixMode & S_IFMT;
        if (type != 0 && type != S_IFREG)
            return false;
        // Set-ID and sticky bits do not come back from an archive.
        mode = unixMode & 0777;
        return true;
    }
    // DOS attributes: folder 0x10, read-only 0x01.
    if ((attributes & 0x10) != 0 || (!name.empty() && name.back() == '/'))
        return false;
    mode = (attributes & 0x01) != 0 ? 0444 : 0644;
    return true;
}

RestoreProblem problemInTheWay(const PathInfo& info) {
    switch (info.kind) {
    case PathKind::Symlink:
        return RestoreProblem::LinkInTheWay;
    case PathKind::Directory:
        return RestoreProblem::FolderInTheWay;
    default:
        return RestoreProblem::SpecialInTheWay;
    }
}

} // namespace

RestoreReport RestoreBackupArchive(const std::string& archivePath,
                                   const ReplaceQuestion& askReplace) {
    RestoreReport report;
    const auto archiveFailure = [&](RestoreProblem problem, int code) {
        report.failures.push_back({archivePath, problem, code});
        return report;
    };

    // libzip opens by name and would follow a link or wait on a pipe: only a regular
    // file is read.
    const PathInfo archive = lookAtPath(archivePath);
    if (archive.kind == PathKind::Missing)
        return archiveFailure(RestoreProblem::SystemError, ENOENT);
    if (archive.kind == PathKind::Unknown)
        return archiveFailure(RestoreProblem::SystemError, archive.error);
    if (archive.kind != PathKind::RegularFile)
        return archiveFailure(RestoreProblem::BadArchive, 0);
    // libzip takes an empty file for an empty archive; the writer never makes one.
    int64_t archiveSize = 0;
    if (!platform::fileSize(archivePath, archiveSize) || archiveSize == 0)
        return archiveFailure(RestoreProblem::BadArchive, 0);

    int openError = 0;
    zip_t* za = zip_open(archivePath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError);
    if (za == nullptr) {
        if (openError == ZIP_ER_OPEN || openError == ZIP_ER_READ || openError == ZIP_ER_SEEK)
            return archiveFailure(RestoreProblem::SystemError, errno != 0 ? errno : EIO);
        return archiveFailure(RestoreProblem::BadArchive, 0);
    }
    struct ArchiveGuard {
        zip_t* za;
        ~ArchiveGuard() { zip_discard(za); }
    } guard{za};

    const zip_int64_t count = zip_get_num_entries(za, 0);
    report.entries = count > 0 ? static_cast<size_t>(count) : 0;
    std::vector<unsigned char> buffer(kChunk);

    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(za, index, ZIP_FL_ENC_RAW);
        const std::string name = rawName != nullptr ? rawName : std::string();
        const auto failure = [&](RestoreProblem problem, int code = 0) {
            report.failures.push_back({name, problem, code});
        };
        if (rawName == nullptr) {
            failure(RestoreProblem::Damaged);
            continue;
        }
        if (!IsSafeArchivePath(name)) {
            failure(RestoreProblem::UnsafeName);
            continue;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        uint32_t mode = 0644;
        if (zip_stat_index(za, index, 0, &st) != 0) {
            failure(RestoreProblem::Damaged);
            continue;
        }
        if (!entryMode(za, index, name, mode)) {
            failure(RestoreProblem::NotAFile);
            continue;
        }
        int64_t mtime = 0;
        const bool haveTime = entryTime(za, index, st, mtime);

        const size_t slash = name.rfind('/');
        const std::string folder = slash == 0 ? std::string("/") : name.substr(0, slash);
        const std::string base = name.substr(slash + 1);

        // What is at the destination decides whether to ask, to write or to refuse.
        bool replace = false;
        const PathInfo there = lookAtPath(name);
        if (there.kind == PathKind::RegularFile) {
            if ((there.mode & S_IWUSR) == 0) {
                failure(RestoreProblem::ReadOnlyInTheWay);
                continue;
            }
            if (!askReplace || !askReplace(name)) {
                ++report.declined;
                continue;
            }
            replace = true;
        } else if (there.kind == PathKind::Unknown) {
            if (there.error != ENOTDIR) {
                failure(RestoreProblem::SystemError, there.error);
                continue;
            }
            // A file where a folder should be: makeFolderPath says so below.
        } else if (there.kind != PathKind::Missing) {
            failure(problemInTheWay(there));
            continue;
        }

        int code = 0;
        if (!makeFolderPath(folder, &code)) {
            failure(RestoreProblem::SystemError, code);
            continue;
        }
        PendingFile out;
        if (!out.create(folder, "pelidor-restore", &code)) {
            failure(RestoreProblem::SystemError, code);
            continue;
        }
        zip_file_t* zf = zip_fopen_index(za, index, 0);
        if (zf == nullptr) {
            failure(RestoreProblem::Damaged);
            continue;
        }
        bool ok = true;
        zip_uint64_t total = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(zf, buffer.data(), buffer.size());
            if (n < 0) {
                failure(RestoreProblem::Damaged);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            if (!out.write(buffer.data(), static_cast<size_t>(n), &code)) {
                failure(RestoreProblem::SystemError, code);
                ok = false;
                break;
            }
            total += static_cast<zip_uint64_t>(n);
        }
        zip_fclose(zf);
        if (!ok)
            continue;
        if ((st.valid & ZIP_STAT_SIZE) != 0 && total != st.size) {
            failure(RestoreProblem::Damaged);
            continue;
        }
        out.setFinalMode(mode);
        if (haveTime)
            out.setFinalTime(mtime, 0);
        if (!out.finish(&code) || !out.publish(base, replace, &code)) {
            if (code == EISDIR)
                failure(RestoreProblem::FolderInTheWay);
            else
                failure(RestoreProblem::SystemError, code);
            continue;
        }
        ++report.written;
    }
    return report;
}

} // namespace pelidor::backup
