// Handing a file to the desktop: opening it with its program, showing it in the file
// manager, asking the file manager for its properties.
//
// The file manager is reached through the freedesktop interface
// org.freedesktop.FileManager1 on the session bus (DBUS_SESSION_BUS_ADDRESS, read at
// each call). Each call waits at most kFileManagerTimeoutMs for the answer; without a
// bus, or when no file manager owns (or can be started for) the name, the call fails at
// once. Addresses are opened through QDesktopServices::openUrl, so a handler set with
// QDesktopServices::setUrlHandler("file", ...) receives them instead of the desktop.
//
// Paths are byte strings as the file system stores them; names that are not UTF-8 are
// passed on with their bytes percent-encoded.
#pragma once

#include <QByteArray>
#include <QUrl>

#include <string>

namespace pelidor {

inline constexpr int kFileManagerTimeoutMs = 3000;

// The file:// address of an absolute path, byte for byte (a relative path counts from
// the current folder).
QUrl LocalFileUrl(const std::string& path);
// The same in its encoded form, as the file manager interface takes it.
QByteArray LocalFileUri(const std::string& path);

// Asks the file manager to open a window with the file selected (ShowItems). True when
// a file manager accepted the call.
bool ShowItems(const std::string& path);
// Asks the file manager to show the file's properties (ShowItemProperties). True when a
// file manager accepted the call.
bool ShowItemProperties(const std::string& path);

// ShowItems, or, when no file manager accepted it, opens the folder that holds the file.
// True when the file manager took the call.
bool ShowInFolder(const std::string& path);

// Opens the file with the program the desktop associates with it. False when the
// desktop could not be asked.
bool OpenWithAssociatedProgram(const std::string& path);

} // namespace pelidor
