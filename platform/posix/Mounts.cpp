#include "platform/Mounts.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <utility>

namespace pelidor::platform {
namespace {

struct MountLine {
    std::string device; // "major:minor"
    std::string root;   // the part of the file system mounted here
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

// Undoes the kernel's octal escapes (\040 blank, \011 tab, \012 line feed, \134 backslash).
std::string unescapeOctal(std::string_view text) {
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && isOctal(text[i + 1]) &&
            isOctal(text[i + 2]) && isOctal(text[i + 3])) {
            const int value =
                (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            if (value > 0 && value < 256) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// "36 35 98:0 /root /mount/point rw,noatime master:1 - ext4 /dev/sda1 rw": the optional
// fields before "-" vary in number.
bool parseLine(const std::string& line, MountLine& out) {
    std::istringstream in(line);
    std::vector<std::string> fields{std::istream_iterator<std::string>(in),
                                    std::istream_iterator<std::string>()};
    if (fields.size() < 10)
        return false;
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-")
        ++dash;
    if (dash + 2 >= fields.size())
        return false;
    out.device = fields[2];
    out.root = unescapeOctal(fields[3]);
    out.mountPoint = unescapeOctal(fields[4]);
    out.fsType = fields[dash + 1];
    out.source = unescapeOctal(fields[dash + 2]);
    return !out.mountPoint.empty() && out.mountPoint[0] == '/';
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// True when Path equals Folder or lies inside it.
bool isUnder(std::string_view path, std::string_view folder) {
    return path == folder ||
           (startsWith(path, folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

bool isLocalDisk(const MountLine& m) {
    // Backed by a block device, but not by a file (loop), memory (ram, zram) or the
    // network (nbd).
    if (!startsWith(m.source, "/dev/"))
        return false;
    for (const char* prefix : {"/dev/loop", "/dev/ram", "/dev/zram", "/dev/nbd", "/dev/sr"})
        if (startsWith(m.source, prefix))
            return false;
    static const std::set<std::string, std::less<>> notDisks = {
        // images and optical media
        "squashfs", "iso9660", "udf", "cramfs", "erofs",
        // network and cluster file systems
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p", "ceph", "glusterfs", "afs",
        "fuse.sshfs", "davfs", "fuse.rclone",
        // memory file systems (pseudo ones are tested below)
        "tmpfs", "ramfs", "overlay", "swap"};
    if (notDisks.count(m.fsType) != 0 || isPseudoFileSystemType(m.fsType))
        return false;
    // Removable media, boot partitions and the system's pseudo trees.
    for (const char* folder : {"/media", "/run/media", "/run", "/boot", "/proc", "/sys", "/dev"})
        if (isUnder(m.mountPoint, folder))
            return false;
    return true;
}

std::string readMountinfo() {
    std::ifstream in("/proc/self/mountinfo");
    if (!in)
        return {};
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

bool isPseudoFileSystemType(std::string_view fsType) {
    static const std::set<std::string, std::less<>> pseudo = {
        "proc",      "sysfs",   "devtmpfs",   "devpts",     "cgroup",   "cgroup2",
        "debugfs",   "tracefs", "securityfs", "pstore",     "bpf",      "configfs",
        "fusectl",   "mqueue",  "hugetlbfs",  "autofs",     "efivarfs", "binfmt_misc",
        "selinuxfs", "smackfs", "nsfs",       "rpc_pipefs", "nfsd",     "resctrl"};
    return pseudo.count(fsType) != 0;
}

std::vector<uint64_t> pseudoFileSystemDevices(const std::string& Mountinfo) {
    std::vector<uint64_t> devices;
    std::istringstream in(Mountinfo);
    std::string text;
    while (std::getline(in, text)) {
        MountLine line;
        if (!parseLine(text, line) || !isPseudoFileSystemType(line.fsType))
            continue;
        unsigned major = 0, minor = 0;
        char colon = 0;
        std::istringstream dev(line.device);
        if (dev >> major >> colon >> minor && colon == ':')
            devices.push_back(makedev(major, minor));
    }
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    return devices;
}

std::vector<uint64_t> pseudoFileSystemDevices() {
    return pseudoFileSystemDevices(readMountinfo());
}

std::vector<std::string> localDiskMountPoints(const std::string& Mountinfo) {
    std::vector<MountLine> lines;
    std::map<std::string, size_t> lastAt; // mount point -> line that mounts it last
    std::istringstream in(Mountinfo);
    std::string text;
    while (std::getline(in, text)) {
        MountLine line;
        if (!parseLine(text, line))
            continue;
        lastAt[line.mountPoint] = lines.size();
        lines.push_back(std::move(line));
    }

    std::vector<std::string> points;
    std::set<std::pair<std::string, std::string>> seen; // (device, root) already listed
    for (size_t i = 0; i < lines.size(); ++i) {
        const MountLine& m = lines[i];
        if (lastAt[m.mountPoint] != i || !isLocalDisk(m))
            continue;
        if (!seen.insert({m.device, m.root}).second)
            continue;
        points.push_back(m.mountPoint);
    }
    std::sort(points.begin(), points.end(), [](const std::string& a, const std::string& b) {
        if (a == "/" || b == "/")
            return a == "/" && b != "/";
        return a < b;
    });
    return points;
}

std::vector<std::string> localDiskMountPoints() {
    const std::string text = readMountinfo();
    if (text.empty())
        return {};
    std::vector<std::string> points = localDiskMountPoints(text);
    std::erase_if(points, [](const std::string& point) {
        struct stat st {};
        return ::stat(point.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
    });
    return points;
}

} // namespace pelidor::platform
