#include "platform/Trash.h"

#include "platform/Environment.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelidor::platform {
namespace {

// Longest trash name: ".trashinfo" must still fit into one file-name component.
constexpr size_t kMaxTrashName = NAME_MAX - 10;

void setError(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

std::string parentOf(const std::string& path) {
    const auto pos = path.rfind('/');
    if (pos == std::string::npos)
        return ".";
    return pos == 0 ? std::string("/") : path.substr(0, pos);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Creates the folder and its missing parents with mode 0700.
bool makeFolders(const std::string& path, int* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return true;
    const std::string parent = parentOf(path);
    if (parent != path && parent != "/" && parent != "." && !makeFolders(parent, error))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, errno);
        return false;
    }
    return true;
}

// A folder that exists (created when missing), is not a link and belongs to the
// current user.
bool ensurePrivateFolder(const std::string& path, int* error) {
    if (!makeFolders(path, error))
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        setError(error, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(error, ENOTDIR);
        return false;
    }
    if (st.st_uid != ::getuid() && ::getuid() != 0) {
        setError(error, EACCES);
        return false;
    }
    return true;
}

// The device of the nearest existing folder on the way to `path`.
bool deviceOfNearest(std::string path, dev_t& device) {
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (path == "/" || path == ".")
            return false;
        path = parentOf(path);
    }
}

// The top folder of the file system that holds `folder` (a canonical path).
std::string mountTop(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::string parent = parentOf(folder);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            break;
        folder = parent;
    }
    return folder;
}

bool trashFolderReady(const std::string& trash, int* error) {
    return ensurePrivateFolder(trash, error) && ensurePrivateFolder(trash + "/files", error) &&
           ensurePrivateFolder(trash + "/info", error);
}

// The trash of the file system below `top`: the shared $top/.Trash/$uid when the
// administrator set one up (a real, sticky folder), else $top/.Trash-$uid.
bool topTrash(const std::string& top, std::string& trash, int* error) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = join(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        trash = shared + "/" + uid;
        int ignored = 0;
        if (trashFolderReady(trash, &ignored))
            return true;
    }
    trash = join(top, ".Trash-" + uid);
    return trashFolderReady(trash, error);
}

// The name under which the item is stored: its own name, then "stem.2.ext", ...
std::string trashName(const std::string& base, int number) {
    std::string stem = base;
    std::string ext;
    const auto dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0 && base.size() - dot <= 16) {
        stem = base.substr(0, dot);
        ext = base.substr(dot);
    }
    const std::string suffix = number > 1 ? "." + std::to_string(number) : std::string();
    if (stem.size() + suffix.size() + ext.size() > kMaxTrashName) {
        size_t keep = kMaxTrashName > suffix.size() + ext.size()
                          ? kMaxTrashName - suffix.size() - ext.size()
                          : 1;
        // Never cut a UTF-8 sequence in half.
        while (keep > 1 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem.resize(keep);
    }
    return stem + suffix + ext;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = {};
    if (::localtime_r(&now, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        return "1970-01-01T00:00:00";
    return text;
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string trashInfoEscape(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                          c == '!' || c == '~' || c == '*' || c == '\'' || c == '(' || c == ')';
        if (keep) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

bool moveToTrash(const std::string& path, TrashedItem* item, int* error) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        setError(error, EINVAL);
        return false;
    }
    // The item's folder is resolved; the item itself (maybe a link) is not.
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    const std::string base = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        setError(error, EINVAL);
        return false;
    }
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : trimmed.substr(0, slash);
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr) {
        setError(error, errno);
        return false;
    }
    const std::string parent = real;
    std::free(real);
    const std::string source = join(parent, base);

    struct stat itemStat {};
    struct stat parentStat {};
    if (::lstat(source.c_str(), &itemStat) != 0 || ::stat(parent.c_str(), &parentStat) != 0) {
        setError(error, errno);
        return false;
    }
    if (itemStat.st_dev != parentStat.st_dev) {
        // A mount point: it cannot be renamed into any trash.
        setError(error, EXDEV);
        return false;
    }

    // Pick the trash on the item's own file system.
    std::string trash;
    std::string recordedPath = source;
    const std::string home = homeTrashDir();
    dev_t homeDevice = 0;
    if (!home.empty() && home[0] == '/' && deviceOfNearest(home, homeDevice) &&
        homeDevice == itemStat.st_dev) {
        trash = home;
        if (!trashFolderReady(trash, error))
            return false;
    } else {
        const std::string top = mountTop(parent, parentStat.st_dev);
        if (!topTrash(top, trash, error))
            return false;
        // Paths in a file system's own trash are recorded relative to its top.
        recordedPath = top == "/" ? source.substr(1) : source.substr(top.size() + 1);
    }

    const std::string record = "[Trash Info]\nPath=" + trashInfoEscape(recordedPath) +
                               "\nDeletionDate=" + deletionDate() + "\n";
    for (int number = 1; number < 100000; ++number) {
        const std::string name = trashName(base, number);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const std::string target = trash + "/files/" + name;
        // The record is created first and exclusively: it reserves the name.
        const int fd =
            ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            setError(error, errno);
            return false;
        }
        const bool written = writeAll(fd, record);
        const int writeError = errno;
        if (::close(fd) != 0 || !written) {
            setError(error, written ? EIO : writeError);
            ::unlink(info.c_str());
            return false;
        }
        int moveError = 0;
        if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
            0) {
            moveError = 0;
        } else {
            moveError = errno;
            if (moveError == EINVAL || moveError == ENOSYS) {
                // A file system without "no replace" renames: test, then rename.
                struct stat existing {};
                if (::lstat(target.c_str(), &existing) == 0)
                    moveError = EEXIST;
                else
                    moveError = ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
            }
        }
        if (moveError == 0) {
            if (item != nullptr)
                *item = TrashedItem{trash, target, info};
            return true;
        }
        ::unlink(info.c_str());
        if (moveError != EEXIST) {
            setError(error, moveError);
            return false;
        }
    }
    setError(error, EEXIST);
    return false;
}

} // namespace pelidor::platform
