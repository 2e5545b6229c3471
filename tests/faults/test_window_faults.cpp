// Faults met through the windows: a backup folder that fills up during the backup before
// a permanent deletion, a ticked file whose folder was replaced by a link (or that was
// removed) before the deletion, a restore to a read-only file system, start-up with a
// damaged Config.ini and without language packs, and language packs whose format texts
// have the wrong placeholders. Real windows (offscreen), real files, real archives.
#include "backup/BackupArchive.h"
#include "backup/uBackup.h"
#include "services/uMainFormMenu.h"
#include "tests/faults/FaultSupport.h"
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/FileSizeLimit.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/toolkit/OrlaMsgBox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::fault_test::hiddenNames;
using pelidor::fault_test::pathExists;
using pelidor::fault_test::PrivateTmpfs;
using pelidor::fault_test::readAll;

namespace {

class WindowFaults : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        AppConfig.CompareMode = 2; // full content
        AppConfig.includePath = {data.root()};
        AppConfig.backPath = settings.mkdir("bak") + "/";
    }

    void openAndScan(int rows) {
        open();
        ASSERT_TRUE(scan());
        ASSERT_EQ(window->model->RowCount(), rows);
    }
    test::EnvGuard env;
    test::TempTree home; // $XDG_DATA_HOME: the trash
};

// ---- A backup folder that fills up --------------------------------------------------

// The ticked files do not fit into the backup folder: on a private tmpfs of 64 KiB
// when the system allows a mount, else with a file-size limit on the process. The
// archive fails as a whole; the question names the reason and Enter (No) deletes
// nothing; no archive, complete or partial, is left for the backup manager to offer.
TEST_F(WindowFaults, ABackupFolderThatFillsUpDeletesNothingAndLeavesNoArchive) {
    for (const char* f : {"a/big.bin", "b/big.bin", "c/big.bin"})
        data.writeSized(f, 200 * 1024, 5);
    const std::string bak = settings.mkdir("small-bak");
    PrivateTmpfs volume(bak, 64 * 1024);
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = true;
    AppConfig.backPath = bak + "/";
    openAndScan(3);
    tick({"b/big.bin", "c/big.bin"});

    Question seen;
    {
        std::optional<test::FileSizeLimit> limit;
        if (!volume.mounted())
            limit.emplace(64 * 1024);
        seen = deleteAnsweringWithEnter();
    }
    const char* reason = std::strerror(volume.mounted() ? ENOSPC : EFBIG);
    EXPECT_EQ(seen.focused, QStringLiteral("btnNo"));
    EXPECT_EQ(seen.text,
              QStringLiteral("The backup is incomplete: 2 of 2 files could not be stored.\r\n"
                             "The backup archive could not be written: \"") +
                  QString::fromStdString(bak) + QStringLiteral("/\". ") +
                  QString::fromLocal8Bit(reason) +
                  QStringLiteral(".\r\nDelete the ticked files permanently anyway? Files "
                                 "that were not backed up cannot be restored."));
    for (const char* f : {"a/big.bin", "b/big.bin", "c/big.bin"})
        EXPECT_EQ(readAll(data.path(f)), test::seededContent(200 * 1024, 5)) << f;
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/big.bin", "b/big.bin [x]", "c/big.bin [x]"}));
    EXPECT_TRUE(test::folderNames(bak).empty()) << "something was left in the backup folder";
    EXPECT_TRUE(window->LastBackupReport().archiveFailed);
    EXPECT_TRUE(window->btnDel->isEnabled());
    EXPECT_FALSE(window->DeletionRunning());

    TfrmBackup manager;
    manager.LoadBackupList(bak);
    EXPECT_EQ(manager.Files()->topLevelItemCount(), 0);
}

// The trash on a full disk: the ticked file and the trash share a private tmpfs that is
// full, so the trash cannot record where the file came from (a file-size limit on the
// process where mounts are not allowed). The failure dialog gives the system's reason;
// the file stays where it was and nothing is left half in the trash.
TEST_F(WindowFaults, ATrashOnAFullDiskFailsWithTheReasonAndKeepsTheFile) {
    const std::string volumePath = data.mkdir("volume");
    PrivateTmpfs volume(volumePath, 256 * 1024);
    data.writeSized("volume/a/x.bin", 20000, 4);
    data.writeSized("volume/b/x.bin", 20000, 4);
    const std::string share = data.mkdir("volume/share");
    env.set("XDG_DATA_HOME", share);
    AppConfig.includePath = {volumePath};
    AppConfig.RecycleDelete = true;
    openAndScan(2);
    tick({"volume/b/x.bin"});
    if (volume.mounted()) {
        const int fd = ::open(data.path("volume/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }

    std::vector<QString> messages;
    {
        std::optional<test::FileSizeLimit> limit;
        if (!volume.mounted())
            limit.emplace(1);
        messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnCancel);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              DeleteFailureMessage(data.path("volume/b/x.bin"), volume.mounted() ? ENOSPC : EFBIG));
    EXPECT_EQ(readAll(data.path("volume/b/x.bin")), test::seededContent(20000, 4));
    EXPECT_TRUE(test::folderNames(share + "/Trash/files").empty());
    EXPECT_TRUE(test::folderNames(share + "/Trash/info").empty());
    // No: the row stays ticked.
    EXPECT_EQ(listed(), (std::vector<std::string>{"volume/a/x.bin", "volume/b/x.bin [x]"}));
}

// ---- Files that change between the search and the deletion ---------------------------

// The folder of a ticked file replaced by a link: to the folder of the kept copy (the
// path now leads to another file: not deleted, the reason shown), and to the folder's
// own new place (the path leads to the very file the search found: it is deleted, and
// nothing else). A ticked file removed meanwhile: in the trash mode a failure naming
// the system's reason, in the permanent mode counted as deleted. Both modes.
TEST_F(WindowFaults, AFolderReplacedByALinkOrARemovedFileBeforeTheDeletion) {
    for (const bool toTrash : {true, false}) {
        SCOPED_TRACE(toTrash ? "trash" : "permanent");
        const std::string dir = toTrash ? "trash" : "permanent";
        test::TempTree caseHome;
        env.set("XDG_DATA_HOME", caseHome.root());
        for (const char* f : {"/keep/x.bin", "/b/x.bin", "/c/x.bin", "/d/x.bin"})
            data.writeSized(dir + f, 3000, 8);
        AppConfig.includePath = {data.path(dir)};
        AppConfig.RecycleDelete = toTrash;
        AppConfig.AutoBackup = false;
        openAndScan(4);
        tick({dir + "/b/x.bin", dir + "/c/x.bin", dir + "/d/x.bin"});

        ASSERT_EQ(::rename(data.path(dir + "/b").c_str(), data.path(dir + "/b-old").c_str()), 0);
        data.symlink(data.path(dir + "/keep"), dir + "/b");
        ASSERT_EQ(::rename(data.path(dir + "/c").c_str(), data.path(dir + "/c-moved").c_str()), 0);
        data.symlink(data.path(dir + "/c-moved"), dir + "/c");
        ASSERT_EQ(::unlink(data.path(dir + "/d/x.bin").c_str()), 0);

        const std::vector<QString> messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnOk);
        std::vector<QString> expected = {DeleteFailureMessage(
            data.path(dir + "/b/x.bin"), QStringLiteral("The file has changed since the search"))};
        if (toTrash)
            expected.push_back(DeleteFailureMessage(data.path(dir + "/d/x.bin"), ENOENT));
        EXPECT_EQ(messages, expected);

        const std::string content = test::seededContent(3000, 8);
        EXPECT_EQ(readAll(data.path(dir + "/keep/x.bin")), content);
        EXPECT_EQ(readAll(data.path(dir + "/b-old/x.bin")), content);
        EXPECT_FALSE(pathExists(data.path(dir + "/c-moved/x.bin")));
        EXPECT_TRUE(pathExists(data.path(dir + "/c-moved")));
        EXPECT_EQ(test::folderNames(caseHome.path("Trash/files")),
                  toTrash ? std::vector<std::string>{"x.bin"} : std::vector<std::string>{});
        // Yes to each failure: every processed row left the list, and the kept copy, alone
        // in its group, left with them.
        EXPECT_TRUE(listed().empty());
        window.reset();
    }
}

// ---- A restore to a read-only destination ---------------------------------------------

// The files of an archive go back to a read-only file system (a private tmpfs remounted
// read-only; where mounts are not allowed, a file stands where their folder was, which
// stops root as well). The backup manager says which files failed and why, and keeps
// the archive and its ticked row.
TEST_F(WindowFaults, ARestoreToAReadOnlyDestinationKeepsTheArchiveAndSaysWhy) {
    const std::string bak = settings.mkdir("restore-bak");
    const std::string volumePath = data.mkdir("volume");
    PrivateTmpfs volume(volumePath, 1 << 20);
    const std::vector<std::string> files = {data.write("volume/a.txt", "a"),
                                            data.write("volume/sub/b.txt", "b")};
    const std::string archive = backup::WriteBackupArchive(bak, files, 45634.5, ".").archivePath;
    ASSERT_FALSE(archive.empty());
    int error = EROFS;
    if (volume.mounted()) {
        for (const std::string& f : files)
            ::unlink(f.c_str());
        ::rmdir(data.path("volume/sub").c_str());
        ASSERT_TRUE(volume.makeReadOnly());
    } else {
        std::filesystem::remove_all(volumePath);
        data.write("volume", "a file where the folder was");
        error = ENOTDIR;
    }

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SelectLanguage("English");
    auto manager = std::make_unique<TfrmBackup>();
    manager->show();
    manager->LoadBackupList(bak);
    ASSERT_EQ(manager->Files()->topLevelItemCount(), 1);
    manager->Files()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    std::vector<QString> shown;
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            TMessageForm* dialog = manager->MsgBox()->OpenDialog();
            if (dialog == nullptr || !dialog->isVisible())
                return;
            shown.push_back(dialog->windowTitle() + u'|' + dialog->Message->text());
            dialog->finish(mrOk);
        });
        poll.start(5);
        QTest::mouseClick(manager->findChild<QAbstractButton*>(QStringLiteral("btnRestore")),
                          Qt::LeftButton);
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    EXPECT_EQ(shown, std::vector<QString>{
                         QStringLiteral("Error|Some files could not be restored, so their backup "
                                        "was kept:\r\n") +
                         QString::fromStdString(files[0]) + QStringLiteral(": ") + reason +
                         QStringLiteral("\r\n") + QString::fromStdString(files[1]) +
                         QStringLiteral(": ") + reason});
    EXPECT_TRUE(pathExists(archive));
    ASSERT_EQ(manager->Files()->topLevelItemCount(), 1);
    EXPECT_EQ(manager->Files()->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(hiddenNames(volumePath).empty());
    manager.reset();
    QLocale::setDefault(QLocale::c());
}

// ---- Start-up with a damaged Config.ini and no language packs ---------------------------

// Config.ini is binary noise and the language folder is missing: the window opens with
// the default settings, a search runs, and closing it saves the settings while keeping
// the bytes it did not understand.
TEST_F(WindowFaults, StartsWithADamagedSettingsFileAndWithoutLanguagePacks) {
    const std::string noise = test::seededContent(32 * 1024, 21);
    settings.write("Pelidor/Config.ini", noise);
    SetLanguageFolder(settings.path("no-languages") + "/");
    data.writeSized("a/x", 100, 1);
    data.writeSized("b/x", 100, 1);

    window = std::make_unique<TfrmQdxMain>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(AppConfig.CompareMode, 2);
    EXPECT_TRUE(AppConfig.RecycleDelete);
    EXPECT_EQ(AppConfig.Lang, "English");
    EXPECT_EQ(window->cbbMode->count(), 4);
    // The captions come from the English texts built into the program.
    EXPECT_EQ(window->btnScan->text(), QStringLiteral("Scan"));

    AppConfig.includePath = {data.root()};
    window->edPath->setText(QString::fromStdString(data.root()));
    ASSERT_TRUE(scan());
    EXPECT_EQ(window->model->RowCount(), 2);
    window->cbbMode->setCurrentIndex(2);
    window.reset();

    const std::string after = readAll(settings.path("Pelidor/Config.ini"));
    ASSERT_GE(after.size(), noise.size());
    EXPECT_TRUE(after.compare(0, noise.size(), noise) == 0) << "the unknown bytes were lost";
    LoadAppConfig();
    EXPECT_EQ(AppConfig.CompareMode, 2);
}

// The settings folder becomes read-only while the window is open (a private tmpfs
// remounted read-only; a folder without write permission for a normal user): closing
// the window cannot save, which it survives without a word, and the old file stays.
TEST_F(WindowFaults, ClosingWithAReadOnlySettingsFolderKeepsTheOldFile) {
    const std::string folder = settings.mkdir("Pelidor");
    PrivateTmpfs volume(folder, 1 << 20);
    if (!volume.mounted() && ::geteuid() == 0)
        GTEST_SKIP() << "root, and no private file system here: " << volume.error();
    open();
    const std::string old = readAll(folder + "/Config.ini");
    ASSERT_FALSE(old.empty());
    if (volume.mounted())
        ASSERT_TRUE(volume.makeReadOnly());
    else
        ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
    window->cbbMode->setCurrentIndex(3);
    window.reset();
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(readAll(folder + "/Config.ini"), old);
    EXPECT_EQ(test::folderNames(folder), std::vector<std::string>{"Config.ini"});
}

// ---- Format texts with the wrong placeholders ---------------------------------------------

// The texts filled with numbers or names outside the main window's progress texts (which
// tests/main covers): the question after an incomplete backup and the warning about a
// blocking security product. A pack text whose placeholders do not fit gives the English
// text; nothing prints garbage or reads a value that was not given.
TEST_F(WindowFaults, PackTextsWithWrongPlaceholdersFallBackToEnglish) {
    backup::BackupReport report;
    report.stored = 1;
    // Two files missing: the plural text is the one each case spoils.
    report.notBackedUp.push_back({"/data/x", backup::BackupProblem::KeptChanging, 0});
    report.notBackedUp.push_back({"/data/y", backup::BackupProblem::KeptChanging, 0});
    const QString englishHead =
        QStringLiteral("The backup is incomplete: 2 of 3 files could not be stored.\r\n");
    const QString englishWarning = QStringLiteral(
        "MalwareBytes is detected to block Pelidor from working. Click OK to get the solution.");

    const struct {
        const char* backupText;
        const char* warningText;
        const char* backupHead; // nullptr: the English text
        const char* warning;
    } cases[] = {
        {"Gesichert: %d von %d fehlen.", "%s wird blockiert.", "Gesichert: 2 von 3 fehlen.\r\n",
         "Pelidor wird blockiert."},
        {"%s von %s", "%d wird blockiert.", nullptr, nullptr},
        {"%d von %d von %d", "blockiert, ohne Namen", nullptr, nullptr},
        {"%d von %n", "%n %s", nullptr, "%n Pelidor"},
        {"%d von %d %", "%s%s", nullptr, "PelidorPelidor"},
    };
    writePack(settings.root(), "English", "English");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.backupText);
        writePack(settings.root(), "German", "Broken",
                  {{"BackupIncomplete", c.backupText}, {"MWDetected", c.warningText}});
        SetLanguageFolder(settings.root() + "/");
        SelectLanguage("Broken");
        const QString text = BackupIncompleteMessage(report, "/bak/");
        const QString head =
            c.backupHead != nullptr ? QString::fromUtf8(c.backupHead) : englishHead;
        EXPECT_TRUE(text.startsWith(head)) << text.toStdString();
        EXPECT_EQ(MalwarebytesWarningText(),
                  c.warning != nullptr ? QString::fromUtf8(c.warning) : englishWarning);
    }
}

} // namespace
