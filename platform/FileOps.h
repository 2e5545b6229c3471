// Small file operations behind the program's shared routines: existence, locks,
// the read-only flag, deletion and sizes. Paths are byte strings as the file
// system stores them, of any length: a path longer than the system's limit is
// reached through its folder, opened one level at a time. Every operation reports
// failure through its result.
#pragma once

#include <cstdint>
#include <string>

namespace pelidor::platform {

// True when something exists at the path; a symbolic link counts as itself, so a
// dangling link exists too.
bool pathExists(const std::string& path);

// True when the path names a regular file, not through a final symbolic link.
bool isRegularFile(const std::string& path);

// The stand-in for clearing a file's attributes: adds the owner-write permission
// ("not read-only"). A final symbolic link is left alone (its target is not
// touched); errors are ignored.
void addOwnerWrite(const std::string& path);

// True when a regular file exists at the path and cannot be opened for reading and
// writing, or another open file holds a lock on it so that it cannot be locked
// exclusively at this moment. Anything that is not a regular file is not locked, and
// neither is a file on a file system that has no locks.
bool isFileLocked(const std::string& path);

// Removes a file or a symbolic link (never its target, never a folder).
bool removeFile(const std::string& path, int* error = nullptr);

// Removes a file, a link or a whole folder tree without following any link;
// folders inside are made writable for their owner on the way.
bool removeTree(const std::string& path, int* error = nullptr);

// The size of the file at the path (a final link followed): its byte count for a
// regular file, 0 for anything else. False when nothing is there.
bool fileSize(const std::string& path, int64_t& size);

// True when both paths (final links followed) name the same file.
bool sameFile(const std::string& a, const std::string& b);

} // namespace pelidor::platform
