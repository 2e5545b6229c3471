// Helpers of the settings-store tests: environment changes undone at the end of a test,
// a file-size limit that makes writes fail as on a full disk, whole-file reads.
#pragma once

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "tests/support/EnvGuard.h"

namespace pelidor::settings_test {

using ScopedEnv = pelidor::test::EnvGuard;

// While it lives, no file of this process can grow beyond `bytes` (writes fail with EFBIG
// as they would on a full disk); works for root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes of an ASCII/Latin-1 text (enough to build test files by hand).
inline std::string utf16le(const std::string& latin1) {
    std::string out;
    for (char c : latin1) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

} // namespace pelidor::settings_test
