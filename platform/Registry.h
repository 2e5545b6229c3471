// The per-user registry stand-in: typed values in a text file in the Windows .reg
// syntax ($XDG_CONFIG_HOME/Corvane/registry.reg), e.g.
//   [HKEY_CURRENT_USER\SOFTWARE\Corvane\Pelidor]
//   "IsJP"=dword:00000001
//   "Qdx"="{...}"
// Values keep their types: a value stored as text is not an integer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pelidor::platform {

// The file in use (the default location unless overridden).
std::string registryFilePath();
// Points the registry at another file (tests); empty text restores the default.
void setRegistryFilePath(const std::string& path);

// Key paths are written as in the .reg syntax, e.g.
// "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor"; key and value names compare without regard to
// ASCII case.
std::optional<uint32_t> regReadDword(const std::string& key, const std::string& name);
std::optional<std::string> regReadString(const std::string& key, const std::string& name);
// Writes are atomic (temporary file + rename), the file readable by its owner only.
bool regWriteDword(const std::string& key, const std::string& name, uint32_t value);
bool regWriteString(const std::string& key, const std::string& name, const std::string& value);

// Whole-file helpers shared by the registry stand-in and the settings file.

enum class FileReadResult { Ok, Missing, Failed };
// Reads at most `limit` bytes of a regular file into `out`; `truncated` tells whether the
// file holds more. Missing: no such file (or a missing folder on the way); Failed: not a
// regular file, or it could not be opened or read (out then holds nothing).
FileReadResult readFileBounded(const std::string& path, size_t limit, std::string& out,
                               bool& truncated);
// Replaces the file's content as one step: a temporary file in the same folder is written,
// flushed to disk and renamed over `path`, so readers see the old or the new content, never
// a mix, and a failure leaves the old file as it was. A new file gets `newFileMode`; an
// existing one keeps its mode unless `forceMode` is set. A symbolic link at `path` is
// followed (the link stays, its target is replaced). False on any failure.
bool replaceFileAtomically(const std::string& path, const std::string& content,
                           unsigned newFileMode, bool forceMode = false);
// Creates the folder and its missing parents, new ones with `mode`. True when the
// folder exists afterwards.
bool makeFolders(const std::string& path, unsigned mode);

} // namespace pelidor::platform
