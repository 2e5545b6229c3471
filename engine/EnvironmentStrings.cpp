#include "engine/EnvironmentStrings.h"

#include "engine/uSearchHolper.h"
#include "platform/Environment.h"
#include "platform/Paths.h"

namespace pelidor {

const char* const SpecialFolderNames[61] = {
    "DESKTOP",
    "INTERNET",
    "PROGRAMS",
    "CONTROLS",
    "PRINTERS",
    "PERSONAL",
    "FAVORITES",
    "STARTUP",
    "RECENT",
    "SENDTO",
    "BITBUCKET",
    "STARTMENU",
    "MYDOCUMENTS",
    "MYMUSIC",
    "MYVIDEO",
    "",
    "DESKTOPDIRECTORY",
    "DRIVES",
    "NETWORK",
    "NETHOOD",
    "FONTS",
    "TEMPLATES",
    "COMMON_STARTMENU",
    "COMMON_PROGRAMS",
    "COMMON_STARTUP",
    "COMMON_DESKTOPDIRECTORY",
    "APPDATA",
    "PRINTHOOD",
    "LOCAL_APPDATA",
    "ALTSTARTUP",
    "COMMON_ALTSTARTUP",
    "COMMON_FAVORITES",
    "INTERNET_CACHE",
    "COOKIES",
    "HISTORY",
    "COMMON_APPDATA",
    "WINDOWS",
    "SYSTEM",
    "PROGRAM_FILES",
    "MYPICTURES",
    "PROFILE",
    "SYSTEMX86",
    "PROGRAM_FILESX86",
    "PROGRAM_FILES_COMMON",
    "PROGRAM_FILES_COMMONX86",
    "COMMON_TEMPLATES",
    "COMMON_DOCUMENTS",
    "COMMON_ADMINTOOLS",
    "ADMINTOOLS",
    "CONNECTIONS",
    "",
    "",
    "",
    "COMMON_MUSIC",
    "COMMON_PICTURES",
    "COMMON_VIDEO",
    "RESOURCES",
    "RESOURCES_LOCALIZED",
    "COMMON_OEM_LINKS",
    "CDBURN_AREA",
    "",
};

const std::vector<std::string>& EnvironmentVariableNames() {
    static const std::vector<std::string> names = {"ALLUSERSPROFILE",
                                                   "CommonProgramFiles",
                                                   "HOMEDRIVE",
                                                   "HOMEPATH",
                                                   "LOCALAPPDATA",
                                                   "ProgramData",
                                                   "ProgramFiles",
                                                   "PUBLIC",
                                                   "SystemDrive",
                                                   "SystemRoot",
                                                   "TEMP",
                                                   "TMP",
                                                   "USERPROFILE",
                                                   "windir",
                                                   "ProgramW6432",
                                                   "CommonProgramW6432",
                                                   "HOME",
                                                   "TMPDIR",
                                                   "XDG_CONFIG_HOME",
                                                   "XDG_DATA_HOME",
                                                   "XDG_CACHE_HOME"};
    return names;
}

TEnvironmentStrings::TEnvironmentStrings() {
    for (int i = 0; i <= 60; ++i) {
        const std::string name = SpecialFolderNames[i];
        if (name.empty())
            continue;
        const std::string path = platform::specialFolder(name == "MYDOCUMENTS" ? 5 : i);
        if (!path.empty())
            Add(name, path);
    }
    // The low-integrity data folder has no counterpart here: it names the user's data
    // folder, and it is always present.
    Add("LOCAL_APPDATA_LOW", platform::dataHome());
    for (const auto& variable : EnvironmentVariableNames()) {
        const std::string value = platform::getEnv(variable.c_str());
        if (!value.empty())
            Add(variable, value);
    }
}

void TEnvironmentStrings::Add(const std::string& Name, const std::string& Value) {
    for (const auto& rec : PathList)
        if (EngineCompareText(rec->Name, Name) == 0)
            return;
    PathList.push_back(std::make_unique<TEnvironmentStringRec>(TEnvironmentStringRec{Name, Value}));
}

std::string TEnvironmentStrings::GetPathName(int Index) const {
    if (Index < 0 || Index >= PathCount())
        return {};
    return PathList[static_cast<size_t>(Index)]->Value;
}

std::string TEnvironmentStrings::ExpandPath(const std::string& Path) const {
    std::string result = Path;
    for (const auto& rec : PathList) {
        const std::string placeholder = "%" + rec->Name + "%";
        std::string out;
        size_t pos = 0;
        bool changed = false;
        while (pos < result.size()) {
            const size_t hit = [&] {
                for (size_t i = pos; i + placeholder.size() <= result.size(); ++i)
                    if (EngineCompareText(std::string_view(result).substr(i, placeholder.size()),
                                          placeholder) == 0)
                        return i;
                return std::string::npos;
            }();
            if (hit == std::string::npos)
                break;
            out.append(result, pos, hit - pos);
            out += rec->Value;
            pos = hit + placeholder.size();
            changed = true;
        }
        if (changed) {
            out.append(result, pos, std::string::npos);
            result = std::move(out);
        }
    }
    return result;
}

const TEnvironmentStrings* PathVariables() {
    static const TEnvironmentStrings table;
    return &table;
}

std::string ExpandVars(const std::string& Path) {
    const TEnvironmentStrings* table = PathVariables();
    return table != nullptr ? table->ExpandPath(Path) : Path;
}

const std::string& AppDataDir() {
    static const std::string dir = platform::withTrailingSep(platform::configHome());
    return dir;
}

} // namespace pelidor
