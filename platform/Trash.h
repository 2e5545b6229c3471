// The user's trash, following the freedesktop.org Trash standard: the home trash
// ($XDG_DATA_HOME/Trash) for items on the home trash's file system, and a trash at
// the top of every other file system ($topdir/.Trash/$uid when the administrator
// made a shared, sticky $topdir/.Trash, else $topdir/.Trash-$uid).
#pragma once

#include <string>

namespace pelidor::platform {

struct TrashedItem {
    std::string trashDir;    // the trash folder used (it holds files/ and info/)
    std::string trashedPath; // where the item now is: <trashDir>/files/<name>
    std::string infoPath;    // its record: <trashDir>/info/<name>.trashinfo
};

// Moves a file, a folder or a symbolic link (the link itself, never its target)
// into the trash of the file system it lives on and writes its .trashinfo record
// (original path, deletion time). A name already in the trash gets a number
// ("photo.2.jpg"). The item is renamed, never copied: when no trash on its own file
// system can be used, nothing changes and the result is false with `error` set.
// A relative path is taken from the current folder.
bool moveToTrash(const std::string& path, TrashedItem* item = nullptr, int* error = nullptr);

// The text a .trashinfo file stores for a path: every byte except the unreserved
// URI characters and "/" written as %XX.
std::string trashInfoEscape(const std::string& path);

} // namespace pelidor::platform
