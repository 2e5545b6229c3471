// The program's UTF-8 path text as a std::filesystem path and back. On Windows a
// narrow path would be read in the ANSI code page, which cannot hold every name.
#pragma once

#include <filesystem>
#include <string>

namespace pelidor::platform {

inline std::filesystem::path toFsPath(const std::string& utf8) {
#if defined(_WIN32)
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string fromFsPath(const std::filesystem::path& path) {
#if defined(_WIN32)
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

} // namespace pelidor::platform
