// pelidor-scan.exe end to end on Windows: the program started as a separate process
// with a UTF-16 command line, its exit status and its output in every format; folder
// names made absolute by the system's rules.
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "cli/ScanOptions.h"
#include "platform/System.h"
#include "platform/win32/WinText.h"
#include "tests/cli/MiniJson.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {
namespace {

using platform::win32::toUtf8;
using platform::win32::toWide;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Drains a pipe on its own thread so that neither pipe can fill up and block the child.
class PipeReader {
public:
    explicit PipeReader(HANDLE h)
        : h_(h), thread_([this] {
              char buffer[4096];
              DWORD got = 0;
              while (ReadFile(h_, buffer, sizeof buffer, &got, nullptr) && got > 0)
                  text_.append(buffer, got);
          }) {}
    std::string finish() {
        thread_.join();
        CloseHandle(h_);
        return text_;
    }

private:
    HANDLE h_;
    std::string text_;
    std::thread thread_;
};

std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

std::string scanProgram() {
    const std::string self = platform::executablePath();
    return self.substr(0, self.rfind('\\') + 1) + PELIDOR_SCAN_BINARY;
}

Outcome run(const std::vector<std::string>& args, const std::string& folder = {}) {
    Outcome o;
    std::wstring line = quoted(toWide(scanProgram()));
    for (const auto& a : args)
        line += L" " + quoted(toWide(a));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0))
        return o;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const std::wstring dir = toWide(folder);
    const bool started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       folder.empty() ? nullptr : dir.c_str(), &si, &pi);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    PipeReader out(outRead), err(errRead);
    if (started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        o.status = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    o.out = out.finish();
    o.err = err.finish();
    return o;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

struct Tree {
    TempTree t;
    // "Фото" and "日本": names outside every single ANSI code page together.
    const std::string photos = "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE";
    const std::string japan = "\xE6\x97\xA5\xE6\x9C\xAC";
    Tree() {
        t.writeSized(photos + "/a.jpg", 5000, 1);
        t.writeSized(japan + "/b.jpg", 5000, 1);
        t.writeSized("other/c.txt", 5000, 2);
        t.writeSized("other/d.txt", 5000, 2);
        t.writeSized("single.bin", 777, 3);
        t.setMTime(photos + "/a.jpg", 1700000000);
    }
    std::string p(const std::string& rel) const { return t.path(rel); }
};

TEST(WinScanCommand, FindsGroupsUnderNamesOutsideTheAnsiCodePage) {
    Tree m;
    Outcome o = run({m.t.root()});
    ASSERT_EQ(o.status, 0) << o.err;
    auto got = lines(o.out);
    ASSERT_EQ(got.size(), 5u) << o.out;
    EXPECT_EQ(got[2], "");
    EXPECT_EQ((std::set<std::string>{got[0], got[1], got[3], got[4]}),
              (std::set<std::string>{m.p(m.photos + "/a.jpg"), m.p(m.japan + "/b.jpg"),
                                     m.p("other/c.txt"), m.p("other/d.txt")}));
    // A start folder with such a name, given relative to the current folder.
    o = run({"--format", "csv", m.photos, m.japan}, m.t.root());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("group,path,size,mtime,ctime\r\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("1," + m.p(m.photos + "/a.jpg") + ",5000,2023-11-14T22:13:20,"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("1," + m.p(m.japan + "/b.jpg") + ",5000,"), std::string::npos);
}

TEST(WinScanCommand, JsonAndFiltersAndFolderCase) {
    Tree m;
    // The excluded folder written in other letter case is still the same folder.
    std::string upper = m.p("OTHER");
    Outcome o =
        run({"--format", "json", "--exclude-dir", upper, "--include", "*.JPG;*.txt", m.t.root()});
    ASSERT_EQ(o.status, 0) << o.err;
    const JsonValue doc = JsonReader::parse(o.out);
    const auto& groups = doc.at("groups").array();
    ASSERT_EQ(groups.size(), 1u) << o.out;
    std::set<std::string> paths;
    for (const auto& f : groups[0].at("files").array())
        paths.insert(f.at("path").str());
    EXPECT_EQ(paths, (std::set<std::string>{m.p(m.photos + "/a.jpg"), m.p(m.japan + "/b.jpg")}));
}

TEST(WinScanCommand, BadInputExitsWithTwo) {
    Tree m;
    for (const std::vector<std::string>& args : {std::vector<std::string>{m.p("missing")},
                                                 {m.p("single.bin")},
                                                 {"--mode", "bogus", "."},
                                                 std::vector<std::string>{}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_TRUE(o.out.empty());
        EXPECT_EQ(lines(o.err).size(), 1u) << o.err;
    }
    const Outcome v = run({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("pelidor-scan ", 0), 0u);
}

TEST(WinScanOptions, FoldersBecomeAbsoluteByTheSystemsRules) {
    using cli::absoluteFolder;
    const std::pair<std::string, std::string> cases[] = {
        {"a", "C:\\base\\dir\\a"},
        {"a\\", "C:\\base\\dir\\a"},
        {".\\a\\..\\b/c\\", "C:\\base\\dir\\b\\c"},
        {"..", "C:\\base"},
        {"..\\..", "C:\\"},
        {"D:\\x\\y\\..", "D:\\x"},
        {"D:/x/./y/", "D:\\x\\y"},
        {"\\\\srv\\share\\d\\", "\\\\srv\\share\\d"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(absoluteFolder(in, "C:\\base\\dir"), out) << in;
    TempTree tree;
    tree.mkdir("Dir");
    tree.write("file", "x");
    std::vector<std::string> out;
    std::string error;
    ASSERT_TRUE(cli::resolveFolders({tree.path("dir") + "\\", tree.path("DIR/../Dir")}, out, error))
        << error;
    EXPECT_EQ(out, (std::vector<std::string>{tree.path("dir"), tree.path("Dir")}));
    EXPECT_FALSE(cli::resolveFolders({tree.path("missing")}, out, error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_FALSE(cli::resolveFolders({tree.path("file")}, out, error));
    EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
}

} // namespace
} // namespace pelidor::test
