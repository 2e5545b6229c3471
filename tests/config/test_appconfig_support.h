// Helpers of the settings-store tests: environment changes undone at the end of a test,
// a file-size limit that makes writes fail as on a full disk, whole-file reads.
#pragma once

#include "tests/support/TempTree.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "tests/support/EnvGuard.h"
#include "tests/support/FileSizeLimit.h"

namespace pelidor::settings_test {

using ScopedEnv = pelidor::test::EnvGuard;

using test::FileSizeLimit;
using test::readAll;

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
