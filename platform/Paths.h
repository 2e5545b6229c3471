// Path text helpers shared by every layer. Pure text: no file-system access.
#pragma once

#include <string>
#include <string_view>

namespace pelidor::platform {

// The native folder separator.
#if defined(_WIN32)
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif

#if defined(_WIN32)
// Folder texts compare without regard to letter case, as the file system names them
// (ordinal comparison of the upper-case forms); negative, zero or positive.
int comparePathText(std::string_view a, std::string_view b);
inline bool samePathText(std::string_view a, std::string_view b) {
    return comparePathText(a, b) == 0;
}
inline bool pathTextLess(std::string_view a, std::string_view b) {
    return comparePathText(a, b) < 0;
}
#else
// Folder texts compare exactly: letter case matters on this file system.
inline bool samePathText(std::string_view a, std::string_view b) {
    return a == b;
}
inline bool pathTextLess(std::string_view a, std::string_view b) {
    return a < b;
}
#endif

inline bool hasTrailingSep(std::string_view path, char sep = kPathSep) {
    return !path.empty() && path.back() == sep;
}

// The path with exactly one trailing separator added when it has none; empty stays empty.
inline std::string withTrailingSep(std::string path, char sep = kPathSep) {
    if (!path.empty() && path.back() != sep)
        path.push_back(sep);
    return path;
}

// The part after the last separator.
inline std::string_view fileNamePart(std::string_view path, char sep = kPathSep) {
    const auto pos = path.rfind(sep);
    return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

// True when `inner` equals `outer` or lies inside it (outer followed by a separator).
// An empty `outer` contains nothing.
inline bool isSameOrInside(std::string_view inner, std::string_view outer, char sep = kPathSep) {
    if (outer.empty() || inner.size() < outer.size() ||
        !samePathText(inner.substr(0, outer.size()), outer))
        return false;
    if (inner.size() == outer.size() || outer.back() == sep)
        return true;
    return inner[outer.size()] == sep;
}

} // namespace pelidor::platform
