// Path variables: names such as DESKTOP or TEMP bound to folders of the running
// system, and the expansion of %NAME% placeholders in folder texts.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace pelidor {

struct TEnvironmentStringRec {
    std::string Name;
    std::string Value;
};

class TEnvironmentStrings {
public:
    // Builds the table from the special folders and the environment of this moment.
    TEnvironmentStrings();

    std::vector<std::unique_ptr<TEnvironmentStringRec>> PathList;

    int PathCount() const { return static_cast<int>(PathList.size()); }
    // The value of entry Index, or empty text outside 0 .. PathCount - 1.
    std::string GetPathName(int Index) const;
    // Replaces every %NAME% (letters without regard to case) with its folder, entry by
    // entry in table order; unknown placeholders stay as they are.
    std::string ExpandPath(const std::string& Path) const;

    // Adds a pair unless an entry of that name (ASCII case-insensitive) exists.
    void Add(const std::string& Name, const std::string& Value);
};

// The special-folder names indexed by number 0..60 (empty where a number has no name).
extern const char* const SpecialFolderNames[61];
// The environment variables of the table, in order.
const std::vector<std::string>& EnvironmentVariableNames();

// The program's table, built on first use.
const TEnvironmentStrings* PathVariables();
// PathVariables()->ExpandPath(Path).
std::string ExpandVars(const std::string& Path);

// The user's application settings folder with one trailing separator
// ($XDG_CONFIG_HOME/), computed once.
const std::string& AppDataDir();

} // namespace pelidor
