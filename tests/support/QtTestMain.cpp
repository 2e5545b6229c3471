// Runs a Qt test program inside a QApplication (offscreen unless a platform is set)
// with a private runtime folder (mode 0700) and private config and data folders, so
// that nothing touches the real user's files.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    std::string root =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/pelidor-qt-tests-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    for (const char* sub : {"/runtime", "/config", "/data"})
        ::mkdir((root + sub).c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    int result = 0;
    {
        QApplication app(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return result;
}
