// Facts about the running system and process: the kernel version, administrator
// rights, the program's own file and the user's private runtime folder.
#pragma once

#include <cstdint>
#include <string>

namespace pelidor::platform {

struct OsVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;  // the third number of the kernel release ("6.1.0-18" gives 0)
    std::string release; // uname's release text, e.g. "6.1.0-18-amd64"
    std::string version; // uname's version text, e.g. "#1 SMP PREEMPT_DYNAMIC Debian ..."
    std::string sysname; // "Linux"
};
// The kernel's version (uname). False when it cannot be read.
bool osVersion(OsVersion& out);

// True when the process runs with administrator rights: its effective user is root.
bool effectiveUserIsRoot();

// The program's own executable file (absolute), or empty text when unknown.
std::string executablePath();

// A folder for the user's sockets and locks that only the user can enter:
// $XDG_RUNTIME_DIR when it is an absolute folder owned by the user with mode 0700,
// else /tmp/pelidor-<uid> (created with mode 0700). Empty text when neither can be
// made safe (for example when someone else owns /tmp/pelidor-<uid>).
std::string privateRuntimeDir();

} // namespace pelidor::platform
