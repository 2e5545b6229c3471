// File-name masks: `*` any run, `?` exactly one character, letters without regard to
// case, several patterns separated by `;`.
#include "engine/uSearchHolper.h"

#include <cstdint>
#include <vector>

namespace pelidor {
namespace {

// Decodes UTF-8 into code points; a byte that does not start a valid sequence stands
// for itself (mapped to U+DC80..U+DCFF so it never equals a real character).
void decode(std::string_view text, std::vector<char32_t>& out) {
    out.clear();
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        size_t len = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok && len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok && len == 4 && (cp < 0x10000 || cp > 0x10FFFF))
            ok = false;
        if (!ok) {
            out.push_back(0xDC00 + c);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
}

// Simple lower-case folding for the Latin, Greek and Cyrillic letters.
char32_t fold(char32_t c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c + 1 : c;
    return c;
}

bool matchPattern(const std::vector<char32_t>& name, const std::vector<char32_t>& pat) {
    size_t n = 0, p = 0;
    size_t starP = SIZE_MAX, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < pat.size() && (pat[p] == U'?' || fold(pat[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == U'*')
        ++p;
    return p == pat.size();
}

} // namespace

bool PathMatchSpec(std::string_view name, std::string_view mask) {
    std::vector<char32_t> decodedName;
    std::vector<char32_t> decodedPattern;
    bool nameDecoded = false;
    size_t pos = 0;
    while (pos <= mask.size()) {
        size_t end = mask.find(';', pos);
        if (end == std::string_view::npos)
            end = mask.size();
        std::string_view pattern = mask.substr(pos, end - pos);
        while (!pattern.empty() && pattern.front() == ' ')
            pattern.remove_prefix(1);
        while (!pattern.empty() && pattern.back() == ' ')
            pattern.remove_suffix(1);
        pos = end + 1;
        if (pattern.empty())
            continue;
        if (pattern == "*.*" || pattern == "*")
            return true;
        if (!nameDecoded) {
            decode(name, decodedName);
            nameDecoded = true;
        }
        decode(pattern, decodedPattern);
        if (matchPattern(decodedName, decodedPattern))
            return true;
    }
    return false;
}

} // namespace pelidor
