// Command-line options of pelidor-scan: parsing, checking and the mapping of a
// comparison mode onto the engine's mode and size window.
//
// Nothing here prints or exits; errors come back as one line of text (without the
// program-name prefix) for the caller to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/uSearchHolper.h"

namespace pelidor::cli {

inline constexpr std::string_view kProgramName = "pelidor-scan";

enum class ScanMode { Name, Partial, Full, Empty };
enum class OutputFormat { Text, Csv, Json };

struct ScanOptions {
    ScanMode mode = ScanMode::Full;
    OutputFormat format = OutputFormat::Text;
    std::vector<std::string> folders;     // as given on the command line
    std::vector<std::string> includes;    // one entry per --include value
    std::vector<std::string> excludes;    // one entry per --exclude value
    std::vector<std::string> excludeDirs; // one entry per --exclude-dir value
    std::vector<std::string> references;  // one entry per --reference value
    int64_t minSize = 0;
    int64_t maxSize = -1; // negative: no upper bound
    bool quiet = false;
    bool noCache = false;  // --no-cache: fingerprints are neither looked up nor stored
    std::string cacheFile; // --cache FILE; empty: the default cache
};

enum class ParseStatus { Run, Help, Version, Error };

struct ParseResult {
    ParseStatus status = ParseStatus::Error;
    ScanOptions options; // meaningful for Run
    std::string error;   // one line, for Error
};

// Parses the arguments that follow the program name. --help and --version end the
// parse at once; the first error ends it too.
ParseResult parseArguments(const std::vector<std::string>& args);

// A byte count: decimal digits with an optional sign and an optional K, M or G
// suffix (1024-based, either letter case). Empty on anything else or on overflow.
std::optional<int64_t> parseSize(std::string_view text);

std::string_view modeName(ScanMode mode);
std::optional<ScanMode> modeFromName(std::string_view name);
std::string_view formatName(OutputFormat format);

// What the engine is asked for: the main window's mapping of its four modes.
struct EngineRequest {
    TDuplicateType type = dtMd5;
    int64_t beginSize = 0;
    int64_t endSize = -1;
};
EngineRequest engineRequest(const ScanOptions& options);

// A folder as the engine gets it: absolute, lexically normal, without a trailing
// separator (except the root "/"). `base` stands for the current folder; empty means
// the process's current folder. Links are kept as written.
std::string absoluteFolder(const std::string& path, const std::string& base = {});

// Makes every folder absolute and checks that it exists and is a folder (links to
// folders count). On failure returns false with a one-line message in `error`.
bool resolveFolders(const std::vector<std::string>& folders, std::vector<std::string>& out,
                    std::string& error);

// The path for a one-line message: control characters shown as \n, \t or \xNN.
std::string printablePath(std::string_view path);

// The --help text.
std::string usageText();

} // namespace pelidor::cli
