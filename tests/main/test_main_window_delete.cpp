// Deleting the ticked files through the real window: the trash, the permanent deletion
// with and without a backup archive (read back with Python's zipfile), the failure
// dialog answered No, Yes and with its box ticked, a backup that cannot store every
// file, a trash that cannot take a file, and the commands held off while a deletion
// runs. Real files in temporary trees, found by real scans; the trash is a temporary
// $XDG_DATA_HOME.
#include "backup/BackupArchive.h"
#include "platform/Trash.h"
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/toolkit/OrlaWindowHint.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::test::isFolder;
using pelidor::test::pathExists;
using pelidor::test::readAll;

namespace {

// The entries of a ZIP file as Python's zipfile reads them: "ok" or "bad" for its own
// test of every entry, then per entry its name and its data as hex.
std::vector<std::string> zipEntries(const std::string& archive, bool& intact) {
    intact = false;
    const std::string command =
        "python3 -c 'import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "print(\"ok\" if z.testzip() is None else \"bad\")\n"
        "for i in z.infolist(): print(i.filename.encode(\"utf-8\", \"surrogateescape\").hex(), "
        "z.read(i).hex())' '" +
        archive + "' 2>/dev/null";
    std::vector<std::string> lines;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return lines;
    char buffer[65536];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    if (::pclose(pipe) != 0 || lines.empty())
        return {};
    intact = lines.front() == "ok";
    lines.erase(lines.begin());
    return lines;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

class DeleteTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        bak = settings.mkdir("bak");
        AppConfig.backPath = bak + "/";
        AppConfig.CompareMode = 2; // full content
        AppConfig.includePath = {data.root()};
    }

    // Opens the window and lists the duplicates of the data tree.
    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
        ASSERT_GT(window->model->RowCount(), 0);
    }

    test::EnvGuard env;
    test::TempTree home; // $XDG_DATA_HOME: the trash
    std::string bak;
};

TEST_F(DeleteTest, EachModeDeletesTheTickedFilesOnly) {
    struct Case {
        const char* what;
        bool recycle, autoBackup;
        bool toTrash, archive, hint;
    };
    const Case cases[] = {
        {"trash, backup on: no backup", true, true, true, false, false},
        {"permanent, no backup: at once", false, false, false, false, false},
        {"permanent with backup", false, true, false, true, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = "case" + std::to_string(n++);
        test::TempTree caseHome; // a trash of its own
        env.set("XDG_DATA_HOME", caseHome.root());
        const std::string trashFiles = caseHome.path("Trash/files");
        const std::string trashInfo = caseHome.path("Trash/info");
        const std::string caseBak = settings.mkdir(dir);
        AppConfig.backPath = caseBak + "/";
        data.writeSized(dir + "/a/photo.jpg", 3000, 1);
        data.writeSized(dir + "/b/photo copy.jpg", 3000, 1);
        data.writeSized(dir + "/c/read-only.jpg", 3000, 1);
        data.writeSized(dir + "/c/.hidden copy.jpg", 3000, 1);
        ::chmod(data.path(dir + "/c/read-only.jpg").c_str(), 0444);
        AppConfig.includePath = {data.path(dir)};
        AppConfig.RecycleDelete = c.recycle;
        AppConfig.AutoBackup = c.autoBackup;
        openAndScan();
        ASSERT_EQ(window->model->RowCount(), 4);
        tick({dir + "/c/read-only.jpg", dir + "/b/photo copy.jpg", dir + "/c/.hidden copy.jpg"});
        // Row order, which the archive follows.
        std::vector<std::string> ticked;
        for (const Row& r : rows())
            if (r.checked)
                ticked.push_back(r.path);
        ASSERT_EQ(ticked.size(), 3u);
        EXPECT_TRUE(window->btnDel->isEnabled());

        // Only a permanent deletion asks first.
        int questions = 0;
        ModalAnswerer unexpected([&](QWidget* w) {
            if (confirmPermanentDeletion(w))
                ++questions;
            else
                w->close();
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);

        EXPECT_EQ(questions, c.recycle ? 0 : 1);
        EXPECT_EQ(unexpected.count, questions);
        EXPECT_FALSE(window->DeletionRunning());
        EXPECT_TRUE(window->vtFile->isEnabled());
        EXPECT_FALSE(window->model->InUpdate());
        // The group is left with one row: it leaves the list.
        EXPECT_TRUE(listed().empty());
        EXPECT_TRUE(pathExists(data.path(dir + "/a/photo.jpg")));
        for (const std::string& t : ticked)
            EXPECT_FALSE(pathExists(data.path(t))) << t;
        // Nothing is ticked any more, whichever way the deletion ran.
        EXPECT_FALSE(window->btnDel->isEnabled());
        EXPECT_EQ(window->whintwin1->window() != nullptr, c.hint);
        EXPECT_FALSE(window->whintwin1->isShowing());

        const std::vector<std::string> trashed = test::folderNames(trashFiles);
        if (c.toTrash) {
            EXPECT_EQ(trashed, (std::vector<std::string>{".hidden copy.jpg", "photo copy.jpg",
                                                         "read-only.jpg"}));
            EXPECT_EQ(
                test::folderNames(trashInfo),
                (std::vector<std::string>{".hidden copy.jpg.trashinfo", "photo copy.jpg.trashinfo",
                                          "read-only.jpg.trashinfo"}));
            EXPECT_NE(readAll(trashInfo + "/photo copy.jpg.trashinfo")
                          .find("\nPath=" +
                                platform::trashInfoEscape(data.path(dir + "/b/photo copy.jpg")) +
                                "\n"),
                      std::string::npos);
            // The read-only flag was cleared on the way.
            struct stat st {};
            ::lstat((trashFiles + "/read-only.jpg").c_str(), &st);
            EXPECT_TRUE(st.st_mode & S_IWUSR);
        } else {
            EXPECT_TRUE(trashed.empty());
        }

        const std::vector<std::string> archives = test::folderNames(caseBak);
        if (c.archive) {
            ASSERT_EQ(archives.size(), 1u);
            EXPECT_EQ(archives[0].rfind("Qdx", 0), 0u);
            bool intact = false;
            const std::vector<std::string> entries =
                zipEntries(caseBak + "/" + archives[0], intact);
            EXPECT_TRUE(intact);
            ASSERT_EQ(entries.size(), ticked.size());
            for (size_t i = 0; i < ticked.size(); ++i)
                EXPECT_EQ(entries[i],
                          hex(data.path(ticked[i])) + " " + hex(test::seededContent(3000, 1)))
                    << ticked[i];
        } else {
            EXPECT_TRUE(archives.empty());
        }
        window.reset();
    }
}

TEST_F(DeleteTest, FailureDialogNoKeepsTheRestAndYesWithTheBoxGoesOnQuietly) {
    // Trash mode, the second of three ticked files locked by another program: No.
    data.writeSized("a/1.bin", 2000, 1);
    data.writeSized("b/1.bin", 2000, 1);
    data.writeSized("c/1.bin", 2000, 1);
    data.writeSized("d/1.bin", 2000, 1);
    AppConfig.RecycleDelete = true;
    openAndScan();
    tick({"b/1.bin", "c/1.bin", "d/1.bin"});
    const int fd = ::open(data.path("c/1.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    std::vector<QString> messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnCancel);
    ::close(fd);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], DeleteFailureMessage(data.path("c/1.bin"), EWOULDBLOCK));
    EXPECT_TRUE(messages[0].contains(QString::fromLocal8Bit(std::strerror(EWOULDBLOCK))));
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/1.bin", "c/1.bin [x]", "d/1.bin [x]"}));
    EXPECT_FALSE(pathExists(data.path("b/1.bin")));
    EXPECT_TRUE(pathExists(data.path("c/1.bin")));
    EXPECT_TRUE(pathExists(data.path("d/1.bin")));
    EXPECT_TRUE(window->vtFile->isEnabled());
    EXPECT_FALSE(window->DeletionRunning());
    window.reset();

    // Permanent mode, two of four ticked files replaced by folders after the scan: Yes
    // with "Do not show this notice again" ticked.
    test::TempTree more;
    for (const char* f : {"a/2.bin", "b/2.bin", "c/2.bin", "d/2.bin"})
        more.writeSized(f, 2000, 2);
    AppConfig.includePath = {more.root()};
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = false;
    open();
    ASSERT_TRUE(scan());
    for (int row = 0; row < window->model->RowCount(); ++row)
        window->model->setData(window->model->index(row, colFileName), Qt::Checked,
                               Qt::CheckStateRole);
    for (const char* f : {"b/2.bin", "d/2.bin"}) {
        ::unlink(more.path(f).c_str());
        more.mkdir(f);
    }
    messages.clear();
    {
        // Every copy is ticked: the user chooses to lose them.
        ModalAnswerer answer([&](QWidget* w) {
            if (confirmPermanentDeletion(w) || answerEveryCopyQuestion(w, QStringLiteral("btnYes")))
                return;
            auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w);
            ASSERT_NE(dlg, nullptr);
            messages.push_back(dlg->wslbl1->text());
            QTest::mouseClick(dlg->chkNoConfirm, Qt::LeftButton, {},
                              QPoint(7, dlg->chkNoConfirm->height() / 2));
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], DeleteFailureMessage(more.path("b/2.bin"), EISDIR));
    EXPECT_EQ(window->model->RowCount(), 0);
    EXPECT_FALSE(pathExists(more.path("a/2.bin")));
    EXPECT_TRUE(isFolder(more.path("b/2.bin")));
    EXPECT_FALSE(pathExists(more.path("c/2.bin")));
    EXPECT_TRUE(isFolder(more.path("d/2.bin")));
    // Only the file of the first run is in the trash.
    EXPECT_EQ(test::folderNames(home.path("Trash/files")), std::vector<std::string>{"1.bin"});
}

TEST_F(DeleteTest, ABackupThatCannotStoreEveryFileAsksFirstAndNoIsTheDefault) {
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = true;
    data.writeSized("a/x.bin", 2000, 1);
    data.writeSized("b/x.bin", 2000, 1);
    data.writeSized("c/x.bin", 2000, 1);
    openAndScan();
    tick({"b/x.bin", "c/x.bin"});

    // The backup folder is missing: nothing can be stored. Enter answers.
    AppConfig.backPath = settings.path("gone") + "/";
    auto [text, focused] = deleteAnsweringWithEnter();
    EXPECT_EQ(focused, QStringLiteral("btnNo"));
    EXPECT_EQ(text, QStringLiteral("The backup is incomplete: 2 of 2 files could not be stored.\r\n"
                                   "The backup archive could not be written: \"") +
                        QString::fromStdString(settings.path("gone")) +
                        QStringLiteral("/\". No such file or directory.\r\n"
                                       "Delete the ticked files permanently anyway? Files that "
                                       "were not backed up cannot be restored."));
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/x.bin", "b/x.bin [x]", "c/x.bin [x]"}));
    for (const char* f : {"a/x.bin", "b/x.bin", "c/x.bin"})
        EXPECT_TRUE(pathExists(data.path(f))) << f;
    EXPECT_TRUE(window->btnDel->isEnabled());
    EXPECT_FALSE(window->DeletionRunning());
    EXPECT_TRUE(window->LastBackupReport().archiveFailed);

    // A ticked file replaced by a pipe: the other one is stored, the user says Yes; the
    // pipe is not the file found, so it is not deleted (the failure dialog, Yes).
    AppConfig.backPath = bak + "/";
    ::unlink(data.path("b/x.bin").c_str());
    ASSERT_EQ(::mkfifo(data.path("b/x.bin").c_str(), 0644), 0);
    text.clear();
    QString failure;
    {
        ModalAnswerer answer([&](QWidget* w) {
            if (auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w)) {
                failure = dlg->wslbl1->text();
                QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
                return;
            }
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            text = form->Message->text();
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnYes")),
                              Qt::LeftButton);
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
    }
    EXPECT_EQ(failure,
              DeleteFailureMessage(data.path("b/x.bin"),
                                   QStringLiteral("The file has changed since the search")));
    EXPECT_EQ(text,
              QStringLiteral("The backup is incomplete: 1 file of 2 could not be stored.\r\n") +
                  QString::fromStdString(data.path("b/x.bin")) +
                  QStringLiteral(": not a regular file\r\nDelete the ticked files "
                                 "permanently anyway? Files that were not backed up "
                                 "cannot be restored."));
    // The group is left with one row: it leaves the list.
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(pathExists(data.path("b/x.bin")));
    EXPECT_FALSE(pathExists(data.path("c/x.bin")));
    const std::vector<std::string> archives = test::folderNames(bak);
    ASSERT_EQ(archives.size(), 1u);
    bool intact = false;
    EXPECT_EQ(zipEntries(bak + "/" + archives[0], intact),
              std::vector<std::string>{hex(data.path("c/x.bin")) + " " +
                                       hex(test::seededContent(2000, 1))});
    EXPECT_TRUE(intact);
}

TEST_F(DeleteTest, NothingTickedDeletesNothing) {
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = true;
    data.writeSized("a/x.bin", 2000, 1);
    data.writeSized("b/x.bin", 2000, 1);
    openAndScan();
    ModalAnswerer unexpected([](QWidget* w) { w->close(); });
    window->btnDeleteClick();
    EXPECT_EQ(unexpected.count, 0);
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/x.bin", "b/x.bin"}));
    EXPECT_TRUE(pathExists(data.path("a/x.bin")));
    EXPECT_TRUE(pathExists(data.path("b/x.bin")));
    EXPECT_TRUE(test::folderNames(bak).empty());
    EXPECT_TRUE(window->LastBackupReport().complete());
    EXPECT_FALSE(window->DeletionRunning());
}

TEST_F(DeleteTest, CommandsAreHeldOffWhileADeletionRuns) {
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = false;
    for (const char* f : {"a/x.bin", "b/x.bin", "c/x.bin", "d/x.bin"})
        data.writeSized(f, 2000, 1);
    openAndScan();
    tick({"a/x.bin", "b/x.bin"});
    ::unlink(data.path("a/x.bin").c_str());
    data.mkdir("a/x.bin"); // the first file fails

    struct Seen {
        bool running = false, searching = false, visibleAfterClose = false, menu = true;
        bool menuActed = true;
        int checked = -1, dialogs = 0;
    } seen;
    {
        ModalAnswerer answer([&](QWidget* w) {
            if (confirmPermanentDeletion(w))
                return;
            ++seen.dialogs;
            auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w);
            ASSERT_NE(dlg, nullptr);
            TfrmQdxMain& m = *window;
            seen.running = m.DeletionRunning();
            // What gets through to the window while the dialog is up does nothing.
            QTest::mouseClick(m.btnScan, Qt::LeftButton);
            QTest::mouseClick(m.btnSelAll, Qt::LeftButton);
            m.btnInvertSelection->click();
            m.KeepOneItemClick(1);
            m.btnDeleteClick();
            m.vtFile->selectionModel()->setCurrentIndex(m.model->index(3, 0),
                                                        QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
            seen.menu = m.pmPopBeforPopup();
            m.PopupItemClick(5);
            // Every entry of the main menu, the languages included, is held off too.
            const auto visibleWindows = [] {
                int n = 0;
                for (QWidget* top : QApplication::topLevelWidgets())
                    n += top->isVisible() && top->windowType() != Qt::Popup ? 1 : 0;
                return n;
            };
            const int windowsBefore = visibleWindows();
            const std::string lang = AppConfig.Lang;
            std::vector<QMenu*> menus{m.pmsys};
            while (!menus.empty()) {
                QMenu* menu = menus.back();
                menus.pop_back();
                for (QAction* a : menu->actions()) {
                    if (a->menu() != nullptr)
                        menus.push_back(a->menu());
                    else if (!a->isSeparator())
                        a->trigger();
                }
            }
            seen.menuActed = visibleWindows() != windowsBefore || AppConfig.Lang != lang;
            m.close();
            seen.visibleAfterClose = m.isVisible();
            seen.searching = m.State() == TfrmQdxMain::TMainState::Searching;
            seen.checked = m.model->CheckedCount();
            QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        QTest::qWait(50);
    }
    EXPECT_EQ(seen.dialogs, 1);
    EXPECT_TRUE(seen.running);
    EXPECT_FALSE(seen.searching);
    EXPECT_EQ(seen.checked, 2);
    EXPECT_FALSE(seen.menu);
    EXPECT_FALSE(seen.menuActed);
    EXPECT_TRUE(seen.visibleAfterClose);
    EXPECT_EQ(window->State(), TfrmQdxMain::TMainState::Results);
    EXPECT_EQ(listed(),
              (std::vector<std::string>{"a/x.bin [x]", "b/x.bin [x]", "c/x.bin", "d/x.bin"}));
    for (const char* f : {"b/x.bin", "c/x.bin", "d/x.bin"})
        EXPECT_TRUE(pathExists(data.path(f))) << f;

    // Afterwards the commands work again.
    QTest::mouseClick(window->btnSelAll, Qt::LeftButton);
    EXPECT_EQ(window->model->CheckedCount(), 4);
}

// A file on a file system whose trash cannot be used: a private tmpfs (in a mount
// namespace of this test program) whose top folder holds a file named like the trash
// folder. The trash call fails with the system's reason and the file stays.
TEST_F(DeleteTest, AFileWhoseTrashCannotBeUsedFailsWithTheSystemsReason) {
    const std::string mountPoint = data.mkdir("volume");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("pelidor-test", mountPoint.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
        GTEST_SKIP() << "no rights to mount a file system here: " << std::strerror(errno);
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    data.write("volume/.Trash-" + std::to_string(::getuid()), "not a folder");
    data.writeSized("volume/a.txt", 500, 7);
    data.writeSized("volume/b.txt", 500, 7);
    AppConfig.includePath = {mountPoint};
    AppConfig.RecycleDelete = true;
    openAndScan();
    tick({"volume/b.txt"});

    std::vector<QString> messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnOk);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], DeleteFailureMessage(data.path("volume/b.txt"), ENOTDIR));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Not a directory")));
    EXPECT_EQ(readAll(data.path("volume/b.txt")), test::seededContent(500, 7));
    // Yes: the row goes, the file stays; the group left with one row leaves the list.
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(pathExists(data.path("volume/a.txt")));
}

// Files that changed after the search are not deleted, in either mode: another size,
// the same size with a new time, the same size and time in another file (a copy put in
// its place), and a link to another file in its place (neither the link nor its target
// goes). The failure dialog names the reason; an unchanged file is still deleted.
TEST_F(DeleteTest, AFileChangedOrReplacedByALinkSinceTheSearchIsNotDeleted) {
    for (const bool toTrash : {true, false}) {
        SCOPED_TRACE(toTrash ? "trash" : "permanent");
        const std::string dir = toTrash ? "trash" : "permanent";
        test::TempTree caseHome;
        env.set("XDG_DATA_HOME", caseHome.root());
        for (const char* f :
             {"/a/x.bin", "/b/x.bin", "/c/x.bin", "/d/x.bin", "/e/x.bin", "/f/x.bin"})
            data.writeSized(dir + f, 2000, 3);
        AppConfig.includePath = {data.path(dir)};
        AppConfig.RecycleDelete = toTrash;
        AppConfig.AutoBackup = false;
        openAndScan();
        ASSERT_EQ(window->model->RowCount(), 6);
        tick({dir + "/b/x.bin", dir + "/c/x.bin", dir + "/d/x.bin", dir + "/e/x.bin",
              dir + "/f/x.bin"});

        const std::string grown = test::seededContent(2001, 4);
        data.write(dir + "/b/x.bin", grown);
        const std::string sameSize = test::seededContent(2000, 5);
        data.write(dir + "/c/x.bin", sameSize);
        struct stat before {};
        ASSERT_EQ(::lstat(data.path(dir + "/c/x.bin").c_str(), &before), 0);
        data.setMTime(dir + "/c/x.bin", before.st_mtim.tv_sec + 10);
        ::unlink(data.path(dir + "/d/x.bin").c_str());
        data.symlink(data.path(dir + "/a/x.bin"), dir + "/d/x.bin");
        // A copy with the very same size and times, renamed over the file found.
        ASSERT_EQ(::lstat(data.path(dir + "/f/x.bin").c_str(), &before), 0);
        data.writeSized(dir + "/f/copy", 2000, 3);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, data.path(dir + "/f/copy").c_str(), times, 0), 0);
        ASSERT_EQ(::rename(data.path(dir + "/f/copy").c_str(), data.path(dir + "/f/x.bin").c_str()),
                  0);

        std::vector<QString> messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnOk);
        const QString changed = QStringLiteral("The file has changed since the search");
        ASSERT_EQ(messages.size(), 4u);
        EXPECT_EQ(messages[0], DeleteFailureMessage(data.path(dir + "/b/x.bin"), changed));
        EXPECT_EQ(messages[1], DeleteFailureMessage(data.path(dir + "/c/x.bin"), changed));
        EXPECT_EQ(messages[2],
                  DeleteFailureMessage(data.path(dir + "/d/x.bin"),
                                       QStringLiteral("The file was replaced by a link")));
        EXPECT_EQ(messages[3], DeleteFailureMessage(data.path(dir + "/f/x.bin"), changed));
        EXPECT_TRUE(messages[2].startsWith(QStringLiteral("Unable to delete the file: \"")));

        EXPECT_EQ(readAll(data.path(dir + "/a/x.bin")), test::seededContent(2000, 3));
        EXPECT_EQ(readAll(data.path(dir + "/b/x.bin")), grown);
        EXPECT_EQ(readAll(data.path(dir + "/c/x.bin")), sameSize);
        struct stat link {};
        EXPECT_EQ(::lstat(data.path(dir + "/d/x.bin").c_str(), &link), 0);
        EXPECT_TRUE(S_ISLNK(link.st_mode));
        EXPECT_EQ(readAll(data.path(dir + "/f/x.bin")), test::seededContent(2000, 3));
        EXPECT_FALSE(pathExists(data.path(dir + "/e/x.bin")));
        EXPECT_EQ(test::folderNames(caseHome.path("Trash/files")),
                  toTrash ? std::vector<std::string>{"x.bin"} : std::vector<std::string>{});
        // Yes: the rows went, the files stayed; the group left with one row leaves the list.
        EXPECT_TRUE(listed().empty());
        window.reset();
    }
}

} // namespace
