// The mounted local disks: what stands in for the fixed drives C: to Z: of a Windows
// system. A local disk is a file system backed by a block device (not a loop device),
// that is neither removable media (mounted under /media or /run/media), nor a network,
// pseudo, optical or compressed read-only image (squashfs) file system, nor a boot
// partition. Each is named by its mount point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelidor::platform {

// The mount points of the local disks listed in Mountinfo, text in the format of
// /proc/self/mountinfo: "/" first, then the others sorted byte by byte. A mount point
// mounted over by a later line counts as that later mount; the same part of one file
// system mounted at several places is listed once, at its first mount point. Octal
// escapes of the mount point (\040 for a blank) are decoded. Lines that do not parse
// are skipped.
std::vector<std::string> localDiskMountPoints(const std::string& Mountinfo);

// The same for this system (/proc/self/mountinfo), keeping only mount points that are
// folders (bind mounts of single files are left out). Empty when the table cannot be
// read.
std::vector<std::string> localDiskMountPoints();

// True for the type names of the kernel's pseudo file systems (proc, sysfs, devtmpfs,
// devpts, cgroup, cgroup2, debugfs, tracefs, securityfs, pstore, bpf, configfs,
// fusectl, mqueue, hugetlbfs, autofs and the like): folders that show the system's
// state rather than files.
bool isPseudoFileSystemType(std::string_view fsType);

// The device numbers (as stat reports them) of every pseudo file system listed in
// Mountinfo, text in the format of /proc/self/mountinfo, sorted, each once.
std::vector<uint64_t> pseudoFileSystemDevices(const std::string& Mountinfo);

// The same for this process's mounts; empty when the table cannot be read.
std::vector<uint64_t> pseudoFileSystemDevices();

} // namespace pelidor::platform
