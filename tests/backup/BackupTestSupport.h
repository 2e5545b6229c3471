// Shared pieces of the backup tests: reading files and folders back, file modes and
// times, a file size limit that makes writes fail as on a full disk, and the
// independent readers of ZIP files (Python's zipfile, unzip) run as programs.
#pragma once

#include "backup/BackupArchive.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace pelidor::backup_test {

using test::pathExists;
using test::readAll;

inline void writeAll(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

using test::folderNames;

// Sets mode bits and the modification time (whole seconds) of a file.
inline void setModeAndTime(const std::string& path, mode_t mode, int64_t mtime) {
    const timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    ::chmod(path.c_str(), mode);
}

using test::FileSizeLimit;

struct CommandResult {
    int status = -1; // exit status, -1 when it could not run
    std::string output;
};

// Runs a shell command line and collects its standard output.
inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

inline bool haveProgram(const char* name) {
    return runCommand(std::string("command -v ") + name + " >/dev/null 2>&1").status == 0;
}

inline std::string toHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

inline std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// One entry as Python's zipfile reads it.
struct PyEntry {
    std::string name; // raw bytes
    int flags = 0;
    int method = 0;
    std::string dosTime; // "Y-M-D-h-m-s"
    uint32_t mode = 0;
    int system = 0;
    int64_t size = 0;
    int64_t utTime = -1;
    std::string data;
};
struct PyArchive {
    bool readable = false; // a ZIP file to Python
    bool intact = false;   // testzip() found no bad entry
    std::vector<PyEntry> entries;
};

inline PyArchive inspectWithPython(const std::string& archive) {
    PyArchive result;
    const CommandResult run = runCommand("python3 " + shellQuote(PELIDOR_INSPECT_ZIP) + " " +
                                         shellQuote(archive) + " 2>/dev/null");
    if (run.status != 0)
        return result;
    result.readable = true;
    std::istringstream lines(run.output);
    std::string line;
    std::getline(lines, line);
    result.intact = line == "ok";
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        PyEntry e;
        std::string nameHex, dataHex;
        in >> nameHex >> e.flags >> e.method >> e.dosTime >> e.mode >> e.system >> e.size >>
            e.utTime >> dataHex;
        e.name = fromHex(nameHex);
        e.data = dataHex == "-" ? std::string() : fromHex(dataHex);
        result.entries.push_back(e);
    }
    return result;
}

// "Y-M-D-h-m-s" of a Unix time in UTC (the tests run with TZ=UTC), as zipfile shows it.
inline std::string dosTimeText(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    ::gmtime_r(&t, &parts);
    std::ostringstream out;
    out << parts.tm_year + 1900 << '-' << parts.tm_mon + 1 << '-' << parts.tm_mday << '-'
        << parts.tm_hour << '-' << parts.tm_min << '-' << parts.tm_sec;
    return out.str();
}

// unzip's own integrity test of every entry.
inline bool unzipTestPasses(const std::string& archive) {
    return runCommand("unzip -tqq " + shellQuote(archive) + " >/dev/null 2>&1").status == 0;
}

// Skips the test when an independent reader is missing.
#define PELIDOR_REQUIRE_READERS()                                                                  \
    do {                                                                                           \
        if (!::pelidor::backup_test::haveProgram("python3") ||                                     \
            !::pelidor::backup_test::haveProgram("unzip"))                                         \
            GTEST_SKIP() << "python3 and unzip are needed to check archives independently";        \
    } while (false)

} // namespace pelidor::backup_test
