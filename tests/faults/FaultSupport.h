// Small helpers shared by the fault tests: whole-file reads, what a folder holds, and a
// private tmpfs mount for faults that need a file system of their own (full or
// read-only), which also stop root.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

#include "tests/support/TempTree.h"

namespace pelidor::fault_test {

using test::isFolder;
using test::pathExists;
using test::readAll;

// The names in a folder that start with "." (temporary files are hidden).
inline std::vector<std::string> hiddenNames(const std::string& folder) {
    std::vector<std::string> out;
    for (const std::string& name : test::folderNames(folder))
        if (!name.empty() && name[0] == '.')
            out.push_back(name);
    return out;
}

// A tmpfs of `bytes` mounted at `at` in a mount namespace of this process (so nothing
// outside the test sees it), unmounted again when the object goes away. mounted() is
// false, with the reason in error(), where the system does not allow it (no root
// rights, no namespaces); the caller then skips or falls back.
class PrivateTmpfs {
public:
    PrivateTmpfs(const std::string& at, long bytes) : at_(at) {
        static const int unshared = [] {
            if (::unshare(CLONE_NEWNS) != 0)
                return errno;
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return errno;
            return 0;
        }();
        error_ = unshared;
        if (error_ != 0)
            return;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("pelidor-fault-test", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            error_ = errno;
            return;
        }
        mounted_ = true;
    }
    ~PrivateTmpfs() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    PrivateTmpfs(const PrivateTmpfs&) = delete;
    PrivateTmpfs& operator=(const PrivateTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    std::string error() const { return std::strerror(error_); }
    // Makes the file system read-only (true on success).
    bool makeReadOnly() const {
        return mounted_ &&
               ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string at_;
    bool mounted_ = false;
    int error_ = 0;
};

} // namespace pelidor::fault_test
