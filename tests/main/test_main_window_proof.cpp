// What the window asks and proves before it destroys a file: the byte proof against a
// copy that stays (an MD5 collision pair, files alike only at head and tail, a kept
// copy changed since the search), groups whose every copy is ticked, the question
// before a permanent deletion, and one list of files for the backup and the deletion.
// Real files found by real scans; the trash is a temporary $XDG_DATA_HOME.
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/Md5Collision.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/toolkit/OrlaWindowHint.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include <string>
#include <vector>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::test::pathExists;
using pelidor::test::readAll;

namespace {

const std::string kCollisionA = test::kMd5CollisionA + "a report";
const std::string kCollisionB = test::kMd5CollisionB + "a report";

QString messageText(const char* key) {
    return QString::fromStdString(ReadLangString("Message", key));
}

class ProofTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        bak = settings.mkdir("bak");
        AppConfig.backPath = bak + "/";
        AppConfig.CompareMode = 2;
        AppConfig.includePath = {data.root()};
        AppConfig.RecycleDelete = true;
    }

    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
        ASSERT_GT(window->model->RowCount(), 0);
    }

    // Clicks Delete and answers each dialog in turn: a message dialog by clicking the
    // named button ("btnYes", "btnNo", or "Enter" for its default), the failure dialog
    // with Yes or No ("failYes", "failNo"). Returns what each dialog said.
    std::vector<QString> deleteAnswering(std::vector<QString> answers) {
        std::vector<QString> seen;
        size_t next = 0;
        ModalAnswerer answer([&](QWidget* w) {
            const QString how = next < answers.size() ? answers[next] : QStringLiteral("close");
            ++next;
            if (auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w)) {
                seen.push_back(QStringLiteral("failure|") + dlg->wslbl1->text());
                QTest::mouseClick(how == QStringLiteral("failYes") ? dlg->btnOk : dlg->btnCancel,
                                  Qt::LeftButton);
                return;
            }
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            QWidget* focus = form->focusWidget();
            seen.push_back(form->Message->text() + u'|' +
                           (focus != nullptr ? focus->objectName() : QString()));
            if (how == QStringLiteral("Enter"))
                QTest::keyClick(focus != nullptr ? focus : form, Qt::Key_Return);
            else if (auto* b = form->findChild<QPushButton*>(how))
                b->click();
            else
                form->close();
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        EXPECT_EQ(next, answers.size()) << "dialogs answered";
        return seen;
    }

    test::EnvGuard env;
    test::TempTree home;
    std::string bak;
};

// Files the fingerprints group although their bytes differ: the list shows them as
// duplicates, but the deletion refuses either copy and says why, whatever the way of
// deleting (trash, permanent with a backup, the row menu).
TEST_F(ProofTest, FingerprintTwinsAreListedButNeverDeleted) {
    const std::string head(1024, 'h'), tail(1024, 't');
    struct Case {
        const char* what;
        int mode;
        bool recycle;
        std::string a, b;
    };
    const Case cases[] = {
        {"an MD5 collision pair, full mode, trash", 2, true, kCollisionA, kCollisionB},
        {"equal head and tail, partial mode, permanent with a backup", 1, false,
         head + std::string(30000, 'x') + tail, head + std::string(30000, 'y') + tail},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = "case" + std::to_string(n++);
        data.write(dir + "/one/report.bin", c.a);
        data.write(dir + "/two/report copy.bin", c.b);
        AppConfig.includePath = {data.path(dir)};
        AppConfig.CompareMode = c.mode;
        AppConfig.RecycleDelete = c.recycle;
        AppConfig.AutoBackup = true;
        openAndScan();
        ASSERT_EQ(groups().size(), 1u);
        ASSERT_EQ(window->model->RowCount(), 2);
        tick({dir + "/two/report copy.bin"});

        std::vector<QString> answers;
        if (!c.recycle)
            answers.push_back(QStringLiteral("btnYes")); // delete permanently
        answers.push_back(QStringLiteral("failNo"));
        const std::vector<QString> seen = deleteAnswering(answers);
        ASSERT_EQ(seen.size(), answers.size());
        EXPECT_EQ(seen.back(), QStringLiteral("failure|") +
                                   DeleteFailureMessage(data.path(dir + "/two/report copy.bin"),
                                                        messageText("ProofCopiesDiffer")));
        EXPECT_EQ(readAll(data.path(dir + "/one/report.bin")), c.a);
        EXPECT_EQ(readAll(data.path(dir + "/two/report copy.bin")), c.b);
        EXPECT_TRUE(test::folderNames(home.path("Trash/files")).empty());
        EXPECT_EQ(listed(), (std::vector<std::string>{dir + "/one/report.bin",
                                                      dir + "/two/report copy.bin [x]"}));

        // The row menu's permanent delete of the other copy: the error box says why.
        window->vtFile->selectionModel()->setCurrentIndex(
            window->model->index(rowOf(dir + "/one/report.bin"), 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        std::vector<QString> shown;
        {
            ModalAnswerer answer([&](QWidget* w) {
                if (confirmPermanentDeletion(w))
                    return;
                auto* form = qobject_cast<TMessageForm*>(w);
                ASSERT_NE(form, nullptr);
                shown.push_back(form->Message->text());
                form->FBtnFirst->click();
            });
            window->PopupItemClick(5);
        }
        EXPECT_EQ(shown,
                  std::vector<QString>{RowDeleteFailureMessage(messageText("ProofCopiesDiffer"))});
        EXPECT_EQ(readAll(data.path(dir + "/one/report.bin")), c.a);
        window.reset();
    }
}

// A kept copy that changed after the search proves nothing: the ticked file stays.
TEST_F(ProofTest, AKeptCopyChangedSinceTheSearchProvesNothing) {
    data.writeSized("a/x.bin", 5000, 1);
    data.writeSized("b/x.bin", 5000, 1);
    openAndScan();
    tick({"b/x.bin"});
    data.writeSized("a/x.bin", 5000, 2); // same size, other bytes, a new time
    data.setMTime("a/x.bin", 1000000000);
    const std::vector<QString> seen = deleteAnswering({QStringLiteral("failNo")});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0],
              QStringLiteral("failure|") +
                  DeleteFailureMessage(data.path("b/x.bin"), messageText("ProofNoCopyLeft")));
    EXPECT_EQ(readAll(data.path("b/x.bin")), test::seededContent(5000, 1));
}

// Groups whose every copy is ticked are found before anything is deleted: No (the
// default) deletes nothing and keeps every tick; Yes deletes them, and the other groups
// with the proof. The name mode asks too, but compares no content.
TEST_F(ProofTest, GroupsThatWouldLoseEveryCopyAreAskedAboutFirst) {
    data.writeSized("x/1.bin", 3000, 1);
    data.writeSized("x/2.bin", 3000, 1);
    data.writeSized("y/1.bin", 4000, 2);
    data.writeSized("y/2.bin", 4000, 2);
    data.writeSized("y/3.bin", 4000, 2);
    openAndScan();
    tick({"x/1.bin", "x/2.bin", "y/2.bin", "y/3.bin"});
    const QString question =
        QStringLiteral("Every copy is ticked in 1 group (2 files): deleting them leaves no "
                       "copy of those files. Delete them anyway?");

    std::vector<QString> seen = deleteAnswering({QStringLiteral("Enter")});
    EXPECT_EQ(seen, std::vector<QString>{question + QStringLiteral("|btnNo")});
    EXPECT_EQ(listed(), (std::vector<std::string>{"x/1.bin [x]", "x/2.bin [x]", "y/1.bin",
                                                  "y/2.bin [x]", "y/3.bin [x]"}));
    for (const char* f : {"x/1.bin", "x/2.bin", "y/2.bin", "y/3.bin"})
        EXPECT_TRUE(pathExists(data.path(f))) << f;
    EXPECT_TRUE(window->btnDel->isEnabled());

    seen = deleteAnswering({QStringLiteral("btnYes")});
    EXPECT_EQ(seen.size(), 1u);
    // The group left with one row leaves the list.
    EXPECT_TRUE(listed().empty());
    for (const char* f : {"x/1.bin", "x/2.bin", "y/2.bin", "y/3.bin"})
        EXPECT_FALSE(pathExists(data.path(f))) << f;
    EXPECT_TRUE(pathExists(data.path("y/1.bin")));
    EXPECT_EQ(test::folderNames(home.path("Trash/info")).size(), 4u);
    window.reset();

    // The name mode: same name and size, other bytes; one copy stays, so nothing is
    // asked and nothing is compared.
    test::TempTree names;
    names.writeSized("a/notes.txt", 100, 1);
    names.writeSized("b/notes.txt", 100, 2);
    AppConfig.includePath = {names.root()};
    AppConfig.CompareMode = 0;
    open();
    ASSERT_TRUE(scan());
    ASSERT_EQ(window->model->RowCount(), 2);
    window->model->setData(window->model->index(1, colFileName), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(deleteAnswering({}).empty());
    EXPECT_EQ(window->model->RowCount(), 0); // a group of one row leaves the list
    EXPECT_EQ(test::folderNames(names.path("a")).size() + test::folderNames(names.path("b")).size(),
              1u);
}

// The question before a permanent deletion: the number of files, the space, whether a
// backup is written; Enter answers No and nothing happens.
TEST_F(ProofTest, APermanentDeletionIsAskedFirstAndNoIsTheDefault) {
    data.writeSized("a/x.bin", 2048, 1);
    data.writeSized("b/x.bin", 2048, 1);
    data.writeSized("c/x.bin", 2048, 1);
    AppConfig.RecycleDelete = false;
    for (const bool backup : {true, false}) {
        SCOPED_TRACE(backup ? "with a backup" : "without a backup");
        AppConfig.AutoBackup = backup;
        openAndScan();
        tick({"b/x.bin", "c/x.bin"});
        const std::vector<QString> seen = deleteAnswering({QStringLiteral("Enter")});
        EXPECT_EQ(seen, std::vector<QString>{
                            QStringLiteral("Delete 2 files permanently? They do not go to the "
                                           "Trash.\r\nSpace freed: 4.0 KB\r\n") +
                            (backup ? QStringLiteral("A backup archive of them is written first.")
                                    : QStringLiteral("No backup is written: they cannot be "
                                                     "restored.")) +
                            QStringLiteral("|btnNo")});
        EXPECT_EQ(listed(), (std::vector<std::string>{"a/x.bin", "b/x.bin [x]", "c/x.bin [x]"}));
        for (const char* f : {"a/x.bin", "b/x.bin", "c/x.bin"})
            EXPECT_TRUE(pathExists(data.path(f))) << f;
        EXPECT_TRUE(test::folderNames(bak).empty());
        EXPECT_TRUE(window->btnDel->isEnabled());
        window.reset();
    }
}

// The row menu's delete of the last row of its group asks first (No keeps it), and
// then the question every permanent deletion asks.
TEST_F(ProofTest, TheRowMenuAsksBeforeDeletingTheLastCopy) {
    data.writeSized("a/x.bin", 1500, 1);
    data.writeSized("b/x.bin", 1500, 1);
    openAndScan();
    const auto deleteRow = [&](const std::string& relative, std::vector<QString> answers) {
        window->vtFile->selectionModel()->setCurrentIndex(window->model->index(rowOf(relative), 0),
                                                          QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
        std::vector<QString> seen;
        size_t next = 0;
        ModalAnswerer answer([&](QWidget* w) {
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            QWidget* focus = form->focusWidget();
            seen.push_back(form->Message->text().section(u'\r', 0, 0) + u'|' +
                           (focus != nullptr ? focus->objectName() : QString()));
            const QString how = next < answers.size() ? answers[next] : QString();
            ++next;
            if (auto* b = form->findChild<QPushButton*>(how))
                b->click();
            else
                form->close();
        });
        window->PopupItemClick(5);
        return seen;
    };
    const QString permanent =
        QStringLiteral("Delete this file permanently? It does not go to the Trash.|btnNo");
    const QString last = messageText("RowLastCopyQuestion") + QStringLiteral("|btnNo");

    EXPECT_EQ(deleteRow("b/x.bin", {QStringLiteral("btnYes")}), std::vector<QString>{permanent});
    EXPECT_FALSE(pathExists(data.path("b/x.bin")));
    EXPECT_EQ(deleteRow("a/x.bin", {QStringLiteral("btnNo")}), std::vector<QString>{last});
    EXPECT_TRUE(pathExists(data.path("a/x.bin")));
    EXPECT_EQ(deleteRow("a/x.bin", {QStringLiteral("btnYes"), QStringLiteral("btnNo")}),
              (std::vector<QString>{last, permanent}));
    EXPECT_TRUE(pathExists(data.path("a/x.bin")));
    EXPECT_EQ(deleteRow("a/x.bin", {QStringLiteral("btnYes"), QStringLiteral("btnYes")}),
              (std::vector<QString>{last, permanent}));
    EXPECT_FALSE(pathExists(data.path("a/x.bin")));
    EXPECT_EQ(window->model->RowCount(), 0);
}

// The files are taken once, when Delete is clicked: a tick that changes while the
// backup runs changes neither the archive nor the deletion.
TEST_F(ProofTest, TheBackupAndTheDeletionActOnTheSameFiles) {
    for (const char* f : {"a/x.bin", "b/x.bin", "c/x.bin"})
        data.writeSized(f, 2500, 3);
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = true;
    openAndScan();
    tick({"b/x.bin"});
    QTimer during;
    bool ticked = false;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (!ticked && window->whintwin1->isShowing()) {
            ticked = true;
            window->model->SetChecked(rowOf("c/x.bin"), true);
        }
    });
    during.start(1);
    const std::vector<QString> seen = deleteAnswering({QStringLiteral("btnYes")});
    during.stop();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(pathExists(data.path("b/x.bin")));
    EXPECT_TRUE(pathExists(data.path("c/x.bin")));
    EXPECT_EQ(window->LastBackupReport().stored, 1u);
    EXPECT_EQ(listed(), (std::vector<std::string>{"a/x.bin", "c/x.bin [x]"}));
}

} // namespace
