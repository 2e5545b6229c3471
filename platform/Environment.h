// The user's environment and well-known folders (XDG base and user directories).
#pragma once

#include <string>
#include <vector>

namespace pelidor::platform {

// The environment variable's value, or empty text when it is unset.
std::string getEnv(const char* name);

// The user's home folder ($HOME, else the password database).
std::string homeDir();
// $XDG_CONFIG_HOME, default ~/.config (no trailing separator).
std::string configHome();
// $XDG_DATA_HOME, default ~/.local/share.
std::string dataHome();
// $XDG_CACHE_HOME, default ~/.cache.
std::string cacheHome();

// A user directory from $XDG_CONFIG_HOME/user-dirs.dirs ("DESKTOP", "DOCUMENTS",
// "MUSIC", "VIDEOS", "PICTURES", "TEMPLATES", ...), with the usual fallback
// $HOME/<Name> when the file has no such entry. Empty when there is no home.
std::string userDir(const std::string& key);

// The folder of a shell special-folder number (0..60), or empty text when the
// number has no meaning here. No trailing separator.
std::string specialFolder(int csidl);

// The folders the scan never enters by default: the system's programs, add-on
// programs, system configuration and all-users application data. The first three
// carry a trailing separator, the last none.
struct SystemFolders {
    std::string windowsDir;       // /usr/
    std::string programFilesDir;  // /opt/
    std::string programW6432Dir;  // /etc/
    std::string commonAppDataDir; // /var/lib
};
SystemFolders systemFolders();

// Folders that hold the trash of the current user: the home trash and the
// per-volume trash folder names.
std::string homeTrashDir(); // $XDG_DATA_HOME/Trash

// The real user id as text.
std::string userIdText();

} // namespace pelidor::platform
