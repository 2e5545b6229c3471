#include "cli/ScanOptions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempTree.h"

namespace pelidor::cli {
namespace {

using Args = std::vector<std::string>;
using Strings = std::vector<std::string>;

struct GoodCase {
    Args args;
    ScanMode mode;
    OutputFormat format;
    Strings folders;
    int64_t minSize;
    int64_t maxSize;
    bool quiet;
    Strings includes{};
    Strings excludes{};
    Strings excludeDirs{};
};

TEST(ScanOptions, AcceptsGoodArgumentLists) {
    constexpr auto Full = ScanMode::Full;
    constexpr auto Text = OutputFormat::Text;
    const GoodCase cases[] = {
        {{"dir"}, Full, Text, {"dir"}, 0, -1, false},
        {{"--mode", "name", "a", "b"}, ScanMode::Name, Text, {"a", "b"}, 0, -1, false},
        {{"--mode=partial", "--format=csv", "x"},
         ScanMode::Partial,
         OutputFormat::Csv,
         {"x"},
         0,
         -1,
         false},
        {{"x", "--format", "json", "--mode", "empty", "--quiet"},
         ScanMode::Empty,
         OutputFormat::Json,
         {"x"},
         0,
         -1,
         true},
        {{"--mode=name", "--mode=full", "-q", "x"}, Full, Text, {"x"}, 0, -1, true},
        {{"--min-size", "4K", "--max-size=2M", "x"},
         Full,
         Text,
         {"x"},
         4096,
         2 * 1024 * 1024,
         false},
        {{"--min-size=1g", "--max-size", "-1", "x"},
         Full,
         Text,
         {"x"},
         1024 * 1024 * 1024,
         -1,
         false},
        {{"--min-size=7", "--max-size=7", "x"}, Full, Text, {"x"}, 7, 7, false},
        // Any negative upper bound means none, so it never conflicts with the lower one.
        {{"--min-size=100", "--max-size=-5", "x"}, Full, Text, {"x"}, 100, -5, false},
        {{"--include", "*.jpg;*.png", "--include=*.gif", "--exclude", "-tmp*", "--exclude-dir",
          "/a", "--exclude-dir=b", "x"},
         Full,
         Text,
         {"x"},
         0,
         -1,
         false,
         {"*.jpg;*.png", "*.gif"},
         {"-tmp*"},
         {"/a", "b"}},
        // "--" ends the options; a lone "-" is a folder name.
        {{"--", "--mode", "-x"}, Full, Text, {"--mode", "-x"}, 0, -1, false},
        {{"-", "--", "-q"}, Full, Text, {"-", "-q"}, 0, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParseResult r = parseArguments(c.args);
        ASSERT_EQ(r.status, ParseStatus::Run) << r.error;
        EXPECT_EQ(r.options.mode, c.mode);
        EXPECT_EQ(r.options.format, c.format);
        EXPECT_EQ(r.options.folders, c.folders);
        EXPECT_EQ(r.options.minSize, c.minSize);
        EXPECT_EQ(r.options.maxSize, c.maxSize);
        EXPECT_EQ(r.options.quiet, c.quiet);
        EXPECT_EQ(r.options.includes, c.includes);
        EXPECT_EQ(r.options.excludes, c.excludes);
        EXPECT_EQ(r.options.excludeDirs, c.excludeDirs);
        EXPECT_TRUE(r.options.references.empty());
    }
    // --reference may be repeated; each value is kept as given.
    const ParseResult r = parseArguments({"--reference", "/ref", "x", "--reference=other"});
    ASSERT_EQ(r.status, ParseStatus::Run) << r.error;
    EXPECT_EQ(r.options.references, (std::vector<std::string>{"/ref", "other"}));
    EXPECT_EQ(r.options.folders, std::vector<std::string>{"x"});
    EXPECT_EQ(parseArguments({"x", "--reference"}).status, ParseStatus::Error);
}

TEST(ScanOptions, CacheOptions) {
    const struct {
        Args args;
        bool noCache;
        std::string cacheFile;
    } cases[] = {
        {{"x"}, false, ""},
        {{"--no-cache", "x"}, true, ""},
        {{"--cache", "/tmp/c.sqlite", "x"}, false, "/tmp/c.sqlite"},
        {{"--cache=rel/c", "x"}, false, "rel/c"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parseArguments(c.args);
        ASSERT_EQ(r.status, ParseStatus::Run) << r.error;
        EXPECT_EQ(r.options.noCache, c.noCache);
        EXPECT_EQ(r.options.cacheFile, c.cacheFile);
    }
}

TEST(ScanOptions, HelpAndVersionEndTheParse) {
    const std::pair<Args, ParseStatus> cases[] = {
        {{"--help"}, ParseStatus::Help},
        {{"-h"}, ParseStatus::Help},
        {{"x", "--version"}, ParseStatus::Version},
        {{"-V"}, ParseStatus::Version},
        {{"--help", "--bogus"}, ParseStatus::Help},
        {{"--bogus", "--help"}, ParseStatus::Error},
        {{"--", "--help"}, ParseStatus::Run},
    };
    for (const auto& [args, status] : cases)
        EXPECT_EQ(parseArguments(args).status, status) << ::testing::PrintToString(args);
}

TEST(ScanOptions, RejectsBadArgumentListsWithOneLine) {
    const std::pair<Args, std::string> cases[] = {
        {{}, "no folder given"},
        {{"--quiet"}, "no folder given"},
        {{"--bogus", "x"}, "unknown option '--bogus'"},
        {{"--bogus=1", "x"}, "unknown option '--bogus'"},
        {{"--mod", "name", "x"}, "unknown option '--mod'"},
        {{"-x", "x"}, "unknown option '-x'"},
        {{"-qh", "x"}, "unknown option '-qh'"},
        {{"--mode", "fast", "x"}, "unknown mode 'fast'"},
        {{"--mode", "Name", "x"}, "unknown mode 'Name'"},
        {{"--format", "xml", "x"}, "unknown format 'xml'"},
        {{"--mode"}, "option --mode needs a value"},
        {{"--no-cache", "--cache", "f", "x"}, "--no-cache and --cache exclude each other"},
        {{"--no-cache=1", "x"}, "option --no-cache takes no value"},
        {{"x", "--cache"}, "option --cache needs a value"},
        {{"x", "--max-size"}, "option --max-size needs a value"},
        {{"--include=", "x"}, "option --include needs a value"},
        {{"--quiet=1", "x"}, "option --quiet takes no value"},
        {{"--min-size", "abc", "x"}, "invalid size 'abc' for --min-size"},
        {{"--max-size", "12Q", "x"}, "invalid size '12Q' for --max-size"},
        {{"--max-size", "1.5K", "x"}, "invalid size '1.5K'"},
        {{"--max-size", "9223372036854775808", "x"}, "invalid size"},
        {{"--min-size", "8589934592G", "x"}, "invalid size"},
        {{"--min-size", "-5", "x"}, "--min-size must not be negative"},
        {{"--min-size=10", "--max-size=5", "x"}, "--min-size 10 is larger than --max-size 5"},
        {{"--mode", "bad\nmode", "x"}, "unknown mode 'bad\\nmode'"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ParseResult r = parseArguments(args);
        ASSERT_EQ(r.status, ParseStatus::Error);
        EXPECT_NE(r.error.find(message), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
}

TEST(ScanOptions, ParsesSizes) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const std::pair<std::string, std::optional<int64_t>> cases[] = {
        {"0", 0},
        {"123", 123},
        {"+7", 7},
        {"-1", -1},
        {"1K", 1024},
        {"1k", 1024},
        {"3M", 3 * 1024 * 1024},
        {"2G", 2LL * 1024 * 1024 * 1024},
        {"-2k", -2048},
        {"9223372036854775807", kMax},
        {"8589934591G", 8589934591LL * 1024 * 1024 * 1024},
        {"9223372036854775808", std::nullopt},
        {"8589934592G", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"K", std::nullopt},
        {"-", std::nullopt},
        {"1KB", std::nullopt},
        {"1T", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"0x10", std::nullopt},
        {"--1", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseSize(text), expected) << "'" << text << "'";
}

TEST(ScanOptions, MapsModesOntoTheEngine) {
    struct Case {
        ScanMode mode;
        int64_t minSize, maxSize;
        TDuplicateType type;
        int64_t begin, end;
    };
    const Case cases[] = {
        {ScanMode::Name, 0, -1, dtFileName, 0, -1},   {ScanMode::Name, 5, 100, dtFileName, 5, 100},
        {ScanMode::Partial, 0, -1, dtMd5Part, 1, -1}, {ScanMode::Partial, 3, 9, dtMd5Part, 3, 9},
        {ScanMode::Full, 0, 50, dtMd5, 1, 50},        {ScanMode::Full, 10, -1, dtMd5, 10, -1},
        {ScanMode::Empty, 10, 100, dtDataSize, 0, 0}, {ScanMode::Empty, 0, -1, dtDataSize, 0, 0},
    };
    for (const auto& c : cases) {
        ScanOptions o;
        o.mode = c.mode;
        o.minSize = c.minSize;
        o.maxSize = c.maxSize;
        const EngineRequest r = engineRequest(o);
        SCOPED_TRACE(std::string(modeName(c.mode)));
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.beginSize, c.begin);
        EXPECT_EQ(r.endSize, c.end);
    }
}

TEST(ScanOptions, MakesFoldersAbsoluteAndNormal) {
    const std::pair<std::string, std::string> cases[] = {
        {"a", "/base/dir/a"}, {"a/", "/base/dir/a"}, {"./a/../b//c/", "/base/dir/b/c"},
        {".", "/base/dir"},   {"..", "/base"},       {"../..", "/"},
        {"/", "/"},           {"/x/y/..", "/x"},     {"/x/./y/", "/x/y"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(absoluteFolder(in, "/base/dir"), out) << in;

    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(absoluteFolder("."), cwd);
}

TEST(ScanOptions, ChecksThatFoldersExist) {
    test::TempTree tree;
    tree.mkdir("dir");
    tree.write("file", "x");
    tree.symlink(tree.path("dir"), "link");
    tree.symlink(tree.path("gone"), "dangling");

    std::vector<std::string> out;
    std::string error;
    ASSERT_TRUE(resolveFolders({tree.path("dir") + "/", tree.path("link"), tree.path("dir/../dir")},
                               out, error))
        << error;
    // Links stay as written: the user chose them.
    EXPECT_EQ(out, (Strings{tree.path("dir"), tree.path("link"), tree.path("dir")}));

    const std::pair<std::string, std::string> bad[] = {
        {tree.path("missing"), "'" + tree.path("missing") + "' does not exist"},
        {tree.path("dangling"), "does not exist"},
        {tree.path("file"), "'" + tree.path("file") + "' is not a folder"},
        {tree.path("file/sub"), "is not a folder"},
        {"", "empty folder name"},
    };
    for (const auto& [folder, message] : bad) {
        error.clear();
        EXPECT_FALSE(resolveFolders({tree.path("dir"), folder}, out, error)) << folder;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(ScanOptions, PrintablePathShowsControlCharacters) {
    EXPECT_EQ(printablePath("a\nb\tc\x01\x7f d\xc3\xa4"), "a\\nb\\tc\\x01\\x7F d\xc3\xa4");
}

} // namespace
} // namespace pelidor::cli
