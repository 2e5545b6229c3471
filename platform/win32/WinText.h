// Helpers of the Windows platform layer: the program's UTF-8 text to the system's
// UTF-16 and back, long-path forms and error numbers. Text changes encoding only here.
#pragma once

#include <string>
#include <string_view>

namespace pelidor::platform::win32 {

// UTF-8 to UTF-16. A name that is not valid UTF-16 (a lone surrogate, which NTFS
// allows) arrives from toUtf8 as the generalised UTF-8 form of that surrogate and goes
// back to the same code unit, so every name the system lists can be opened again.
std::wstring toWide(std::string_view text);
// UTF-16 to UTF-8 (lone surrogates kept as described above).
std::string toUtf8(std::wstring_view text);

// The path in the form that lifts the 260-character limit: absolute ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), separators as backslashes, "." and ".." resolved.
// Empty when the path cannot be made absolute.
std::wstring longPath(std::string_view path);
// The same for a path already in UTF-16.
std::wstring longPathW(std::wstring path);

// The errno value that stands for a Windows error code (ENOENT, EACCES, EBUSY, ...),
// so callers test one kind of number on every platform.
int errnoFromWin32(unsigned long code);
// errnoFromWin32(GetLastError()).
int lastErrno();

// The attributes with FILE_ATTRIBUTE_REPARSE_POINT kept only for a reparse point that
// names another place (symbolic link, junction, mount point): those are never followed.
// Other reparse points (deduplicated files, cloud placeholders) are ordinary files and
// folders.
unsigned long linkAttributes(unsigned long attributes, unsigned long reparseTag);
// The same for the entry at a long path; INVALID_FILE_ATTRIBUTES when there is none.
unsigned long linkAttributesOf(const std::wstring& path);

// Seconds and nanoseconds since 1970 UTC of a FILETIME given as its 64-bit value.
void unixFromFileTime(unsigned long long fileTime, long long& seconds, int& nanoseconds);

} // namespace pelidor::platform::win32
