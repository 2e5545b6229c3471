// A file system of a chosen type (btrfs, xfs) made in an image file and mounted through
// a loop device, in a mount namespace of this process so that nothing outside the test
// sees it; it goes when the object goes (the loop device frees itself once unmounted).
// Where the machine does not allow it (no mkfs program, no loop devices, no root
// rights) mounted() is false and reason() says why; the test then skips with it.
//
// Create it only while the program runs no other thread (a process with several
// threads cannot enter a mount namespace of its own).
#pragma once

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pelidor::test {

class LoopMount {
public:
    // Makes an image of `megabytes` at `image`, formats it with mkfs.<type> and mounts
    // it at the folder `at` (created when missing).
    LoopMount(const std::string& type, const std::string& image, const std::string& at,
              int megabytes = 320)
        : at_(at) {
        const std::string mkfs = findProgram("mkfs." + type);
        if (mkfs.empty()) {
            reason_ = "mkfs." + type + " is not installed (Debian: " +
                      (type == "xfs" ? "xfsprogs" : type + "-progs") + ")";
            return;
        }
        const int img = ::open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (img < 0 || ::ftruncate(img, off_t(megabytes) * 1024 * 1024) != 0) {
            reason_ = "cannot make the image " + image + ": " + std::strerror(errno);
            if (img >= 0)
                ::close(img);
            return;
        }
        ::close(img);
        if (!run({mkfs, "-q", image})) {
            reason_ = mkfs + " failed on " + image;
            return;
        }
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            reason_ = std::string("no mount namespace of our own: ") + std::strerror(errno);
            return;
        }
        ::mkdir(at.c_str(), 0755);
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        if (control < 0) {
            reason_ = std::string("no loop devices: /dev/loop-control: ") + std::strerror(errno);
            return;
        }
        int error = 0;
        for (int attempt = 0; attempt < 8 && !mounted_; ++attempt) {
            const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0) {
                error = errno;
                break;
            }
            const std::string device = "/dev/loop" + std::to_string(number);
            const int loop = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
            if (loop < 0) {
                error = errno;
                break;
            }
            const int file = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
            loop_config config{};
            config.fd = uint32_t(file);
            config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
            const bool attached = file >= 0 && ::ioctl(loop, LOOP_CONFIGURE, &config) == 0;
            error = errno;
            if (file >= 0)
                ::close(file);
            if (attached) {
                if (::mount(device.c_str(), at.c_str(), type.c_str(), 0, nullptr) == 0)
                    mounted_ = true;
                else
                    error = errno;
            }
            ::close(loop); // the loop device is freed with its last user
            if (!attached && error != EBUSY)
                break;
            if (attached && !mounted_)
                break;
        }
        ::close(control);
        if (!mounted_)
            reason_ =
                "cannot mount a " + type + " image through a loop device: " + std::strerror(error);
    }
    ~LoopMount() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }

private:
    static std::string findProgram(const std::string& name) {
        std::vector<std::string> folders = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
        if (const char* path = std::getenv("PATH"))
            for (std::string rest = path; !rest.empty();) {
                const size_t colon = rest.find(':');
                folders.push_back(rest.substr(0, colon));
                rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
            }
        for (const std::string& folder : folders) {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        return {};
    }
    // Runs a program with its output thrown away; true when it ended with 0.
    static bool run(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return false;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string at_;
    bool mounted_ = false;
    std::string reason_;
};

} // namespace pelidor::test
