// Archive names, the listing of a backup folder and the deletion of archives.
#include "backup/BackupArchive.h"

#include "config/uAppConfig.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "shell/SharedHelpers.h"

#include <charconv>
#include <string_view>

namespace pelidor::backup {
namespace {

constexpr std::string_view kPrefix = "Qdx";
constexpr std::string_view kSuffix = ".bak";

} // namespace

std::string BackupArchiveName(const std::string& backPath, double now,
                              const std::string& decimalSeparator) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, now, std::chars_format::fixed, 8);
    std::string number(buffer, result.ec == std::errc() ? result.ptr : buffer);
    if (const auto dot = number.find('.'); dot != std::string::npos)
        number.replace(dot, 1, decimalSeparator.empty() ? std::string(".") : decimalSeparator);
    return platform::withTrailingSep(backPath, '/') + std::string(kPrefix) + number +
           std::string(kSuffix);
}

bool ParseBackupArchiveName(const std::string& fileName, const std::string& decimalSeparator,
                            double& dateTime) {
    const std::string_view name = fileName;
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.substr(0, 3) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix)
        return false;
    const std::string number(name.substr(kPrefix.size(), name.size() - 7));
    // The number parser forgives blanks around the number; a file name does not.
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    if (isBlank(number.front()) || isBlank(number.back()))
        return false;
    double value = 0;
    if (!ParseDateTimeValue(number, decimalSeparator, value))
        return false;
    platform::DateTimeFields fields;
    if (!platform::decodeDateTime(value, fields))
        return false;
    dateTime = value;
    return true;
}

std::vector<BackupArchiveInfo> ListBackupArchives(const std::string& folder,
                                                  const std::string& decimalSeparator) {
    std::vector<BackupArchiveInfo> result;
    if (folder.empty())
        return result;
    const platform::Directory dir = platform::Directory::open(folder);
    std::vector<platform::RawDirEntry> entries;
    if (!dir.valid() || !dir.list(entries))
        return result;
    const std::string base = platform::withTrailingSep(folder, '/');
    for (const platform::RawDirEntry& entry : entries) {
        if (entry.name.empty() || entry.name.front() == '.' ||
            entry.kind == platform::EntryKind::Directory)
            continue;
        double when = 0;
        if (!ParseBackupArchiveName(entry.name, decimalSeparator, when))
            continue;
        platform::FileStatus st;
        if (!dir.statChild(entry.name, st) || st.kind != platform::EntryKind::Regular)
            continue;
        result.push_back({entry.name, base + entry.name, when, st.size});
    }
    return result;
}

bool DeleteBackupArchive(const std::string& path, int* error) {
    return ForceDeleteFile(path, error);
}

bool IsSafeArchivePath(const std::string& name) {
    if (name.empty() || name.front() != '/' || name.find('\0') != std::string::npos)
        return false;
    size_t start = 1;
    for (;;) {
        const size_t end = name.find('/', start);
        const std::string_view part = std::string_view(name).substr(
            start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

} // namespace pelidor::backup
