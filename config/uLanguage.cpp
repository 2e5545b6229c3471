#include "config/uLanguage.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "config/LangCodes.h"
#include "config/LangTable.h"
#include "engine/uSearchHolper.h"
#include "platform/FsPath.h"
#include "platform/Paths.h"
#include "platform/System.h"

namespace pelidor {

std::string_view BuiltInEnglishPack(); // generated from English.ini

namespace {

namespace fs = std::filesystem;

const std::string kEnglish = "English";
const std::string kIniSuffix = ".ini";

// The module's state. Tables are immutable and shared: a reader copies the pointer under
// `lock` and keeps a valid table however often the language is switched meanwhile.
// `loadLock` serialises every change and every load, so a file is never parsed twice
// for the same slot; the order is always loadLock, then lock.
struct LangState {
    std::mutex loadLock;
    std::mutex lock;
    std::string folder; // with a trailing separator; empty until resolved
    std::string langFile;
    std::shared_ptr<const LangTable> active;
    std::shared_ptr<const LangTable> fallback;
    bool fallbackLoaded = false;
};

LangState& state() {
    static LangState s;
    return s;
}

std::string folderOf(const fs::path& p) {
    return platform::withTrailingSep(platform::fromFsPath(p));
}

// The executable's folder + "Languages/" when that exists; else the installed share
// folder (<prefix>/share/pelidor/Languages/ beside <prefix>/bin) when that exists; else
// the first.
std::string defaultLanguageFolder() {
    std::error_code ec;
    const fs::path exe = platform::toFsPath(platform::executablePath());
    if (exe.empty())
        return std::string("Languages") + platform::kPathSep;
    const fs::path dir = exe.parent_path();
    const fs::path beside = dir / "Languages";
    if (fs::is_directory(beside, ec))
        return folderOf(beside);
    const fs::path installed = (dir / ".." / "share" / "pelidor" / "Languages").lexically_normal();
    if (fs::is_directory(installed, ec))
        return folderOf(installed);
    return folderOf(beside);
}

// A base name names a file inside the language folder: not empty, no separator.
bool validBaseName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find(platform::kPathSep) == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string folderLocked(LangState& s) {
    if (s.folder.empty())
        s.folder = defaultLanguageFolder();
    return s.folder;
}

// The active table, loading it from LangFile when none is loaded and the file exists.
std::shared_ptr<const LangTable> activeTable() {
    LangState& s = state();
    {
        std::lock_guard guard(s.lock);
        if (s.active || s.langFile.empty())
            return s.active;
    }
    std::lock_guard load(s.loadLock);
    std::string file;
    {
        std::lock_guard guard(s.lock);
        if (s.active || s.langFile.empty())
            return s.active;
        file = s.langFile;
    }
    auto table = LangTable::load(file, LangRead::Table);
    std::lock_guard guard(s.lock);
    s.active = table;
    return table;
}

// The English texts built into the program, for when English.ini cannot be read.
std::shared_ptr<const LangTable> builtInTable() {
    static const auto table =
        std::make_shared<const LangTable>(LangTable::parse(BuiltInEnglishPack(), LangRead::Table));
    return table;
}

// The English table, loaded at the first miss and kept; tried again while its file is
// missing.
std::shared_ptr<const LangTable> fallbackTable() {
    LangState& s = state();
    {
        std::lock_guard guard(s.lock);
        if (s.fallbackLoaded)
            return s.fallback;
    }
    std::lock_guard load(s.loadLock);
    std::string folder;
    {
        std::lock_guard guard(s.lock);
        if (s.fallbackLoaded)
            return s.fallback;
        folder = folderLocked(s);
    }
    auto table = LangTable::load(folder + kEnglish + kIniSuffix, LangRead::Table);
    std::lock_guard guard(s.lock);
    s.fallback = table;
    s.fallbackLoaded = table != nullptr;
    return table ? table : builtInTable();
}

// The base names of the language files ("*.ini", letters of the suffix as written),
// ordered by name with the ASCII letters folded, then byte by byte.
std::vector<std::string> languageBaseNames() {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(platform::toFsPath(LanguageFolder()), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = platform::fromFsPath(it->path().filename());
        if (name.size() <= kIniSuffix.size() ||
            name.compare(name.size() - kIniSuffix.size(), kIniSuffix.size(), kIniSuffix) != 0)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) // links are followed
            continue;
        names.push_back(name.substr(0, name.size() - kIniSuffix.size()));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = EngineCompareText(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

std::vector<std::string> splitCodes(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = text.find('|', start);
        pieces.push_back(text.substr(start, bar - start));
        if (bar == std::string::npos)
            return pieces;
        start = bar + 1;
    }
}

// A piece of "LangCode" as an identifier: exactly four hexadecimal digits.
std::optional<uint16_t> parseLangId(const std::string& piece) {
    if (piece.size() != 4)
        return std::nullopt;
    unsigned value = 0;
    for (char c : piece) {
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

// An integer as the settings read it: decimal, or hexadecimal after "$" or "0x".
std::optional<long long> parseInteger(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (text.compare(i, 1, "$") == 0) {
        base = 16, i += 1;
    } else if (text.size() > i + 1 && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16, i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || value > (1LL << 40))
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

// A font attribute of the active file, read from the file on each call; `fallback` when
// the file, the key or its value is missing.
std::string fontAttribute(const char* key, const std::string& fallback) {
    const std::string file = LangFile();
    if (!langFileExists(file))
        return fallback;
    const std::string value = readProfileString(file, "Translation", key, std::string());
    return value.empty() ? fallback : value;
}

} // namespace

std::string ReadLangString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) {
    std::string result;
    if (const auto active = activeTable())
        result = active->value(Section, Ident);
    if (result.empty()) {
        if (const auto fallback = fallbackTable())
            result = fallback->value(Section, Ident);
    }
    return result.empty() ? Default : result;
}

void SelectLanguage(const std::string& Lang) {
    LangState& s = state();
    std::lock_guard load(s.loadLock);
    const std::string folder = LanguageFolder();
    std::string file = folder + Lang + kIniSuffix;
    if (!validBaseName(Lang) || !langFileExists(file))
        file = folder + kEnglish + kIniSuffix;
    auto table = LangTable::load(file, LangRead::Table);
    std::lock_guard guard(s.lock);
    s.langFile = std::move(file);
    s.active = std::move(table); // readers still holding the old table keep it alive
}

std::string LangFile() {
    LangState& s = state();
    std::lock_guard guard(s.lock);
    return s.langFile;
}

std::string GetDefaultLanguage() {
    try {
        const uint16_t id = userInterfaceLanguageId();
        if (id == 0)
            return kEnglish;
        const std::string idText = langIdText(id);
        const std::string folder = LanguageFolder();
        std::vector<std::pair<std::string, std::vector<std::string>>> codes;
        for (const std::string& base : languageBaseNames()) {
            const std::string file = folder + base + kIniSuffix;
            if (!langFileExists(file))
                continue;
            const auto pieces =
                splitCodes(foldLangName(readProfileString(file, "Translation", "LangCode", "")));
            for (const std::string& piece : pieces) {
                if (foldLangName(piece) == foldLangName(idText))
                    return base;
            }
            codes.emplace_back(base, pieces);
        }
        // No file lists the exact identifier: take the first that serves the same
        // language in another region (de_AT finds a file for 0407).
        for (const auto& [base, pieces] : codes) {
            for (const std::string& piece : pieces) {
                const auto pieceId = parseLangId(piece);
                if (pieceId && sameLanguage(*pieceId, id))
                    return base;
            }
        }
    } catch (...) {
    }
    return kEnglish;
}

std::string GetNativeLanguage(const std::string& BaseName) {
    if (!validBaseName(BaseName))
        return BaseName;
    const std::string native =
        readProfileString(LanguageFolder() + BaseName + kIniSuffix, "Lang", "NativeLanguage", "");
    return native.empty() ? BaseName : native;
}

void GetLanguageList(std::vector<std::string>& List) {
    List.clear();
    for (const std::string& base : languageBaseNames())
        List.push_back(GetNativeLanguage(base) + "=" + base);
}

int GetLangCharset() {
    if (!langFileExists(LangFile()))
        return kDefaultCharset;
    const auto number = fontCharsetFromName(fontAttribute("DefaultCharSet", "ANSI_CHARSET"));
    return number ? *number : kDefaultCharset;
}

std::string GetLangFontName() {
    return fontAttribute("DefaultFont", "Tahoma");
}

int GetLangFontSize() {
    const auto size = parseInteger(fontAttribute("DefaultFontSize", "8"));
    return size && *size >= 1 && *size <= kMaxLangFontSize ? static_cast<int>(*size) : 8;
}

std::string LanguageFolder() {
    LangState& s = state();
    std::lock_guard guard(s.lock);
    return folderLocked(s);
}

void SetLanguageFolder(const std::string& Folder) {
    LangState& s = state();
    std::lock_guard load(s.loadLock);
    std::lock_guard guard(s.lock);
    s.folder = Folder.empty() ? std::string() : platform::withTrailingSep(Folder);
    s.langFile.clear();
    s.active.reset();
    s.fallback.reset();
    s.fallbackLoaded = false;
}

} // namespace pelidor
