#include "cli/ScanOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sys/stat.h>

#if defined(_WIN32)
#include "platform/FileSystem.h"
#include "platform/win32/WinText.h"
#include <windows.h>
#endif

namespace pelidor::cli {
namespace {

namespace fs = std::filesystem;

enum class OptionId {
    Mode,
    Include,
    Exclude,
    ExcludeDir,
    Reference,
    MinSize,
    MaxSize,
    Format,
    Quiet,
    NoCache,
    CacheFile,
    Help,
    Version
};

struct OptionInfo {
    std::string_view longName; // without the leading "--"
    char shortName;            // 0: none
    bool takesValue;
    OptionId id;
};

constexpr OptionInfo kOptions[] = {
    {"mode", 0, true, OptionId::Mode},         {"include", 0, true, OptionId::Include},
    {"exclude", 0, true, OptionId::Exclude},   {"exclude-dir", 0, true, OptionId::ExcludeDir},
    {"min-size", 0, true, OptionId::MinSize},  {"max-size", 0, true, OptionId::MaxSize},
    {"format", 0, true, OptionId::Format},     {"quiet", 'q', false, OptionId::Quiet},
    {"no-cache", 0, false, OptionId::NoCache}, {"cache", 0, true, OptionId::CacheFile},
    {"help", 'h', false, OptionId::Help},      {"version", 'V', false, OptionId::Version},
    {"reference", 0, true, OptionId::Reference},
};

const OptionInfo* findLong(std::string_view name) {
    for (const auto& o : kOptions)
        if (o.longName == name)
            return &o;
    return nullptr;
}

const OptionInfo* findShort(char c) {
    for (const auto& o : kOptions)
        if (o.shortName != 0 && o.shortName == c)
            return &o;
    return nullptr;
}

std::string quotedText(std::string_view text) {
    return "'" + printablePath(text) + "'";
}

ParseResult fail(std::string message) {
    ParseResult r;
    r.status = ParseStatus::Error;
    r.error = std::move(message);
    return r;
}

} // namespace

std::optional<int64_t> parseSize(std::string_view text) {
    bool negative = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    uint64_t value = 0;
    constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (value > (kLimit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (i == digitsStart)
        return std::nullopt;
    uint64_t factor = 1;
    if (i < text.size()) {
        switch (text[i]) {
        case 'k':
        case 'K':
            factor = 1024;
            break;
        case 'm':
        case 'M':
            factor = 1024ull * 1024;
            break;
        case 'g':
        case 'G':
            factor = 1024ull * 1024 * 1024;
            break;
        default:
            return std::nullopt;
        }
        ++i;
    }
    if (i != text.size())
        return std::nullopt;
    if (value > kLimit / factor)
        return std::nullopt;
    const auto magnitude = static_cast<int64_t>(value * factor);
    return negative ? -magnitude : magnitude;
}

std::string_view modeName(ScanMode mode) {
    switch (mode) {
    case ScanMode::Name:
        return "name";
    case ScanMode::Partial:
        return "partial";
    case ScanMode::Full:
        return "full";
    case ScanMode::Empty:
        return "empty";
    }
    return "full";
}

std::optional<ScanMode> modeFromName(std::string_view name) {
    for (ScanMode m : {ScanMode::Name, ScanMode::Partial, ScanMode::Full, ScanMode::Empty})
        if (modeName(m) == name)
            return m;
    return std::nullopt;
}

std::string_view formatName(OutputFormat format) {
    switch (format) {
    case OutputFormat::Text:
        return "text";
    case OutputFormat::Csv:
        return "csv";
    case OutputFormat::Json:
        return "json";
    }
    return "text";
}

ParseResult parseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    result.status = ParseStatus::Run;
    ScanOptions& o = result.options;
    bool optionsEnded = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            o.folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        const OptionInfo* option = nullptr;
        std::string shownName;
        std::optional<std::string> value;
        if (arg[1] == '-') {
            const auto eq = arg.find('=');
            const std::string_view name = std::string_view(arg).substr(
                2, eq == std::string::npos ? std::string::npos : eq - 2);
            option = findLong(name);
            shownName = "--" + std::string(name);
            if (option == nullptr)
                return fail("unknown option " + quotedText(shownName) + " (see --help)");
            if (eq != std::string::npos) {
                if (!option->takesValue)
                    return fail("option " + shownName + " takes no value");
                value = arg.substr(eq + 1);
            }
        } else {
            option = arg.size() == 2 ? findShort(arg[1]) : nullptr;
            if (option == nullptr)
                return fail("unknown option " + quotedText(arg) + " (see --help)");
            shownName = "--" + std::string(option->longName);
        }

        if (option->takesValue && !value) {
            if (i + 1 >= args.size())
                return fail("option " + shownName + " needs a value");
            value = args[++i];
        }
        if (option->takesValue && value->empty())
            return fail("option " + shownName + " needs a value, not an empty text");

        switch (option->id) {
        case OptionId::Mode: {
            const auto mode = modeFromName(*value);
            if (!mode)
                return fail("unknown mode " + quotedText(*value) +
                            " (use name, partial, full or empty)");
            o.mode = *mode;
            break;
        }
        case OptionId::Format:
            if (*value == "text")
                o.format = OutputFormat::Text;
            else if (*value == "csv")
                o.format = OutputFormat::Csv;
            else if (*value == "json")
                o.format = OutputFormat::Json;
            else
                return fail("unknown format " + quotedText(*value) + " (use text, csv or json)");
            break;
        case OptionId::Include:
            o.includes.push_back(*value);
            break;
        case OptionId::Exclude:
            o.excludes.push_back(*value);
            break;
        case OptionId::ExcludeDir:
            o.excludeDirs.push_back(*value);
            break;
        case OptionId::Reference:
            o.references.push_back(*value);
            break;
        case OptionId::MinSize:
        case OptionId::MaxSize: {
            const auto size = parseSize(*value);
            if (!size)
                return fail("invalid size " + quotedText(*value) + " for " + shownName +
                            " (bytes, or a number with K, M or G)");
            if (option->id == OptionId::MinSize) {
                if (*size < 0)
                    return fail("option --min-size must not be negative");
                o.minSize = *size;
            } else {
                o.maxSize = *size;
            }
            break;
        }
        case OptionId::Quiet:
            o.quiet = true;
            break;
        case OptionId::NoCache:
            o.noCache = true;
            break;
        case OptionId::CacheFile:
            o.cacheFile = *value;
            break;
        case OptionId::Help:
            result.status = ParseStatus::Help;
            return result;
        case OptionId::Version:
            result.status = ParseStatus::Version;
            return result;
        }
    }

    if (o.maxSize >= 0 && o.minSize > o.maxSize)
        return fail("--min-size " + std::to_string(o.minSize) + " is larger than --max-size " +
                    std::to_string(o.maxSize));
    if (o.noCache && !o.cacheFile.empty())
        return fail("--no-cache and --cache exclude each other");
    if (o.folders.empty())
        return fail("no folder given (see --help)");
    return result;
}

EngineRequest engineRequest(const ScanOptions& options) {
    EngineRequest r;
    r.beginSize = options.minSize;
    r.endSize = options.maxSize;
    switch (options.mode) {
    case ScanMode::Name:
        r.type = dtFileName;
        break;
    case ScanMode::Partial:
        r.type = dtMd5Part;
        r.beginSize = std::max<int64_t>(r.beginSize, 1);
        break;
    case ScanMode::Full:
        r.type = dtMd5;
        r.beginSize = std::max<int64_t>(r.beginSize, 1);
        break;
    case ScanMode::Empty:
        r.type = dtDataSize;
        r.beginSize = 0;
        r.endSize = 0;
        break;
    }
    return r;
}

std::string absoluteFolder(const std::string& path, const std::string& base) {
#if defined(_WIN32)
    // The full path as the system resolves it (C:\Data, \\server\share\x): "." and
    // ".." removed, no trailing separator except after a drive.
    std::wstring text = platform::win32::toWide(path);
    const bool relative = text.empty() || (text[0] != L'\\' && text[0] != L'/' &&
                                           (text.size() < 2 || text[1] != L':'));
    if (relative && !base.empty()) {
        std::wstring joined = platform::win32::toWide(base);
        joined.push_back(L'\\');
        joined.append(text);
        text.swap(joined);
    }
    const DWORD need = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return {};
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(text.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need)
        return {};
    full.resize(got);
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return platform::win32::toUtf8(full);
#else
    fs::path p(path);
    if (p.is_relative()) {
        if (base.empty()) {
            std::error_code ec;
            p = fs::absolute(p, ec);
            if (ec)
                return {};
        } else {
            p = fs::path(base) / p;
        }
    }
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
#endif
}

bool resolveFolders(const std::vector<std::string>& folders, std::vector<std::string>& out,
                    std::string& error) {
    out.clear();
    for (const auto& folder : folders) {
        if (folder.empty()) {
            error = "empty folder name";
            return false;
        }
        const std::string abs = absoluteFolder(folder);
        if (abs.empty()) {
            error = "cannot make " + quotedText(folder) + " absolute: the current folder is gone";
            return false;
        }
#if defined(_WIN32)
        platform::FileStatus status;
        int err = 0;
        if (!platform::statPath(abs, status, &err) ||
            status.kind != platform::EntryKind::Directory) {
            if (err == ENOENT)
                error = quotedText(folder) + " does not exist";
            else if (err == 0)
                error = quotedText(folder) + " is not a folder";
            else
                error = "cannot access " + quotedText(folder) + ": " + std::strerror(err);
            return false;
        }
#else
        struct stat st {};
        if (::stat(abs.c_str(), &st) != 0) {
            const int err = errno;
            if (err == ENOENT)
                error = quotedText(folder) + " does not exist";
            else if (err == ENOTDIR)
                error = quotedText(folder) + " is not a folder";
            else
                error = "cannot access " + quotedText(folder) + ": " + std::strerror(err);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            error = quotedText(folder) + " is not a folder";
            return false;
        }
#endif
        out.push_back(abs);
    }
    return true;
}

std::string printablePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string usageText() {
    return R"(Usage: pelidor-scan [options] FOLDER...

Finds duplicate files in the given folders (and their sub-folders) and writes
the groups of duplicates to standard output. Symbolic links inside the folders
are never followed nor listed.

Options:
  --mode MODE         how files are compared (default: full)
                        name     same size and same file name (ASCII letters
                                 compared without regard to case)
                        partial  same size and same MD5 of the first and last
                                 1024 bytes (whole file below 8192 bytes)
                        full     same MD5 of the whole content
                        empty    empty files
  --include MASKS     only files whose name matches one of the masks
                      (* any run, ? one character, ';' separates masks);
                      may be repeated
  --exclude MASKS     leave out files whose name matches one of the masks;
                      may be repeated
  --exclude-dir DIR   do not enter the folder DIR; may be repeated
  --reference DIR     mark the files inside the folder DIR as reference copies
                      (files never to be removed): "[ref] " before the path in
                      text, a "reference" column in CSV, "reference": true in
                      JSON; may be repeated
  --min-size SIZE     smallest file size (default 0)
  --max-size SIZE     largest file size (default -1: no upper limit)
                      SIZE is a byte count, or a number with K, M or G
                      (1024-based); partial and full never compare empty
                      files, and empty ignores both sizes
  --format FORMAT     text (default), csv or json
  -q, --quiet         no progress line on standard error
  --no-cache          neither use nor fill the fingerprint cache
  --cache FILE        use FILE as the fingerprint cache (default:
                      $XDG_CACHE_HOME/pelidor/fingerprints.sqlite)
  -h, --help          show this help and exit
  -V, --version       show the version and exit
  --                  end of options: every later argument is a folder

Exit status: 0 after a finished scan (with or without duplicates),
1 when the output cannot be written or the scan cannot start, 2 on bad
input or when a content mode cannot run (the system refuses MD5), 130 when
interrupted.
)";
}

} // namespace pelidor::cli
