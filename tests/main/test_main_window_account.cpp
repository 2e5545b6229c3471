// What the main window tells the user and what it lets the keyboard do: the summary
// after a search and after a deletion, btnDel and the ticked-files line following the
// ticks, the empty list of a search that found nothing, the settings written when they
// are made, the shortcuts, the menus from the keyboard, Enter for Scan and folders added
// by dropping. Real windows on real trees; the trash is a temporary $XDG_DATA_HOME.
#include "config/uAppConfig.h"
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "ui/toolkit/OrlaWindowHint.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::test::pathExists;

namespace {

class AccountTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        bak = settings.mkdir("bak");
        AppConfig.backPath = bak + "/";
        AppConfig.CompareMode = 2; // full content
        AppConfig.includePath = {data.root()};
    }

    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
    }

    // The settings as Config.ini holds them now.
    static TAppConfig stored() {
        const TAppConfig live = AppConfig;
        LoadAppConfig();
        const TAppConfig onDisk = AppConfig;
        AppConfig = live;
        return onDisk;
    }

    test::EnvGuard env;
    test::TempTree home;
    std::string bak;
};

TEST_F(AccountTest, TheSummaryAfterADeletionSaysWhatWasDone) {
    const struct {
        const char* what;
        bool recycle, backup;
        QString expected; // the archive's name follows where a backup was written
    } cases[] = {
        {"trash", true, false,
         QStringLiteral("Moved to the Trash: 2 files. Size: ") + FormatFileSize(6100) + u'.'},
        {"permanent", false, false,
         QStringLiteral("Deleted permanently: 2 files. Space freed: ") + FormatFileSize(6100) +
             u'.'},
        {"permanent with backup", false, true,
         QStringLiteral("Deleted permanently: 2 files. Space freed: ") + FormatFileSize(6100) +
             QStringLiteral(". Backup archive: ")},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = "case" + std::to_string(n++);
        // Two groups: one keeps two rows, the other is left with one row.
        data.writeSized(dir + "/a/x.bin", 3000, 1);
        data.writeSized(dir + "/b/x.bin", 3000, 1);
        data.writeSized(dir + "/c/x.bin", 3000, 1);
        data.writeSized(dir + "/a/y.bin", 3100, 2);
        data.writeSized(dir + "/b/y.bin", 3100, 2);
        AppConfig.includePath = {data.path(dir)};
        AppConfig.RecycleDelete = c.recycle;
        AppConfig.AutoBackup = c.backup;
        openAndScan();
        ASSERT_EQ(window->model->RowCount(), 5);
        // The search's summary adds the space of the copies beyond one per group.
        EXPECT_TRUE(window->lblcaption->text().endsWith(
            QStringLiteral("Space taken by the extra copies: ") + FormatFileSize(2 * 3000 + 3100) +
            u'.'))
            << window->lblcaption->text().toStdString();
        EXPECT_TRUE(window->lblTicked->text().isEmpty());
        EXPECT_FALSE(window->btnDel->isEnabled());

        tick({dir + "/b/x.bin", dir + "/b/y.bin"});
        EXPECT_TRUE(window->btnDel->isEnabled());
        EXPECT_EQ(window->lblTicked->text(),
                  QStringLiteral("Ticked: 2 files (") + FormatFileSize(6100) + u')');

        ModalAnswerer confirm([](QWidget* w) {
            if (!confirmPermanentDeletion(w))
                w->close();
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));

        const QString summary = window->lblcaption->text();
        EXPECT_TRUE(summary.startsWith(c.expected)) << summary.toStdString();
        if (c.backup) {
            const std::vector<std::string> archives = test::folderNames(bak);
            ASSERT_EQ(archives.size(), 1u);
            EXPECT_EQ(summary, c.expected + QString::fromStdString(archives[0]) + u'.');
            ::unlink((bak + "/" + archives[0]).c_str());
        } else {
            EXPECT_EQ(summary, c.expected);
        }
        EXPECT_EQ(window->LastDeletion().done, 2);
        EXPECT_EQ(window->LastDeletion().failed, 0);
        // The group left with one row has left the list; the other keeps its two rows.
        EXPECT_EQ(listed(), (std::vector<std::string>{dir + "/a/x.bin", dir + "/c/x.bin"}));
        EXPECT_TRUE(pathExists(data.path(dir + "/a/y.bin")));
        EXPECT_FALSE(window->btnDel->isEnabled());
        EXPECT_TRUE(window->lblTicked->text().isEmpty());
        window.reset();
    }
}

TEST_F(AccountTest, AFailureAnsweredNoLeavesTheButtonOnAndIsCounted) {
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
    const std::vector<QString> messages = deleteAnsweringFailures(&TfrmDeleteComfirm::btnCancel);
    ::close(fd);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/1.bin", "c/1.bin [x]", "d/1.bin [x]"}));
    // Rows are still ticked and nothing runs: Delete can be clicked again.
    EXPECT_TRUE(window->btnDel->isEnabled());
    EXPECT_EQ(window->lblTicked->text(),
              QStringLiteral("Ticked: 2 files (") + FormatFileSize(4000) + u')');
    EXPECT_EQ(window->lblcaption->text(), QStringLiteral("Moved to the Trash: 1 file. Size: ") +
                                              FormatFileSize(2000) +
                                              QStringLiteral(". Not deleted: 1 file."));
}

TEST_F(AccountTest, ASearchThatFindsNothingSaysSoInTheList) {
    data.writeSized("a/1.bin", 2000, 1);
    data.writeSized("b/2.bin", 2000, 2);
    openAndScan();
    EXPECT_EQ(window->model->RowCount(), 0);
    EXPECT_EQ(window->vtFile->emptyText(), QStringLiteral("No duplicates found"));
    EXPECT_FALSE(window->pnlOp->isVisible());

    // A search with results clears it.
    data.writeSized("c/1.bin", 2000, 1);
    ASSERT_TRUE(scan());
    EXPECT_EQ(window->model->RowCount(), 2);
    EXPECT_TRUE(window->vtFile->emptyText().isEmpty());
}

TEST_F(AccountTest, TheSummaryReadsInChinese) {
    AppConfig.Lang = "ChineseSimplified";
    data.writeSized("a/1.bin", 2000, 1);
    data.writeSized("b/1.bin", 2000, 1);
    AppConfig.RecycleDelete = true;
    openAndScan();
    tick({"b/1.bin"});
    QTest::mouseClick(window->btnDel, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
    // Full-width stops, no blank between the sentences.
    EXPECT_EQ(window->lblcaption->text(), QStringLiteral("已移到回收站：1 个文件。大小：") +
                                              FormatFileSize(2000) + QChar(0x3002));
    EXPECT_TRUE(listed().empty());
}

TEST_F(AccountTest, SettingsAreWrittenWhenTheyAreMade) {
    AppConfig.CompareMode = 2;
    open();
    window->cbbMode->setCurrentIndex(0);
    EXPECT_EQ(stored().CompareMode, 0);
    window->cbbMode->setCurrentIndex(3);
    EXPECT_EQ(stored().CompareMode, 3);

    // A folder dropped on the window is added once, and kept at once.
    test::TempTree more;
    const std::string extra = more.mkdir("photos");
    EXPECT_EQ(window->AddFolders({QString::fromStdString(extra)}), 1);
    EXPECT_EQ(window->AddFolders(
                  {QString::fromStdString(extra + "/"), QString::fromStdString(data.root())}),
              0);
    EXPECT_EQ(stored().includePath, (TStringList{data.root(), extra}));
    EXPECT_EQ(window->edPath->text(), QString::fromStdString(data.root() + ";" + extra + ";"));
}

TEST_F(AccountTest, TheFrequentCommandsHaveKeys) {
    data.writeSized("a/1.bin", 2000, 1);
    data.writeSized("b/1.bin", 2000, 1);
    data.writeSized("c/1.bin", 2000, 1);
    AppConfig.RecycleDelete = true;
    open();
    // Window shortcuts work in the active window.
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->vtFile->setFocus();

    // F5 scans.
    {
        QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
        QTest::keyClick(window->vtFile, Qt::Key_F5);
        ASSERT_TRUE(ended.count() > 0 || ended.wait(60000));
    }
    ASSERT_EQ(window->model->RowCount(), 3);
    // Ctrl+A ticks all, Ctrl+I inverts.
    QTest::keyClick(window->vtFile, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->CheckedCount(), 3);
    EXPECT_TRUE(window->btnDel->isEnabled());
    QTest::keyClick(window->vtFile, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(window->CheckedCount(), 0);
    EXPECT_FALSE(window->btnDel->isEnabled());
    // Delete deletes the ticked files (to the trash here: no question).
    tick({"b/1.bin"});
    QTest::keyClick(window->vtFile, Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
    EXPECT_FALSE(pathExists(data.path("b/1.bin")));
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/1.bin", "c/1.bin"}));

    // The hints name the keys.
    EXPECT_TRUE(window->btnScan->toolTip().endsWith(QStringLiteral("(F5)")));
    EXPECT_TRUE(window->btnDel->toolTip().endsWith(QStringLiteral("(Del)")))
        << window->btnDel->toolTip().toStdString();
    EXPECT_TRUE(window->btnSelAll->toolTip().endsWith(QStringLiteral("(Ctrl+A)")));

    // Enter in the folder line scans.
    {
        QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
        window->edPath->setFocus();
        QTest::keyClick(window->edPath, Qt::Key_Return);
        ASSERT_TRUE(ended.count() > 0 || ended.wait(60000));
    }

    // F10 opens the main menu with its first entry active; Escape closes it.
    QTest::keyClick(window->vtFile, Qt::Key_F10);
    ASSERT_TRUE(waitUntil([&] { return window->pmsys->isVisible(); }));
    EXPECT_NE(window->pmsys->activeAction(), nullptr);
    window->pmsys->close();

    // Shift+F10 opens the row menu on the current row.
    window->vtFile->setCurrentIndex(window->model->index(1, 0));
    QTest::keyClick(window->vtFile, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(waitUntil([&] { return window->pmPop->isVisible(); }));
    EXPECT_EQ(window->vtFile->selectedRow(), 1);
    window->pmPop->close();

    // The caption-bar buttons take the focus.
    EXPECT_NE(window->btnCaptionMenu->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(window->btnCaptionMenu->accessibleName().isEmpty());
}

} // namespace
