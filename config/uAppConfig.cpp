#include "config/uAppConfig.h"

#include "config/IniFile.h"
#include "config/uLanguage.h"
#include "engine/EnvironmentStrings.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

#include <charconv>
#include <chrono>
#include <cmath>
#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif
#include <random>

namespace pelidor {

TAppConfig AppConfig;
std::function<void(const std::string& Version, const std::string& UserGuid)> OnVersionChanged;

const char* const DefaultKeywordMasks[7] = {
    "*.bmp;*.dib;*.gif;*.jpg;*.jpe;*.ico;*.cur;*.png",
    "*.mp4;*.mpeg;*.avi;*.swf;*.flv;*.wav;*.wmv;*.rm;*.rmvb",
    "*.mp3;*.wav;*.wma;*.mid",
    "*.mp4;*.mpeg;*.avi;*.swf;*.flv;*.wmv;*.rm;*.rmvb",
    "*.doc;*.dot;*.xls;*.xlw;*.ppt;*.docx;*.xlsx;*.pptx",
    "*.zip;*.rar;*.7z;*.bz2;*.gz;*.tar;*.cab",
    "*.pst;*.eml;*.mab",
};

const char* const UserGuidKey = "HKEY_CLASSES_ROOT\\CLSID\\{2EE5AA70-6F96-4A23-B045-20AC8D3C3E35}";

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kAdvSettings = "AdvSettings";
constexpr const char* kFolderName = "Pelidor";
constexpr const char* kFileName = "Config.ini";

std::string settingsRootOverride;

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The base folder (no trailing separator).
std::string baseFolder() {
    return SettingsRoot() + kFolderName;
}

// A text value of [General]: written in the quoted form of IniFile::escapeKey when it
// holds surrounding blanks, line breaks or a leading quote, so that it comes back as it
// was saved (a backup folder whose name ends in a blank stays that folder).
std::string readText(const IniFile& ini, std::string_view key, const std::string& def) {
    if (!ini.valueExists(kGeneral, key))
        return def;
    return IniFile::unescapeKey(ini.readString(kGeneral, key, def));
}

// "key=id" at the last "=": ids never hold one, folders and masks may (a line without
// one is all key).
IniFile::Entry splitLine(const std::string& line) {
    const auto eq = line.rfind('=');
    if (eq == std::string::npos)
        return {IniFile::escapeKey(line), {}};
    return {IniFile::escapeKey(line.substr(0, eq)), line.substr(eq + 1)};
}

// Reads a list section whose values are ids: each line becomes "key=id" in Custom, the
// id being the value or, when that is empty, the default for the line's position; keys of
// ticked lines are split at ";" into Derived.
void readIdSection(const IniFile& ini, const char* section, const std::string& checked,
                   const std::function<std::string(size_t)>& defaultId, TStringList& custom,
                   TStringList& derived) {
    const auto entries = ini.sectionEntries(section);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string key = IniFile::unescapeKey(entries[i].first);
        const std::string id = entries[i].second.empty() ? defaultId(i) : entries[i].second;
        custom.push_back(key + "=" + id);
        if (IsIdChecked(checked, id))
            SplitIntoList(key, derived, ";");
    }
}

std::vector<IniFile::Entry> keysOnly(const TStringList& list) {
    std::vector<IniFile::Entry> entries;
    entries.reserve(list.size());
    for (const auto& item : list)
        entries.emplace_back(IniFile::escapeKey(item), std::string());
    return entries;
}

std::vector<IniFile::Entry> keyValueLines(const TStringList& list) {
    std::vector<IniFile::Entry> entries;
    entries.reserve(list.size());
    for (const auto& line : list)
        entries.push_back(splitLine(line));
    return entries;
}

} // namespace

std::string VersionText(const TVSFixedFileInfo& Info) {
    return std::to_string(Info.dwFileVersionMS >> 16) + "." +
           std::to_string(Info.dwFileVersionMS & 0xFFFF) + "." +
           std::to_string(Info.dwFileVersionLS >> 16) + "." +
           std::to_string(Info.dwFileVersionLS & 0xFFFF);
}

int ListIndexOf(const TStringList& List, const std::string& Text) {
    for (size_t i = 0; i < List.size(); ++i) {
        const auto& item = List[i];
        if (item.size() != Text.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < item.size() && same; ++k)
            same = asciiLower(item[k]) == asciiLower(Text[k]);
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}

void SplitIntoList(const std::string& Text, TStringList& List, const std::string& Separator) {
    if (Separator.empty()) {
        if (!Text.empty())
            List.push_back(Text);
        return;
    }
    size_t pos = 0;
    for (auto sep = Text.find(Separator); sep != std::string::npos;
         sep = Text.find(Separator, pos)) {
        List.push_back(Text.substr(pos, sep - pos));
        pos = sep + Separator.size();
    }
    if (pos < Text.size())
        List.push_back(Text.substr(pos));
}

std::string JoinList(const TStringList& List) {
    std::string text;
    for (const auto& item : List) {
        text += item;
        text += ';';
    }
    return text;
}

bool IsIdChecked(const std::string& Checked, const std::string& Id) {
    return Checked.find("," + Id + ",") != std::string::npos;
}

std::string SettingsRoot() {
    return settingsRootOverride.empty() ? AppDataDir()
                                        : platform::withTrailingSep(settingsRootOverride);
}

void SetSettingsRoot(const std::string& Folder) {
    settingsRootOverride = Folder;
}

std::string NewGuidText() {
    uint8_t bytes[16];
    try {
        std::random_device device; // getrandom / /dev/urandom
        for (auto& b : bytes)
            b = static_cast<uint8_t>(device());
    } catch (...) {
        std::mt19937_64 fallback(static_cast<uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        for (auto& b : bytes)
            b = static_cast<uint8_t>(fallback());
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4 (random)
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0xF]);
    }
    text.push_back('}');
    return text;
}

std::string GetOrCreateUserGuid() {
    if (auto stored = platform::regReadString(UserGuidKey, "Qdx"); stored && !stored->empty())
        return *stored;
    std::string guid = NewGuidText();
    platform::regWriteString(UserGuidKey, "Qdx", guid);
    return guid;
}

std::string LocaleDecimalSeparator() {
#if defined(_WIN32)
    // The user's regional settings.
    wchar_t text[8] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, text, 8);
    std::string sep;
    for (int i = 0; i + 1 < n; ++i)
        if (text[i] < 0x80)
            sep.push_back(static_cast<char>(text[i]));
    return sep.empty() ? std::string(".") : sep;
#else
    // An own locale object from the environment: the process-wide one may be "C" or
    // whatever the toolkit set, and must not be touched.
    locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        return ".";
    const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
    std::string sep = (radix != nullptr && *radix != 0) ? radix : ".";
    ::freelocale(loc);
    return sep;
#endif
}

std::string FormatDateTimeValue(double Value, const std::string& DecimalSeparator) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, DecimalSeparator);
    return text;
}

bool ParseDateTimeValue(const std::string& Text, const std::string& DecimalSeparator,
                        double& Value) {
    std::string text = Text;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(0, 1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (!text.empty() && text.front() == '+')
        text.erase(0, 1);
    if (text.empty() || DecimalSeparator.empty())
        return false;
    // Only the locale's separator marks the fraction; a "." in a "," locale is an error.
    if (DecimalSeparator != "." && text.find('.') != std::string::npos)
        return false;
    if (const auto sep = text.find(DecimalSeparator); sep != std::string::npos)
        text.replace(sep, DecimalSeparator.size(), ".");
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return false;
    Value = value;
    return true;
}

void LoadAppConfig() {
    AppConfig = TAppConfig();
    TAppConfig& c = AppConfig;
    c.AppInfo = ProgramVersionInfo();

    const std::string base = baseFolder();
    platform::makeFolders(base, 0700); // a failure shows later as defaults and a failed save
    c.DataPath = platform::withTrailingSep(base);
    c.ConfigFile = c.DataPath + kFileName;
    const IniFile ini(c.ConfigFile);

    c.Lang = readText(ini, "Language", {});
    if (c.Lang.empty())
        c.Lang = GetDefaultLanguage();
    SelectLanguage(c.Lang);

    const std::string sep = LocaleDecimalSeparator();
    c.bCheckNews = ini.readBool(kGeneral, "CheckNews", true);
    c.AutoUpdate = ini.readInteger(kGeneral, "AutoUpdate", 0);
    c.MsgIds = readText(ini, "MSGIDs", {});
    c.SetupVer = readText(ini, "SetupVer", {});
    c.RecycleDelete = ini.readBool(kGeneral, "RecycleDelete", true);
    c.AutoBackup = ini.readBool(kGeneral, "AutoBackup", true);
    c.RememberFingerprints = ini.readBool(kGeneral, "RememberFingerprints", true);
    c.backPath = readText(ini, "backPath", c.DataPath);
    // A NUL byte would cut the folder short where the system takes the path: a
    // different folder. Such a value counts as absent.
    if (c.backPath.find('\0') != std::string::npos)
        c.backPath = c.DataPath;
    if (!ParseDateTimeValue(ini.readString(kGeneral, "LastUpdate", {}), sep, c.LastUpdate))
        c.LastUpdate = platform::nowLocalDateTime();
    c.GroupColor1 = ini.readInteger(kGeneral, "Color1", 15461355);
    c.GroupColor2 = ini.readInteger(kGeneral, "Color2", 16711422);
    c.header0 = ini.readInteger(kGeneral, "Header0", 0);
    c.header1 = ini.readInteger(kGeneral, "Header1", 0);
    c.header2 = ini.readInteger(kGeneral, "Header2", 0);
    c.header3 = ini.readInteger(kGeneral, "Header3", 0);
    c.header4 = ini.readInteger(kGeneral, "Header4", 0);

    c.CheckedIncludes = readText(ini, "InCheck", {});
    for (int id = 0; id <= 6; ++id)
        if (IsIdChecked(c.CheckedIncludes, std::to_string(id)))
            SplitIntoList(DefaultKeywordMasks[id], c.includeKeywords, ";");
    c.CheckedExcludes = readText(ini, "ExCheck", {});
    for (int id = 0; id <= 6; ++id)
        if (IsIdChecked(c.CheckedExcludes, std::to_string(id)))
            SplitIntoList(DefaultKeywordMasks[id], c.excludeKeywords, ";");

    c.CompareMode = ini.readInteger(kAdvSettings, "CompareMode", 2);
    c.MinSize = ini.readInt64(kAdvSettings, "MinSize", -1);
    c.MaxSize = ini.readInt64(kAdvSettings, "MaxSize", -1);

    for (const auto& key : ini.sectionKeys("InPath"))
        c.includePath.push_back(IniFile::unescapeKey(key));
    for (const auto& key : ini.sectionKeys("UserPath"))
        c.includePathCustom.push_back(IniFile::unescapeKey(key));
    // Absent in files of older versions: no reference folders.
    for (const auto& key : ini.sectionKeys("RefPath"))
        if (const std::string folder = IniFile::unescapeKey(key);
            !folder.empty() && folder.find('\0') == std::string::npos)
            c.referencePath.push_back(folder);
    readIdSection(
        ini, "InKey", c.CheckedIncludes, [](size_t i) { return std::to_string(i + 7); },
        c.includeKeywordsCustom, c.includeKeywords);
    readIdSection(
        ini, "ExPath", c.CheckedExcludes, [](size_t) { return std::string("####"); },
        c.excludePathCustom, c.excludePath);
    readIdSection(
        ini, "ExKey", c.CheckedExcludes, [](size_t) { return std::string("#####"); },
        c.excludeKeywordsCustom, c.excludeKeywords);

    c.SetupGUID = GetOrCreateUserGuid();

    const std::string version = VersionText(c.AppInfo);
    if (version != c.SetupVer) {
        if (OnVersionChanged) {
            try {
                OnVersionChanged(version, c.SetupGUID);
            } catch (...) {
            }
        }
        c.SetupVer = version;
    }
}

bool SaveAppConfig() {
    const TAppConfig& c = AppConfig;
    const std::string base = baseFolder();
    if (!platform::makeFolders(base, 0700))
        return false;
    // The file is read again so that whatever else it holds now is kept.
    IniFile ini(platform::withTrailingSep(base) + kFileName);
    if (!ini.canSave())
        return false;

    ini.writeString(kGeneral, "Language", IniFile::escapeKey(c.Lang));
    ini.writeBool(kGeneral, "CheckNews", c.bCheckNews);
    ini.writeInteger(kGeneral, "AutoUpdate", c.AutoUpdate);
    ini.writeString(kGeneral, "MSGIDs", IniFile::escapeKey(c.MsgIds));
    ini.writeString(kGeneral, "SetupVer", IniFile::escapeKey(c.SetupVer));
    ini.writeBool(kGeneral, "RecycleDelete", c.RecycleDelete);
    ini.writeBool(kGeneral, "AutoBackup", c.AutoBackup);
    // On unless the file says otherwise: written once turned off, and kept from then on.
    if (!c.RememberFingerprints || ini.valueExists(kGeneral, "RememberFingerprints"))
        ini.writeBool(kGeneral, "RememberFingerprints", c.RememberFingerprints);
    ini.writeString(kGeneral, "backPath", IniFile::escapeKey(c.backPath));
    ini.writeString(kGeneral, "LastUpdate",
                    FormatDateTimeValue(c.LastUpdate, LocaleDecimalSeparator()));
    ini.writeInteger(kGeneral, "Color1", c.GroupColor1);
    ini.writeInteger(kGeneral, "Color2", c.GroupColor2);
    ini.writeString(kGeneral, "InCheck", IniFile::escapeKey(c.CheckedIncludes));
    ini.writeString(kGeneral, "ExCheck", IniFile::escapeKey(c.CheckedExcludes));
    ini.writeInteger(kAdvSettings, "CompareMode", c.CompareMode);
    ini.writeInt64(kAdvSettings, "MinSize", c.MinSize);
    ini.writeInt64(kAdvSettings, "MaxSize", c.MaxSize);
    ini.writeInteger(kGeneral, "Header0", c.header0);
    ini.writeInteger(kGeneral, "Header1", c.header1);
    ini.writeInteger(kGeneral, "Header2", c.header2);
    ini.writeInteger(kGeneral, "Header3", c.header3);
    ini.writeInteger(kGeneral, "Header4", c.header4);

    ini.replaceSection("InPath", keysOnly(c.includePath));
    ini.replaceSection("UserPath", keysOnly(c.includePathCustom));
    ini.replaceSection("RefPath", keysOnly(c.referencePath));
    ini.replaceSection("InKey", keyValueLines(c.includeKeywordsCustom));
    ini.replaceSection("ExPath", keyValueLines(c.excludePathCustom));
    ini.replaceSection("ExKey", keyValueLines(c.excludeKeywordsCustom));
    return ini.save();
}

} // namespace pelidor
