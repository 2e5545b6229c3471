#include "config/LangTable.h"

#include "config/Utf8.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/FsPath.h"

namespace pelidor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::string decodeUtf16Le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    const auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                     (static_cast<uint8_t>(bytes[i + 1]) << 8));
    };
    const std::size_t end = bytes.size() & ~std::size_t{1}; // an odd last byte is dropped
    for (std::size_t i = 0; i < end; i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 < end) {
                const char16_t low = unit(i + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                    i += 2;
                    continue;
                }
            }
            appendUtf8(out, kReplacement);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

// Copies valid UTF-8 and replaces every byte that does not start a valid sequence.
std::string sanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b0 = static_cast<uint8_t>(bytes[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char>(b0));
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t c = 0;
        char32_t min = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2, c = b0 & 0x1F, min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3, c = b0 & 0x0F, min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4, c = b0 & 0x07, min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto b = static_cast<uint8_t>(bytes[i + k]);
            ok = (b & 0xC0) == 0x80;
            c = (c << 6) | (b & 0x3F);
        }
        ok = ok && c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (ok) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            appendUtf8(out, kReplacement);
            ++i;
        }
    }
    return out;
}

bool startsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

// UTF-16LE text of an INI file has NUL bytes at odd offsets (the high bytes of its
// ASCII characters); UTF-8 text has no NUL bytes at all.
bool looksLikeUtf16Le(std::string_view bytes) {
    const std::size_t sample = std::min<std::size_t>(bytes.size(), 4096) & ~std::size_t{1};
    std::size_t oddNul = 0;
    std::size_t evenNul = 0;
    for (std::size_t i = 0; i < sample; ++i) {
        if (bytes[i] == '\0')
            ++((i & 1) != 0 ? oddNul : evenNul);
    }
    return oddNul > 0 && oddNul > evenNul;
}

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= 0x20)
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::string foldLangName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string decodeLangText(std::string_view bytes, LangRead mode) {
    static constexpr std::string_view kUtf16Mark = "\xFF\xFE";
    static constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (startsWith(bytes, kUtf16Mark))
        return decodeUtf16Le(bytes.substr(kUtf16Mark.size()));
    if (startsWith(bytes, kUtf8Mark))
        return sanitizeUtf8(bytes.substr(kUtf8Mark.size()));
    if (mode == LangRead::Table && looksLikeUtf16Le(bytes))
        return decodeUtf16Le(bytes);
    return sanitizeUtf8(bytes);
}

LangTable LangTable::parse(std::string_view bytes, LangRead mode) {
    LangTable table;
    const std::string text = decodeLangText(bytes.substr(0, kLangFileCap), mode);
    const std::string_view all(text);
    Section* current = nullptr;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = all.size();
        const std::string_view line = trimmed(all.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            current = &table.sections_[foldLangName(trimmed(line.substr(1, line.size() - 2)))];
            continue;
        }
        const std::size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos)
            continue;
        // try_emplace keeps the first occurrence of a key.
        current->try_emplace(foldLangName(trimmed(line.substr(0, eq))),
                             std::string(trimmed(line.substr(eq + 1))));
    }
    return table;
}

std::shared_ptr<const LangTable> LangTable::load(const std::string& path, LangRead mode) {
    if (!langFileExists(path))
        return nullptr;
    std::ifstream in(platform::toFsPath(path), std::ios::binary);
    if (!in)
        return nullptr;
    std::string bytes;
    std::size_t got = 0;
    while (in && got < kLangFileCap) {
        bytes.resize(std::min(kLangFileCap, got + 256 * 1024));
        in.read(bytes.data() + got, static_cast<std::streamsize>(bytes.size() - got));
        got += static_cast<std::size_t>(in.gcount());
    }
    bytes.resize(got);
    return std::make_shared<const LangTable>(parse(bytes, mode));
}

const std::string* LangTable::find(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(foldLangName(section));
    if (s == sections_.end())
        return nullptr;
    const auto k = s->second.find(foldLangName(key));
    return k == s->second.end() ? nullptr : &k->second;
}

std::string LangTable::value(std::string_view section, std::string_view key,
                             const std::string& fallback) const {
    const std::string* v = find(section, key);
    return v != nullptr ? *v : fallback;
}

std::size_t LangTable::keyCount() const {
    std::size_t n = 0;
    for (const auto& [name, keys] : sections_)
        n += keys.size();
    return n;
}

std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, const std::string& fallback) {
    const auto table = LangTable::load(path, LangRead::Profile);
    return table ? table->value(section, key, fallback) : fallback;
}

bool langFileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(platform::toFsPath(path), ec);
}

} // namespace pelidor
