// The backup manager window with real widgets (offscreen), real archives in a temporary
// backup folder and the message dialogs answered by the test.
#include "backup/uBackup.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "shell/SharedHelpersGui.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/EnvGuard.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/OrlaWindowHint.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <memory>

namespace pelidor::backup_test {
namespace {

// Answers every message dialog of a component as it opens, and notes what it showed.
class DialogAnswerer {
public:
    DialogAnswerer(TOrlaMsgBox* box, std::vector<int> answers)
        : box_(box), answers_(std::move(answers)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    struct Shown {
        QString title;
        QString text;
    };
    std::vector<Shown> shown;

private:
    void poll() {
        TMessageForm* dialog = box_->OpenDialog();
        if (dialog == nullptr || !dialog->isVisible())
            return;
        shown.push_back({dialog->windowTitle(), dialog->Message->text()});
        const size_t i = shown.size() - 1;
        dialog->finish(i < answers_.size() ? answers_[i] : mrCancel);
    }
    TOrlaMsgBox* box_;
    std::vector<int> answers_;
    QTimer timer_;
};

class BackupWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool look = [] {
            ApplyOrlaLook(*static_cast<QApplication*>(QCoreApplication::instance()));
            return true;
        }();
        (void)look;
        env.set("LC_ALL", "C");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        SelectLanguage("English");
        AppConfig = TAppConfig();
        AppConfig.backPath = bak + "/";
    }
    void TearDown() override {
        window.reset();
        SetLanguageFolder({});
        QLocale::setDefault(QLocale::c());
    }

    void open() {
        window = std::make_unique<TfrmBackup>();
        window->show();
        QCoreApplication::processEvents();
    }
    template <typename T>
    T* child(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
    QAbstractButton* button(const char* name) const { return child<QAbstractButton>(name); }
    QTreeWidget* list() const { return window->Files(); }
    void tick(int row, bool on = true) {
        list()->topLevelItem(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
    // Writes an archive of the files at the given time and returns its path.
    std::string archiveOf(const std::vector<std::string>& paths, double when) {
        return backup::WriteBackupArchive(bak, paths, when, ".").archivePath;
    }

    test::EnvGuard env;
    test::TempTree tree;
    std::string bak = tree.mkdir("bak");
    std::unique_ptr<TfrmBackup> window;
};

TEST_F(BackupWindowTest, ShowsTheFolderAndItsArchivesInTheLanguageOfThePack) {
    const std::string a = tree.write("f/a", "content");
    const std::string archive = archiveOf({a}, 45634.5);
    for (const char* other : {"QdxFOO.bak", "Qdx45634.5.BAK", "qdx45634.5.bak"})
        writeAll(bak + "/" + other, "x");
    open();

    EXPECT_EQ(window->size(), QSize(650, 367));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_EQ(window->windowTitle(), "Backup Manager");
    EXPECT_EQ(child<QLabel>("lblBackup")->text(), "Backup folder:");
    EXPECT_EQ(child<QLineEdit>("edPath")->text(), QString::fromStdString(bak + "/"));
    EXPECT_TRUE(child<QLineEdit>("edPath")->isReadOnly());
    EXPECT_EQ(button("btnRestore")->text(), "Restore");
    EXPECT_EQ(button("btnRestore")->size(), QSize(130, 30));
    EXPECT_EQ(button("btnDelete")->toolTip(), "Delete the ticked backups");
    EXPECT_EQ(button("btnFolder")->text(), "");
    EXPECT_EQ(button("btnFolder")->toolTip(), "Choose another backup folder");
    EXPECT_EQ(list()->headerItem()->text(0), "File Name");
    EXPECT_EQ(list()->headerItem()->text(1), "File Size");
    EXPECT_EQ(list()->columnWidth(0), 400);
    EXPECT_EQ(list()->columnWidth(1), 100);
    EXPECT_EQ(list()->header()->height(), 22);

    ASSERT_EQ(list()->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = list()->topLevelItem(0);
    EXPECT_EQ(row->text(0), "12/8/24 12:00:00 PM");
    EXPECT_EQ(row->text(1), FormatFileSize(statOf(archive).st_size));
    EXPECT_EQ(row->data(0, TfrmBackup::kUserStrRole).toString(), QString::fromStdString(archive));
    EXPECT_EQ(list()->visualItemRect(row).height(), 22);
    EXPECT_FALSE(button("btnRestore")->isEnabled());
    EXPECT_FALSE(button("btnDelete")->isEnabled());
}

TEST_F(BackupWindowTest, TickingTheOnlyRowEnablesAndDisablesBothButtons) {
    archiveOf({tree.write("f/a", "a")}, 45634.5);
    open();
    for (const bool on : {true, false, true}) {
        tick(0, on);
        EXPECT_EQ(button("btnRestore")->isEnabled(), on);
        EXPECT_EQ(button("btnDelete")->isEnabled(), on);
    }
}

TEST_F(BackupWindowTest, DeletesTheTickedArchivesReadOnlyOrNot) {
    const std::string a = tree.write("f/a", "a");
    const std::string first = archiveOf({a}, 45634.5);
    const std::string second = archiveOf({a}, 45635.5);
    const std::string third = archiveOf({a}, 45636.5);
    ::chmod(second.c_str(), 0400);
    open();
    ASSERT_EQ(list()->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row)
        if (TfrmBackup::RowArchive(list()->topLevelItem(row)) != third)
            tick(row);

    QTest::mouseClick(button("btnDelete"), Qt::LeftButton);

    EXPECT_FALSE(pathExists(first));
    EXPECT_FALSE(pathExists(second));
    EXPECT_TRUE(pathExists(third));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(TfrmBackup::RowArchive(list()->topLevelItem(0)), third);
    EXPECT_FALSE(button("btnDelete")->isEnabled());
}

TEST_F(BackupWindowTest, RestoresEveryTickedArchiveAskingBeforeReplacingAFile) {
    const std::string a = tree.write("docs/a.txt", "archived a");
    const std::string b = tree.write("docs/sub/b.txt", "archived b");
    const std::string c = tree.write("other/c.txt", "archived c");
    const std::string first = archiveOf({a, b}, 45634.5);
    const std::string second = archiveOf({c}, 45635.5);
    writeAll(a, "newer a"); // exists: the user is asked
    ::unlink(b.c_str());    // gone with its folder: created again
    ::rmdir(tree.path("docs/sub").c_str());
    ::unlink(c.c_str());
    const std::string kept = archiveOf({tree.write("x", "x")}, 45636.5); // not ticked
    open();
    for (int row = 0; row < list()->topLevelItemCount(); ++row)
        if (TfrmBackup::RowArchive(list()->topLevelItem(row)) != kept)
            tick(row);
    DialogAnswerer answers(window->MsgBox(), {mrYes});

    QTest::mouseClick(button("btnRestore"), Qt::LeftButton);

    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0].title, "File Exists Alert");
    EXPECT_EQ(answers.shown[0].text, "Replace existing file a.txt?");
    EXPECT_EQ(readAll(a), "archived a");
    EXPECT_EQ(readAll(b), "archived b");
    EXPECT_EQ(readAll(c), "archived c");
    // Both restores completed: their archives and rows are gone.
    EXPECT_FALSE(pathExists(first));
    EXPECT_FALSE(pathExists(second));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(TfrmBackup::RowArchive(list()->topLevelItem(0)), kept);
    EXPECT_FALSE(window->Restoring());
    EXPECT_FALSE(window->Hint()->isShowing());
}

TEST_F(BackupWindowTest, AnswerNoKeepsTheFileAndStillCompletesTheRestore) {
    const std::string a = tree.write("f/a.txt", "archived");
    const std::string archive = archiveOf({a}, 45634.5);
    writeAll(a, "newer");
    open();
    tick(0);
    DialogAnswerer answers(window->MsgBox(), {mrNo});

    QTest::mouseClick(button("btnRestore"), Qt::LeftButton);

    EXPECT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(readAll(a), "newer");
    EXPECT_FALSE(pathExists(archive));
    EXPECT_EQ(list()->topLevelItemCount(), 0);
}

// Enter on the question before a file is replaced keeps the file (No is the default),
// and the manager, itself a modal window, takes no input while its restore runs.
TEST_F(BackupWindowTest, EnterKeepsTheFileAndTheManagerIsHeldDuringItsRestore) {
    const std::string a = tree.write("f/a.txt", "archived");
    const std::string other = tree.write("g/b.txt", "other");
    archiveOf({a}, 45634.5);
    const std::string second = archiveOf({other}, 45635.5);
    writeAll(a, "newer");
    window = std::make_unique<TfrmBackup>();
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    QCoreApplication::processEvents();
    tick(0); // the older archive is listed first
    ASSERT_NE(TfrmBackup::RowArchive(list()->topLevelItem(0)), second);
    // Counts the presses that reach the list.
    struct PressCounter : QObject {
        int presses = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            presses += e->type() == QEvent::MouseButtonPress ? 1 : 0;
            return false;
        }
    } counter;
    list()->viewport()->installEventFilter(&counter);
    QString question;
    int pressesWhileRestoring = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TMessageForm* dialog = window->MsgBox()->OpenDialog();
        if (dialog == nullptr || !dialog->isVisible() || !question.isEmpty())
            return;
        question = dialog->Message->text();
        // A click on the other archive's row while the restore runs does not arrive.
        QTreeWidget* files = list();
        const QRect row = files->visualItemRect(files->topLevelItem(1));
        const int before = counter.presses;
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          files->viewport()->mapTo(window.get(), row.center()));
        pressesWhileRestoring = counter.presses - before;
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    });
    poll.start(5);
    QTest::mouseClick(button("btnRestore"), Qt::LeftButton);
    poll.stop();
    // Afterwards the list takes clicks again.
    const QRect row = list()->visualItemRect(list()->topLevelItem(0));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      list()->viewport()->mapTo(window.get(), row.center()));
    EXPECT_GT(counter.presses, 0);
    EXPECT_EQ(pressesWhileRestoring, 0);
    EXPECT_EQ(question, "Replace existing file a.txt?");
    EXPECT_EQ(readAll(a), "newer");
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(TfrmBackup::RowArchive(list()->topLevelItem(0)), second);
    EXPECT_EQ(list()->topLevelItem(0)->checkState(0), Qt::Unchecked);
}

TEST_F(BackupWindowTest, AFailedRestoreKeepsTheArchiveAndSaysWhy) {
    const std::string a = tree.write("f/a.txt", "a");
    const std::string b = tree.write("f/b.txt", "b");
    const std::string archive = archiveOf({a, b}, 45634.5);
    ::unlink(a.c_str());
    ::unlink(b.c_str());
    tree.mkdir("f/b.txt"); // a folder where the file goes
    open();
    tick(0);
    DialogAnswerer answers(window->MsgBox(), {mrOk});

    QTest::mouseClick(button("btnRestore"), Qt::LeftButton);

    EXPECT_EQ(readAll(a), "a");
    EXPECT_TRUE(pathExists(archive));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(list()->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(button("btnRestore")->isEnabled());
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0].title, "Error");
    EXPECT_EQ(answers.shown[0].text,
              "Some files could not be restored, so their backup was kept:\r\n" +
                  QString::fromStdString(b) + ": a folder, a link or a special file is in the way");
}

TEST_F(BackupWindowTest, TheFailureMessageNamesTenFilesAtMost) {
    open();
    std::vector<backup::RestoreFailure> failures;
    for (int i = 0; i < 12; ++i)
        failures.push_back({"/f" + std::to_string(i), backup::RestoreProblem::SystemError, EACCES});
    const QStringList lines = window->FailureText(failures).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[1], "/f0: " + QString::fromStdString(std::strerror(EACCES)));
    EXPECT_EQ(lines[10], "/f9: " + QString::fromStdString(std::strerror(EACCES)));
    EXPECT_EQ(lines[11], "...");
}

TEST_F(BackupWindowTest, TheFolderButtonListsAnotherFolderAndKeepsItForLaterBackups) {
    const std::string other = tree.mkdir("other");
    backup::WriteBackupArchive(other, {tree.write("f/a", "a")}, 45700.25, ".");
    open();
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    QString shownRoot;
    window->FolderPicker = [&](QWidget*, const QString&, const QString& root, QString& folder) {
        shownRoot = root;
        folder = QString::fromStdString(other);
        return true;
    };

    QTest::mouseClick(button("btnFolder"), Qt::LeftButton);

    EXPECT_EQ(shownRoot, QString::fromStdString(bak + "/"));
    EXPECT_EQ(AppConfig.backPath, other + "/");
    EXPECT_EQ(child<QLineEdit>("edPath")->text(), QString::fromStdString(other + "/"));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(list()->topLevelItem(0)->text(0), "2/12/25 6:00:00 AM");
    // Cancelling the picker changes nothing.
    window->FolderPicker = [](QWidget*, const QString&, const QString&, QString&) { return false; };
    QTest::mouseClick(button("btnFolder"), Qt::LeftButton);
    EXPECT_EQ(AppConfig.backPath, other + "/");
}

TEST(BackupTimeText, ShortDateAndLongTimeWithoutZoneDateAloneAtMidnight) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(BackupTimeText(45634.5, us), "12/8/24 12:00:00 PM");
    EXPECT_EQ(BackupTimeText(45634.0, us), "12/8/24");
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(BackupTimeText(45634.75, de), "08.12.24 18:00:00");
    EXPECT_EQ(BackupTimeText(1e300, us), "");
}

} // namespace
} // namespace pelidor::backup_test
