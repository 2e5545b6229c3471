// The shared file routines on Windows: program names found without their extension,
// files held open or read-only counting as locked, forced deletion of read-only files
// and empty folders, sizes, and the program's own version.
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/System.h"
#include "platform/win32/WinText.h"
#include "shell/SharedHelpers.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {
namespace {

using platform::win32::longPath;

TEST(WinSharedHelpers, ProgramNamesAreFoundWithoutTheirExtension) {
    TempTree tree;
    tree.write("bin.d/tool.exe", "MZ");
    tree.write("bin.d/script.cmd", "@echo off");
    EXPECT_TRUE(FileExistsEx(tree.path("bin.d/tool")));
    EXPECT_TRUE(FileExistsEx(tree.path("bin.d/script")));
    EXPECT_TRUE(FileExistsEx(tree.path("bin.d/TOOL.EXE")));
    // A name with an extension is taken as it is; a dot in a folder name is no extension.
    EXPECT_FALSE(FileExistsEx(tree.path("bin.d/tool.x")));
    EXPECT_FALSE(FileExistsEx(tree.path("bin.d/missing")));
    EXPECT_FALSE(FileExistsEx(""));
}

TEST(WinSharedHelpers, OpenAndReadOnlyFilesAreLockedAndForcedDeletionClearsTheAttribute) {
    TempTree tree;
    const std::string open = tree.write("open.txt", "x");
    const std::string ro = tree.write("\xE6\x97\xA5\xE6\x9C\xAC ro.txt", "x");
    EXPECT_FALSE(IsFileLocked(open));
    {
        const HANDLE h = CreateFileW(longPath(open).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(IsFileLocked(open));
        // A locked file is not deleted through the shell's route.
        EXPECT_FALSE(ShellDeleteFile(open, false));
        EXPECT_TRUE(test::pathExists(open));
        CloseHandle(h);
    }
    EXPECT_FALSE(IsFileLocked(tree.path("missing")));
    EXPECT_FALSE(IsFileLocked(tree.root())); // a folder is not a locked file
    ASSERT_TRUE(SetFileAttributesW(longPath(ro).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(IsFileLocked(ro));
    EXPECT_TRUE(ForceDeleteFile(ro));
    EXPECT_FALSE(test::pathExists(ro));
    EXPECT_TRUE(ForceDeleteFile(ro)); // already gone counts as deleted

    const std::string folder = tree.mkdir("\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xBE");
    EXPECT_TRUE(NtForceDeleteFile(folder));
    EXPECT_FALSE(test::pathExists(folder));
    tree.write("full/f.txt", "x");
    int error = 0;
    EXPECT_FALSE(NtForceDeleteFile(tree.path("full"), &error));
    EXPECT_TRUE(test::pathExists(tree.path("full/f.txt")));
    EXPECT_TRUE(ShellDeleteFile(tree.path("full"), false));
    EXPECT_FALSE(test::pathExists(tree.path("full")));
}

TEST(WinSharedHelpers, SizesAndTheProgramsOwnVersion) {
    TempTree tree;
    EXPECT_EQ(GetFileSizeByName(tree.write("five.bin", "12345")), 5);
    EXPECT_EQ(GetFileSizeByName(tree.path("missing")), 0);
    EXPECT_EQ(GetFileSizeByName(tree.root()), 0);
    TVSFixedFileInfo info{};
    GetFixedFileVersion(platform::executablePath(), info);
    EXPECT_EQ(info.dwFileVersionMS, ProgramVersionInfo().dwFileVersionMS);
    EXPECT_NE(ProgramVersionInfo().dwFileVersionMS, 0u);
    TWindowsVersion v = WindowsVersion();
    EXPECT_GE(v.MajorVersion, 5u);
}

} // namespace
} // namespace pelidor::test
