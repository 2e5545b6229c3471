// The settings store: the record AppConfig and the file Config.ini that keeps it between
// runs ($XDG_CONFIG_HOME/Pelidor/Config.ini).
//
// LoadAppConfig fills the record once, when the main window is created: it reads every
// key (a missing file or a value that does not parse gives that key's default), derives
// the filter lists a scan needs from the ticked entries, selects the language, fills the
// user identifier and, when the program version differs from the one last reported,
// calls OnVersionChanged. SaveAppConfig writes the record back; keys and sections this
// program does not know stay in the file. The derived lists are never written.
//
// Only the user-interface thread uses AppConfig and the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/SharedHelpers.h"

namespace pelidor {

// The file version as "%d.%d.%d.%d" (major, minor, release, build).
std::string VersionText(const TVSFixedFileInfo& Info);

// Unsorted, duplicates kept; items compare without regard to ASCII case (ListIndexOf).
using TStringList = std::vector<std::string>;
// Index of the first item equal to Text without regard to ASCII case, or -1.
int ListIndexOf(const TStringList& List, const std::string& Text);

struct TAppConfig {
    TVSFixedFileInfo AppInfo;       // this program's version (ProgramVersionInfo)
    std::string Lang;               // base name of the active language file
    bool bCheckNews = true;         // kept, nothing depends on it
    int32_t AutoUpdate = 0;         // 0 daily, 1 weekly, 2 monthly, 3 never
    std::string MsgIds;             // ",id" for each news item shown
    std::string SetupVer;           // version last reported by the install-status report
    std::string SetupGUID;          // the user identifier (registry), never in the file
    std::string ConfigFile;         // DataPath + "Config.ini"
    std::string DataPath;           // the settings folder, trailing separator
    double LastUpdate = 0;          // start of the last update check (date-time value)
    int32_t GroupColor1 = 15461355; // 0x00BBGGRR of even groups
    int32_t GroupColor2 = 16711422; // of odd groups
    int32_t header0 = 0, header1 = 0, header2 = 0, header3 = 0, header4 = 0; // column widths
    bool RecycleDelete = true;
    bool AutoBackup = true;
    bool RememberFingerprints = true; // scans use the fingerprint cache
    std::string backPath;             // folder of the backup archives
    // 0 file name, 1 partial hash, 2 full hash, 3 zero-size files. A new settings file
    // starts with the full hash: the name mode alone must never decide what is deleted.
    int32_t CompareMode = 2;
    int64_t MinSize = -1; // size bounds in bytes; negative: no bound
    int64_t MaxSize = -1;
    TStringList includePath;           // folders to scan
    TStringList includePathCustom;     // every folder the user added
    TStringList referencePath;         // reference folders: their files are never acted on
    TStringList includeKeywords;       // derived: masks a scanned file must match
    TStringList includeKeywordsCustom; // "mask list=id"
    TStringList excludePath;           // derived: folders excluded from the scan
    TStringList excludeKeywords;       // derived: masks that exclude a file
    TStringList excludePathCustom;     // "folder=id"
    TStringList excludeKeywordsCustom; // "mask list=id"
    std::string CheckedIncludes;       // ",id," for each ticked include entry
    std::string CheckedExcludes;       // the same for the exclude entries
};

extern TAppConfig AppConfig;

// Fills AppConfig from Config.ini (see the file comment).
void LoadAppConfig();
// Writes AppConfig to Config.ini in one atomic step. False when nothing was written (the
// folder cannot be created, the file cannot be read whole or replaced); the old file is
// then untouched.
bool SaveAppConfig();

// Appends the pieces of Text split at Separator: each part before a separator (empty ones
// too), then a non-empty remainder. Empty Text appends nothing.
void SplitIntoList(const std::string& Text, TStringList& List, const std::string& Separator);
// Every item followed by ";".
std::string JoinList(const TStringList& List);

// The built-in mask lists, ids 0 to 6.
extern const char* const DefaultKeywordMasks[7];
// True when ",Id," occurs in Checked (a tick list such as ",0,4,7,").
bool IsIdChecked(const std::string& Checked, const std::string& Id);

// The folder the settings folder "Pelidor" lives in: AppDataDir() unless overridden.
// SetSettingsRoot points it elsewhere (tests, portable use); empty text restores it.
std::string SettingsRoot();
void SetSettingsRoot(const std::string& Folder);

// Called by LoadAppConfig when the running version differs from SetupVer, with the version
// text and the user identifier, before SetupVer takes the new version. The install-status
// report (product number kInstallReportProduct) starts from here. Errors it throws are
// ignored.
extern std::function<void(const std::string& Version, const std::string& UserGuid)>
    OnVersionChanged;
inline constexpr int kInstallReportProduct = 35;

// The user identifier: value "Qdx" of UserGuidKey in the registry stand-in. Returns the
// stored text when it is not empty, else a new GUID that it stores (and returns even when
// storing fails).
extern const char* const UserGuidKey;
std::string GetOrCreateUserGuid();
// A new random GUID in the braced form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string NewGuidText();

// The decimal separator of the user's numeric locale (LC_ALL, LC_NUMERIC, LANG), "." when
// that locale is not available. The process-wide locale is neither used nor changed.
std::string LocaleDecimalSeparator();
// A date-time value in the general format with up to 15 significant digits.
std::string FormatDateTimeValue(double Value, const std::string& DecimalSeparator);
// The reverse: optional sign, digits, the separator and digits, an exponent; nothing else
// (no thousands separators, no other decimal mark). False for other text.
bool ParseDateTimeValue(const std::string& Text, const std::string& DecimalSeparator,
                        double& Value);

} // namespace pelidor
