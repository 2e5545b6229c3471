// Mounts for tests that need a file system arrangement of their own (a bind mount, a
// pseudo file system in an odd place), made in a mount namespace of this process so
// that nothing outside the test sees them, and undone when the object goes away.
//
// Call only while the program runs no other thread: a process with several threads
// cannot enter a namespace of its own. Where the system does not allow it (no root
// rights, no namespaces) mounted() is false and error() says why; the test then skips.
#pragma once

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace pelidor::test {

class PrivateMount {
public:
    // Mounts a file system of `type` (tmpfs, proc, sysfs...) at `at`.
    static PrivateMount fileSystem(const std::string& type, const std::string& at,
                                   const std::string& options = {}) {
        return PrivateMount(("pelidor-test-" + type).c_str(), at, type.c_str(), 0,
                            options.empty() ? nullptr : options.c_str());
    }
    // Makes the folder `source` appear at `at` as well; `recursive`: with the mounts
    // below it.
    static PrivateMount bind(const std::string& source, const std::string& at,
                             bool recursive = false) {
        return PrivateMount(source.c_str(), at, nullptr, MS_BIND | (recursive ? MS_REC : 0),
                            nullptr);
    }

    PrivateMount(PrivateMount&& other) noexcept
        : at_(std::move(other.at_)), mounted_(other.mounted_), error_(other.error_) {
        other.mounted_ = false;
    }
    PrivateMount& operator=(PrivateMount&&) = delete;
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;
    ~PrivateMount() { unmount(); }

    bool mounted() const { return mounted_; }
    std::string error() const { return "cannot mount at " + at_ + ": " + std::strerror(error_); }
    void unmount() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
        mounted_ = false;
    }

private:
    PrivateMount(const char* source, const std::string& at, const char* type, unsigned long flags,
                 const char* options)
        : at_(at) {
        error_ = privateNamespace();
        if (error_ != 0)
            return;
        if (::mount(source, at.c_str(), type, flags, options) != 0) {
            error_ = errno;
            return;
        }
        mounted_ = true;
    }

    // Enters a mount namespace of this process once; 0 or the reason it failed.
    static int privateNamespace() {
        static const int result = [] {
            if (::unshare(CLONE_NEWNS) != 0)
                return errno;
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return errno;
            return 0;
        }();
        return result;
    }

    std::string at_;
    bool mounted_ = false;
    int error_ = 0;
};

} // namespace pelidor::test
