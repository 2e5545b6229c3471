// The row menu of the results list through the real window: its entries, when it
// opens, deleting one file from it, the CSV export through the chosen file name, the
// desktop calls (without a file manager on the bus), and the main menu's entries for
// the settings and the backup manager.
#include "backup/BackupArchive.h"
#include "backup/uBackup.h"
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "ui/main/uProperties.h"
#include "ui/settings/uDFSettings.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::test::pathExists;
using pelidor::test::readAll;

namespace {

// Records the file addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

// Calls `act` with the first modal window that shows up while the caller waits in a
// modal call; without one after 5 s the test fails and the modal window is closed.
void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    timer->start(5);
}

class RowMenuTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        AppConfig.CompareMode = 2;
        AppConfig.includePath = {data.root()};
        data.writeSized("a/one.txt", 1000, 1);
        data.writeSized("b/one, copy.txt", 1000, 1);
        data.writeSized("c/one.txt", 1000, 1);
    }

    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
        ASSERT_EQ(window->model->RowCount(), 3);
    }

    // A right click on the row: it selects the row and pops the menu up when it may.
    void rightClick(int row) {
        TResultsView* view = window->vtFile;
        const QRect cell = view->visualRect(window->model->index(row, colFolderName));
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, cell.center());
    }

    // Chooses the row menu's entry with this Tag for the row, as the user does.
    void choose(const std::string& relative, int tag) {
        const int row = rowOf(relative);
        ASSERT_GE(row, 0) << relative;
        rightClick(row);
        ASSERT_TRUE(window->pmPop->isVisible());
        window->pmPop->actions().at(tag - 1)->trigger();
        window->pmPop->close();
    }

    std::vector<std::string> listed() const {
        std::vector<std::string> out;
        for (const Row& r : rows())
            out.push_back(r.path);
        return out;
    }

    // Chooses "Delete Permanently" for the row, confirms the question that comes first,
    // and answers every other dialog with its first button; "title|text" of each.
    std::vector<QString> deleteRow(const std::string& relative) {
        std::vector<QString> shown;
        ModalAnswerer answer([&](QWidget* w) {
            if (confirmPermanentDeletion(w))
                return;
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            shown.push_back(form->windowTitle() + u'|' + form->Message->text());
            form->FBtnFirst->click();
        });
        choose(relative, 5);
        return shown;
    }

    test::EnvGuard env;
    test::TempTree home;
};

TEST_F(RowMenuTest, EntriesSeparatorsAndWhenTheMenuOpens) {
    open();
    struct Entry {
        QString text;
        bool separator;
        int tag;
    };
    const auto entries = [&] {
        std::vector<Entry> out;
        for (const QAction* a : window->pmPop->actions())
            out.push_back({a->text(), a->isSeparator(), a->data().toInt()});
        return out;
    };
    std::vector<Entry> e = entries();
    ASSERT_EQ(e.size(), 10u);
    const char* const english[] = {"Open",
                                   "Properties",
                                   "Show in Folder",
                                   "",
                                   "Delete Permanently",
                                   "",
                                   "Export List to CSV...",
                                   "",
                                   "Replace with Hard Links",
                                   "Replace with Clones"};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(e[i].text, QLatin1String(english[i]));
        EXPECT_EQ(e[i].separator, i == 3 || i == 5 || i == 7);
        EXPECT_EQ(e[i].tag, i + 1);
    }

    // No rows: the menu stays shut.
    EXPECT_FALSE(window->pmPopBeforPopup());
    ASSERT_TRUE(scan());
    // Rows but none selected: still shut.
    EXPECT_EQ(window->vtFile->selectedRow(), -1);
    EXPECT_FALSE(window->pmPopBeforPopup());
    // A right click selects the row under the pointer and opens the menu there.
    rightClick(1);
    EXPECT_EQ(window->vtFile->selectedRow(), 1);
    EXPECT_TRUE(window->pmPop->isVisible());
    window->pmPop->close();

    // A pack without "ppmOpen": that entry becomes a separator.
    writePack(settings.root(), "English", "English", {{"ppmOpen", "<none>"}});
    SetLanguageFolder(settings.root() + "/");
    SelectLanguage("English");
    window->LanguageChanged();
    e = entries();
    ASSERT_EQ(e.size(), 10u);
    EXPECT_TRUE(e[2].separator);
    EXPECT_EQ(e[2].tag, 3);
    EXPECT_EQ(e[0].text, QStringLiteral("Open"));
}

TEST_F(RowMenuTest, DeleteFromTheRowMenuIsPermanentAndKeepsTheRowOnFailure) {
    AppConfig.RecycleDelete = true; // the row menu ignores it
    openAndScan();
    window->model->setData(window->model->index(rowOf("c/one.txt"), colFileName), Qt::Checked,
                           Qt::CheckStateRole);
    ASSERT_TRUE(window->btnDel->isEnabled());

    // Deleted for good, not into the trash; the row goes without a message.
    EXPECT_TRUE(deleteRow("a/one.txt").empty());
    EXPECT_FALSE(pathExists(data.path("a/one.txt")));
    EXPECT_FALSE(pathExists(home.path("Trash/files/one.txt")));
    EXPECT_EQ(listed(), (std::vector<std::string>{"b/one, copy.txt", "c/one.txt"}));

    // A folder where the file was: the error box, the row stays.
    ::unlink(data.path("b/one, copy.txt").c_str());
    data.mkdir("b/one, copy.txt");
    EXPECT_EQ(
        deleteRow("b/one, copy.txt"),
        std::vector<QString>{QStringLiteral("Error|Unable to delete the file: Is a directory")});
    EXPECT_EQ(listed(), (std::vector<std::string>{"b/one, copy.txt", "c/one.txt"}));

    // A file removed outside the program: counted as deleted, no message.
    ::unlink(data.path("c/one.txt").c_str());
    EXPECT_TRUE(deleteRow("c/one.txt").empty());
    EXPECT_EQ(listed(), std::vector<std::string>{"b/one, copy.txt"});
    // btnDel is left as it was.
    EXPECT_TRUE(window->btnDel->isEnabled());
}

// A file that changed since the search, or that a link replaced, is not deleted from
// the row menu either: the error box gives the reason and the row stays.
TEST_F(RowMenuTest, DeleteFromTheRowMenuLeavesAChangedFileAndALink) {
    openAndScan();
    data.writeSized("a/one.txt", 1000, 9); // same size, new content
    data.setMTime("a/one.txt", 1000000000);
    ::unlink(data.path("b/one, copy.txt").c_str());
    data.symlink(data.path("c/one.txt"), "b/one, copy.txt");

    EXPECT_EQ(deleteRow("a/one.txt"),
              std::vector<QString>{QStringLiteral("Error|Unable to delete the file: The file has "
                                                  "changed since the search")});
    EXPECT_EQ(deleteRow("b/one, copy.txt"),
              std::vector<QString>{QStringLiteral("Error|Unable to delete the file: The file was "
                                                  "replaced by a link")});
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/one.txt", "b/one, copy.txt", "c/one.txt"}));
    EXPECT_EQ(readAll(data.path("a/one.txt")), test::seededContent(1000, 9));
    EXPECT_EQ(readAll(data.path("b/one, copy.txt")), test::seededContent(1000, 1));
    EXPECT_EQ(readAll(data.path("c/one.txt")), test::seededContent(1000, 1));
}

TEST_F(RowMenuTest, ExportWritesTheChosenFile) {
    open();
    int asked = 0;
    QString answer;
    window->CsvFileChooser = [&](QWidget* owner) {
        EXPECT_EQ(owner, window.get());
        ++asked;
        return answer;
    };
    // An empty list: no question, nothing written.
    window->ExportToCsv();
    EXPECT_EQ(asked, 0);

    ASSERT_TRUE(scan());
    window->vtFile->selectionModel()->setCurrentIndex(window->model->index(0, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    // Cancelled: nothing written.
    window->PopupItemClick(7);
    EXPECT_EQ(asked, 1);

    const std::string csv = data.path("out/list.csv");
    data.write("out/list.csv", "old content that is replaced");
    answer = QString::fromStdString(csv);
    choose("a/one.txt", 7);
    EXPECT_EQ(asked, 2);
    const std::string text = readAll(csv);
    EXPECT_EQ(text.rfind("\"File Name\",\"File Size\",\"Modify time\",\"Create time\"\r\n", 0), 0u);
    EXPECT_NE(text.find("\"" + data.path("b/one, copy.txt") + "\",\"1,000 Bytes\","),
              std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);

    // A file that cannot be written: the error box names it and the reason.
    std::vector<QString> shown;
    whenModal([&](QWidget* w) {
        auto* form = qobject_cast<TMessageForm*>(w);
        ASSERT_NE(form, nullptr);
        shown.push_back(form->Message->text());
        QTest::mouseClick(form->FBtnFirst, Qt::LeftButton);
    });
    answer = QString::fromStdString(data.path("missing/list.csv"));
    window->ExportToCsv();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QStringLiteral("Unable to save the list to the file: \"") + answer +
                            QStringLiteral("\". No such file or directory."));
}

TEST_F(RowMenuTest, OpenPropertiesAndShowInFolderReachTheDesktop) {
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path("no-bus-here"));
    openAndScan();
    UrlRecorder urls;
    choose("a/one.txt", 1);
    choose("a/one.txt", 3); // no file manager: the folder is opened
    ASSERT_EQ(urls.opened.size(), 2u);
    EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(data.path("a/one.txt"))));
    EXPECT_EQ(urls.opened[1], QUrl::fromLocalFile(QString::fromStdString(data.path("a/"))));

    choose("a/one.txt", 2); // no file manager: the program's own window
    auto* props = window->findChild<TfrmProperties*>();
    ASSERT_NE(props, nullptr);
    EXPECT_TRUE(props->isVisible());
    EXPECT_EQ(props->FileName(), data.path("a/one.txt"));
    props->close();
}

TEST_F(RowMenuTest, MainMenuOpensTheSettingsAndTheBackupManager) {
    const std::string bak = settings.mkdir("bak");
    AppConfig.backPath = bak + "/";
    const std::string file = data.path("a/one.txt");
    for (double when : {45634.5, 45635.25})
        ASSERT_EQ(backup::WriteBackupArchive(bak, {file}, when, ".").stored, 1u);
    open();
    QAction* settingsEntry = window->pmsys->findChild<QAction*>(QStringLiteral("ppmSettings"));
    QAction* restoreEntry = window->pmsys->findChild<QAction*>(QStringLiteral("ppmRestoreFile"));
    ASSERT_NE(settingsEntry, nullptr);
    ASSERT_NE(restoreEntry, nullptr);
    EXPECT_EQ(settingsEntry->text(), QStringLiteral("Settings..."));
    EXPECT_EQ(restoreEntry->text(), QStringLiteral("Restore from Backup..."));

    QString page;
    whenModal([&](QWidget* w) {
        auto* dlg = qobject_cast<TfrmDFSettings*>(w);
        ASSERT_NE(dlg, nullptr);
        page = dlg->ActivePage();
        dlg->reject();
    });
    settingsEntry->trigger();
    EXPECT_EQ(page, QStringLiteral("Sys"));

    int listedArchives = -1;
    whenModal([&](QWidget* w) {
        auto* manager = qobject_cast<TfrmBackup*>(w);
        ASSERT_NE(manager, nullptr);
        listedArchives = manager->Files()->topLevelItemCount();
        manager->close();
    });
    restoreEntry->trigger();
    EXPECT_EQ(listedArchives, 2);

    // The captions follow the language; the menu is rebuilt with all its rows.
    SelectLanguage("German");
    window->LanguageChanged();
    settingsEntry = window->pmsys->findChild<QAction*>(QStringLiteral("ppmSettings"));
    ASSERT_NE(settingsEntry, nullptr);
    EXPECT_NE(settingsEntry->text(), QStringLiteral("Settings..."));
    EXPECT_EQ(window->pmsys->actions().size(), 11);
    EXPECT_EQ(settingsEntry->data().toInt(), 7);
}

} // namespace

#include "test_main_window_delete_rowmenu.moc"
