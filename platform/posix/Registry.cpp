// The per-user registry stand-in: a text file in the .reg syntax, edited in place.
//
// The file is kept as a list of entries that together hold every byte of it: section
// headers, value lines (a value written over several lines with trailing backslashes is
// one entry) and everything else (the header line, comments, blank lines, lines this code
// does not understand). A write replaces one value entry or inserts one, and the file is
// written back from the entries, so whatever else it held stays byte for byte. Reads and
// writes go to the file each time; a mutex keeps the threads of this process apart.
#include "platform/Registry.h"

#include "platform/Environment.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelidor::platform {
namespace {

// Larger files are read only in part and never rewritten.
constexpr size_t kMaxRegistryFile = 16u << 20;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::mutex registryMutex;
std::string registryOverride; // guarded by registryMutex

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A key path as compared: trimmed, without trailing backslashes.
std::string_view normalizedKey(std::string_view key) {
    key = trimmed(key);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    return key;
}

struct Entry {
    enum class Kind { Other, Section, Value };
    enum class Type { None, Dword, String };
    std::string raw; // the entry's bytes, line breaks included
    Kind kind = Kind::Other;
    std::string key;  // Section: its key path; Value: the key path of its section
    std::string name; // Value: the value name ("" for the default value "@")
    Type type = Type::None;
    uint32_t dword = 0;
    std::string text;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Parses a quoted text starting at s[pos] == '"' with the escapes \\ and \"; pos ends
// after the closing quote. False when the quote is not closed.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"'))
            ++pos;
        out.push_back(s[pos]);
    }
    return false;
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// Four little-endian bytes written as "hex(4):0a,00,00,00" (or hex(5)).
bool parseHexDword(std::string_view data, uint32_t& out) {
    uint32_t value = 0;
    int count = 0;
    while (true) {
        const auto comma = data.find(',');
        const auto piece = trimmed(data.substr(0, comma));
        if (count == 4 || piece.size() != 2 || hexDigit(piece[0]) < 0 || hexDigit(piece[1]) < 0)
            return false;
        value |= static_cast<uint32_t>(hexDigit(piece[0]) * 16 + hexDigit(piece[1]))
                 << (8 * count++);
        if (comma == std::string_view::npos)
            break;
        data.remove_prefix(comma + 1);
    }
    if (count != 4)
        return false;
    out = value;
    return true;
}

// Reads the value line (without its line break) into e; e stays Other when the line is
// not a value line.
void parseValueLine(std::string_view line, Entry& e) {
    const auto s = trimmed(line);
    size_t pos = 0;
    std::string name;
    if (!s.empty() && s[0] == '@')
        pos = 1;
    else if (s.empty() || s[0] != '"' || !parseQuoted(s, pos, name))
        return;
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
    if (pos >= s.size() || s[pos] != '=')
        return;
    const auto data = trimmed(s.substr(pos + 1));
    e.kind = Entry::Kind::Value;
    e.name = std::move(name);
    if (!data.empty() && data[0] == '"') {
        size_t p = 0;
        std::string text;
        if (parseQuoted(data, p, text) && trimmed(data.substr(p)).empty()) {
            e.type = Entry::Type::String;
            e.text = std::move(text);
        }
    } else if (startsWithNoCase(data, "dword:")) {
        const auto digits = trimmed(data.substr(6));
        if (!digits.empty() && digits.size() <= 8) {
            uint32_t v = 0;
            for (char c : digits) {
                if (hexDigit(c) < 0)
                    return;
                v = v * 16 + static_cast<uint32_t>(hexDigit(c));
            }
            e.type = Entry::Type::Dword;
            e.dword = v;
        }
    } else if (startsWithNoCase(data, "hex(4):") || startsWithNoCase(data, "hex(5):")) {
        if (parseHexDword(data.substr(7), e.dword))
            e.type = Entry::Type::Dword;
    }
}

// The line's text without its line break.
std::string_view lineText(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\n')
        raw.remove_suffix(1);
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    return raw;
}

std::vector<Entry> parse(std::string_view content) {
    std::vector<Entry> entries;
    std::string section; // empty outside a section (also after a [-deletion] header)
    size_t pos = 0;
    while (pos < content.size()) {
        auto next = [&]() {
            const auto nl = content.find('\n', pos);
            const size_t end = nl == std::string_view::npos ? content.size() : nl + 1;
            const auto raw = content.substr(pos, end - pos);
            pos = end;
            return raw;
        };
        Entry e;
        const auto first = next();
        e.raw.assign(first);
        const auto text = trimmed(lineText(first));
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            // A "[-key]" header deletes a key on import: its lines belong to no key here.
            const auto key = normalizedKey(text.substr(1, text.size() - 2));
            e.kind = Entry::Kind::Section;
            if (!key.empty() && key[0] != '-')
                e.key.assign(key);
            section = e.key;
        } else if (!text.empty() && (text[0] == '"' || text[0] == '@')) {
            // Binary and other typed data may continue on the next lines ("\" at the end).
            std::string joined(text);
            const auto eq = joined.find('=');
            const bool unquotedData =
                eq != std::string::npos &&
                trimmed(std::string_view(joined).substr(eq + 1)).substr(0, 1) != "\"";
            if (unquotedData) {
                while (!joined.empty() && joined.back() == '\\' && pos < content.size()) {
                    const auto more = next();
                    e.raw.append(more);
                    joined.pop_back();
                    joined.append(trimmed(lineText(more)));
                }
            }
            parseValueLine(joined, e);
            if (e.kind == Entry::Kind::Value)
                e.key = section;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string join(const std::vector<Entry>& entries) {
    std::string out;
    for (const auto& e : entries)
        out += e.raw;
    return out;
}

std::string defaultRegistryPath() {
    const std::string base = configHome();
    return base.empty() ? std::string() : base + "/Corvane/registry.reg";
}

std::string currentPath() {
    return registryOverride.empty() ? defaultRegistryPath() : registryOverride;
}

const Entry* findValue(const std::vector<Entry>& entries, std::string_view key,
                       std::string_view name) {
    // Imported in order, a later line of the same value wins.
    const auto k = normalizedKey(key);
    const Entry* found = nullptr;
    for (const auto& e : entries)
        if (e.kind == Entry::Kind::Value && !e.key.empty() && equalsNoCase(e.key, k) &&
            equalsNoCase(e.name, name))
            found = &e;
    return found;
}

std::vector<Entry> readEntries(const std::string& path) {
    std::string content;
    bool truncated = false;
    if (path.empty() ||
        readFileBounded(path, kMaxRegistryFile, content, truncated) != FileReadResult::Ok)
        return {};
    return parse(content);
}

// The line break the file uses (LF for a new file).
std::string lineBreakOf(std::string_view content) {
    const auto nl = content.find('\n');
    if (nl != std::string_view::npos && nl > 0 && content[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

bool endsWithLineBreak(const std::string& raw) {
    return !raw.empty() && raw.back() == '\n';
}

bool writeValue(const std::string& key, const std::string& name, const std::string& data) {
    const auto k = normalizedKey(key);
    if (k.empty() || k[0] == '-' || k.find_first_of("\r\n[]") != std::string_view::npos ||
        name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;
    std::lock_guard lock(registryMutex);
    const std::string path = currentPath();
    if (path.empty())
        return false;
    std::string content;
    bool truncated = false;
    const auto result = readFileBounded(path, kMaxRegistryFile, content, truncated);
    // A file that could not be read whole, or that is not text (a UTF-16 export, binary
    // data), is left alone rather than rewritten from part of it.
    if (result == FileReadResult::Failed || truncated || content.find('\0') != std::string::npos)
        return false;
    auto entries = parse(content);
    const std::string eol = lineBreakOf(content);
    auto lineFor = [&](const std::string& valueName) {
        return (valueName.empty() ? std::string("@") : quoted(valueName)) + "=" + data;
    };
    const std::string line = lineFor(name);

    if (const Entry* existing = findValue(entries, k, name)) {
        // The value keeps the spelling of its name.
        auto& e = entries[static_cast<size_t>(existing - entries.data())];
        e.raw = lineFor(e.name) + (endsWithLineBreak(e.raw) ? eol : std::string());
    } else {
        // After the last value of the key's last section, or a new section at the end.
        size_t insertAt = entries.size() + 1;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].kind == Entry::Kind::Section && equalsNoCase(entries[i].key, k))
                insertAt = i + 1;
        if (insertAt <= entries.size())
            for (size_t i = insertAt; i < entries.size(); ++i) {
                if (entries[i].kind == Entry::Kind::Section)
                    break;
                if (entries[i].kind == Entry::Kind::Value)
                    insertAt = i + 1;
            }
        if (insertAt <= entries.size()) {
            if (!endsWithLineBreak(entries[insertAt - 1].raw))
                entries[insertAt - 1].raw += eol;
            Entry e;
            e.raw = line + eol;
            entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(e));
        } else {
            std::string tail;
            if (entries.empty()) {
                tail = std::string(kHeader) + eol + eol;
            } else {
                if (!endsWithLineBreak(entries.back().raw))
                    tail += eol;
                if (!trimmed(lineText(entries.back().raw)).empty())
                    tail += eol;
            }
            tail += "[" + std::string(k) + "]" + eol + line + eol;
            Entry e;
            e.raw = std::move(tail);
            entries.push_back(std::move(e));
        }
    }

    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash), 0700))
        return false;
    return replaceFileAtomically(path, join(entries), 0600, true);
}

} // namespace

std::string registryFilePath() {
    std::lock_guard lock(registryMutex);
    return currentPath();
}

void setRegistryFilePath(const std::string& path) {
    std::lock_guard lock(registryMutex);
    registryOverride = path;
}

std::optional<uint32_t> regReadDword(const std::string& key, const std::string& name) {
    std::lock_guard lock(registryMutex);
    const auto entries = readEntries(currentPath());
    const Entry* e = findValue(entries, key, name);
    if (e == nullptr || e->type != Entry::Type::Dword)
        return std::nullopt;
    return e->dword;
}

std::optional<std::string> regReadString(const std::string& key, const std::string& name) {
    std::lock_guard lock(registryMutex);
    const auto entries = readEntries(currentPath());
    const Entry* e = findValue(entries, key, name);
    if (e == nullptr || e->type != Entry::Type::String)
        return std::nullopt;
    return e->text;
}

bool regWriteDword(const std::string& key, const std::string& name, uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string data = "dword:";
    for (int shift = 28; shift >= 0; shift -= 4)
        data.push_back(digits[(value >> shift) & 0xF]);
    return writeValue(key, name, data);
}

bool regWriteString(const std::string& key, const std::string& name, const std::string& value) {
    // The .reg syntax has no way to write a line break inside a text value.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;
    return writeValue(key, name, quoted(value));
}

FileReadResult readFileBounded(const std::string& path, size_t limit, std::string& out,
                               bool& truncated) {
    out.clear();
    truncated = false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? FileReadResult::Missing
                                                     : FileReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileReadResult::Failed;
    }
    const size_t expected = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    out.reserve(std::min(expected, limit) + 1);
    char buffer[65536];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return FileReadResult::Failed;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (out.size() > limit) {
        out.resize(limit);
        truncated = true;
    }
    return FileReadResult::Ok;
}

bool replaceFileAtomically(const std::string& path, const std::string& content,
                           unsigned newFileMode, bool forceMode) {
    if (path.empty())
        return false;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr)
            return false;
        target = real;
        std::free(real);
    }
    mode_t mode = static_cast<mode_t>(newFileMode & 07777);
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode))
            return false;
        if (!forceMode)
            mode = st.st_mode & 07777;
    }
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    if (ok && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(fd, st.st_uid, st.st_gid); // keep the owner where allowed
    size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd); // the rename itself reaches the disk
        ::close(dirFd);
    }
    return true;
}

bool makeFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty())
            continue;
        if (::mkdir(part.c_str(), static_cast<mode_t>(mode & 07777)) != 0 && errno != EEXIST)
            return false;
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace pelidor::platform
