// The INI layer on arbitrary bytes: parse, read every value back, edit (values from the
// file itself, a new key, a new section, integers, quoted keys, a deleted key, an erased
// section), then write the content out and read it again.
//
// Properties:
// - a file that canSave() is written back byte for byte as read;
// - readString gives the value of a key's first line in its section;
// - a value written to a key that the file can hold as is reads back as the value with
//   line breaks made blanks and surrounding blanks removed; integers read back exactly;
// - a key given in escapeKey's form comes back through unescapeKey;
// - an erased section is gone;
// - the edited content, written and read again, has the same sections, keys and values
//   (and writes the same bytes again).
#include "config/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using pelidor::IniFile;

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// What a written value reads back as.
std::string asStored(std::string_view value) {
    std::string out(value);
    std::replace(out.begin(), out.end(), '\n', ' ');
    std::replace(out.begin(), out.end(), '\r', ' ');
    size_t b = 0;
    size_t e = out.size();
    while (b < e && blank(out[b]))
        ++b;
    while (e > b && blank(out[e - 1]))
        --e;
    return out.substr(b, e - b);
}

uint64_t hashOf(std::string_view bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

struct Snapshot {
    std::vector<std::string> sections;
    std::vector<std::vector<IniFile::Entry>> entries;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshotOf(const IniFile& ini) {
    Snapshot s;
    s.sections = ini.sections();
    for (const auto& name : s.sections)
        s.entries.push_back(ini.sectionEntries(name));
    return s;
}

// The value of the first line of `key` in `section`, as sectionEntries lists them.
const std::string* firstValue(const std::vector<IniFile::Entry>& entries, std::string_view key) {
    for (const auto& [k, v] : entries)
        if (sameName(k, key))
            return &v;
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = pelidor::fuzz::asText(data, size);
    IniFile ini;
    ini.loadFromBytes(input);
    FUZZ_CHECK(!ini.canSave() || ini.toBytes() == input);

    // Reading: every key's value is its first line's value.
    const Snapshot before = snapshotOf(ini);
    for (size_t i = 0; i < before.sections.size(); ++i) {
        FUZZ_CHECK(ini.sectionExists(before.sections[i]));
        for (const auto& [key, value] : before.entries[i]) {
            const std::string* first = firstValue(before.entries[i], key);
            FUZZ_CHECK(first != nullptr);
            FUZZ_CHECK(ini.readString(before.sections[i], key, "\x01none") == *first);
        }
    }

    // Editing. Values come from the file, so odd bytes and encodings meet each other.
    std::vector<std::string> values;
    for (const auto& entries : before.entries)
        for (const auto& entry : entries)
            values.push_back(entry.second);
    values.push_back(std::string(input.substr(0, std::min<size_t>(input.size(), 40))));
    const auto valueAt = [&](size_t i) -> const std::string& { return values[i % values.size()]; };

    // Each write reads back at once (keys the file can hold as they are).
    const auto writeAndCheck = [&](const std::string& section, const std::string& key,
                                   const std::string& value) {
        ini.writeString(section, key, value);
        if (IniFile::escapeKey(key) == key)
            FUZZ_CHECK(ini.readString(section, key, "\x01none") == asStored(value));
    };
    for (size_t i = 0; i < before.sections.size() && i < 4; ++i)
        if (!before.entries[i].empty())
            writeAndCheck(before.sections[i], before.entries[i].front().first,
                          valueAt(i + 1) + valueAt(i));
    writeAndCheck(before.sections.empty() ? "General" : before.sections.front(), "FuzzAdded",
                  valueAt(3));
    writeAndCheck("Fuzz Section", "Key", valueAt(5));

    const uint64_t h = hashOf(input);
    const auto i32 = static_cast<int32_t>(static_cast<uint32_t>(h));
    const auto i64 = static_cast<int64_t>(h * 0x9E3779B97F4A7C15ull);
    ini.writeInteger("Fuzz Section", "Int", i32);
    ini.writeInt64("Fuzz Section", "Int64", i64);
    FUZZ_CHECK(ini.readInteger("Fuzz Section", "Int", 0) == i32);
    FUZZ_CHECK(ini.readInt64("Fuzz Section", "Int64", 0) == i64);

    if (before.sections.size() >= 2 && !before.entries[1].empty())
        ini.deleteKey(before.sections[1], before.entries[1].front().first);
    if (before.sections.size() >= 3) {
        ini.eraseSection(before.sections[2]);
        FUZZ_CHECK(!ini.sectionExists(before.sections[2]));
    }

    // Keys that need the quoted form (folder names): one from the file's own bytes.
    const std::string oddKey(
        input.substr(input.size() / 3, std::min<size_t>(input.size() / 3, 24)));
    const std::vector<IniFile::Entry> quoted = {{IniFile::escapeKey(oddKey), "1"},
                                                {IniFile::escapeKey(valueAt(7)), "2"}};
    ini.replaceSection("Fuzz Keys", quoted);

    // Written out and read again.
    if (!ini.canSave())
        return 0;
    const std::string bytes = ini.toBytes();
    IniFile again;
    again.loadFromBytes(bytes);
    FUZZ_CHECK(again.canSave());
    FUZZ_CHECK(again.toBytes() == bytes);
    FUZZ_CHECK(snapshotOf(again) == snapshotOf(ini));
    const auto keys = again.sectionKeys("Fuzz Keys");
    FUZZ_CHECK(keys.size() == 2);
    FUZZ_CHECK(IniFile::unescapeKey(keys[0]) == oddKey);
    FUZZ_CHECK(IniFile::unescapeKey(keys[1]) == valueAt(7));
    return 0;
}
