// The deletion failure dialog and its message.
#include "config/uLanguage.h"
#include "shell/SharedHelpers.h"
#include "tests/support/TempTree.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelidor {
namespace {

using test::TempTree;

// Calls `act` with the dialog once it is on the screen. The modal call runs the event
// loop that drives the poll; without a dialog after 5 s the test fails and the modal
// window is closed so that the call returns.
void whenShown(std::function<void(TfrmDeleteComfirm*)> act) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        auto* dlg = qobject_cast<TfrmDeleteComfirm*>(QApplication::activeModalWidget());
        if (dlg != nullptr && dlg->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(dlg);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no dialog appeared";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(5);
}

class DeleteFailureDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        SelectLanguage("English");
    }
    void TearDown() override { SetLanguageFolder({}); }
};

TEST_F(DeleteFailureDialog, DesignLayoutAndEnglishTexts) {
    QWidget owner;
    owner.setGeometry(200, 150, 843, 516);
    owner.show();
    TfrmDeleteComfirm dlg(&owner);
    dlg.setMessage(QStringLiteral("short"));
    struct Seen {
        QString title, check, yes, no;
        bool checked = true, resizable = true;
        QSize client;
        QRect label, box, ok, cancel;
        QPoint centre;
    } seen;
    whenShown([&](TfrmDeleteComfirm* d) {
        seen = {d->windowTitle(),
                d->chkNoConfirm->text(),
                d->btnOk->text(),
                d->btnCancel->text(),
                d->chkNoConfirm->isChecked(),
                d->minimumSize() != d->maximumSize(),
                d->size(),
                d->wslbl1->geometry(),
                d->chkNoConfirm->geometry(),
                d->btnOk->geometry(),
                d->btnCancel->geometry(),
                d->geometry().center()};
        d->close();
    });
    dlg.exec();
    EXPECT_EQ(seen.title, QStringLiteral("Confirmation"));
    EXPECT_EQ(seen.check, QStringLiteral("Do not show this notice again"));
    EXPECT_EQ(seen.yes, QStringLiteral("Yes"));
    EXPECT_EQ(seen.no, QStringLiteral("No"));
    EXPECT_FALSE(seen.checked);
    EXPECT_FALSE(seen.resizable);
    EXPECT_EQ(seen.client, QSize(358, 189));
    EXPECT_EQ(seen.label, QRect(23, 13, 311, 83));
    EXPECT_EQ(seen.box, QRect(23, 122, 311, 17));
    EXPECT_EQ(seen.ok, QRect(137, 150, 100, 26));
    EXPECT_EQ(seen.cancel, QRect(240, 150, 94, 26));
    EXPECT_NEAR(seen.centre.x(), owner.geometry().center().x(), 1);
    EXPECT_NEAR(seen.centre.y(), owner.geometry().center().y(), 1);
}

TEST_F(DeleteFailureDialog, TextsFollowTheLanguageEachTimeItOpens) {
    TfrmDeleteComfirm dlg;
    std::vector<QString> titles, yes;
    for (const char* lang : {"German", "Japanese", "English"}) {
        SelectLanguage(lang);
        whenShown([&](TfrmDeleteComfirm* d) {
            titles.push_back(d->windowTitle());
            yes.push_back(d->btnOk->text());
            d->close();
        });
        dlg.exec();
    }
    auto pack = [](const char* section, const char* key) {
        return QString::fromStdString(ReadLangString(section, key));
    };
    SelectLanguage("German");
    const QString germanTitle = pack("Translation", "Confirm");
    const QString germanYes = pack("GUI", "ButtonYes");
    SelectLanguage("Japanese");
    const QString japaneseYes = pack("GUI", "ButtonYes");
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0], germanTitle);
    EXPECT_NE(germanTitle, QStringLiteral("Confirmation"));
    EXPECT_EQ(yes[0], germanYes);
    EXPECT_EQ(yes[1], japaneseYes);
    EXPECT_NE(japaneseYes, QStringLiteral("Yes"));
    EXPECT_EQ(titles[2], QStringLiteral("Confirmation"));
    EXPECT_EQ(yes[2], QStringLiteral("Yes"));
}

TEST_F(DeleteFailureDialog, AnswersAndTheNoticeBox) {
    struct Case {
        const char* what;
        bool tick;
        std::function<void(TfrmDeleteComfirm*)> answer;
        int result;
    };
    const std::vector<Case> cases = {
        {"Yes", false, [](auto* d) { QTest::mouseClick(d->btnOk, Qt::LeftButton); }, mrYes},
        {"No", false, [](auto* d) { QTest::mouseClick(d->btnCancel, Qt::LeftButton); }, mrNo},
        {"Yes with the box ticked", true,
         [](auto* d) { QTest::mouseClick(d->btnOk, Qt::LeftButton); }, mrYes},
        {"No with the box ticked", true,
         [](auto* d) { QTest::mouseClick(d->btnCancel, Qt::LeftButton); }, mrNo},
        {"close box", false, [](auto* d) { d->close(); }, mrCancel},
        {"Escape", true, [](auto* d) { QTest::keyClick(d, Qt::Key_Escape); }, mrCancel},
        {"Space on the first focus", false,
         [](auto* d) { QTest::keyClick(d->focusWidget(), Qt::Key_Space); }, mrNo},
    };
    // One dialog for all cases: the box must be unticked again each time it opens.
    TfrmDeleteComfirm dlg;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool uncheckedAtOpen = false;
        whenShown([&](TfrmDeleteComfirm* d) {
            uncheckedAtOpen = !d->chkNoConfirm->isChecked();
            if (c.tick)
                QTest::mouseClick(d->chkNoConfirm, Qt::LeftButton, {},
                                  QPoint(7, d->chkNoConfirm->height() / 2));
            c.answer(d);
        });
        EXPECT_EQ(dlg.exec(), c.result);
        EXPECT_TRUE(uncheckedAtOpen);
        EXPECT_EQ(dlg.chkNoConfirm->isChecked(), c.tick);
    }
}

TEST_F(DeleteFailureDialog, LongPathWrapsInsideTheLabelAndKeepsTheQuestionVisible) {
    const std::string path = "/home/user/" + std::string(300, 'x') + "/" + std::string(40, 'y') +
                             "/IMG_20190812_101500_with_a_long_name.jpg";
    TfrmDeleteComfirm dlg;
    dlg.setMessage(DeleteFailureMessage(path, EACCES));
    QRect label, box, ok, dialog;
    QSize needed;
    whenShown([&](TfrmDeleteComfirm* d) {
        label = d->wslbl1->geometry();
        box = d->chkNoConfirm->geometry();
        ok = d->btnOk->geometry();
        dialog = d->rect();
        needed = TMessageText::measure(d->wslbl1->text(), d->wslbl1->font(), label.width(), 0);
        d->close();
    });
    dlg.exec();
    EXPECT_EQ(label.x(), 23);
    EXPECT_EQ(label.width(), 311);
    EXPECT_LE(needed.width(), 311); // broken inside the path, not wider than the label
    EXPECT_GT(needed.height(), 83);
    EXPECT_GE(label.height(), needed.height()); // every line, the question included
    EXPECT_GE(box.top(), label.bottom());
    EXPECT_GT(ok.top(), box.bottom());
    EXPECT_TRUE(dialog.contains(ok));
    EXPECT_EQ(dialog.width(), 358);
}

TEST(DeleteFailureMessage, Composition) {
    const QString err = QStringLiteral("Unable to delete the file");
    const QString cont = QStringLiteral("Continue?");
    struct Case {
        QString path;
        int error;
        QString expected;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("/x/a.txt"), 0,
         QStringLiteral("Unable to delete the file: \"/x/a.txt\". \r\nContinue?")},
        {QStringLiteral("/x/a.txt"), EACCES,
         QStringLiteral(
             "Unable to delete the file: \"/x/a.txt\". Permission denied. \r\nContinue?")},
        {QStringLiteral("/mnt/disk/b c.txt"), EBUSY,
         QStringLiteral("Unable to delete the file: \"/mnt/disk/b c.txt\". Device or resource "
                        "busy. \r\nContinue?")},
        // Markers in a path are text, not places for the other arguments.
        {QStringLiteral("/x/%1 %2.txt"), EPERM,
         QStringLiteral("Unable to delete the file: \"/x/%1 %2.txt\". Operation not permitted. "
                        "\r\nContinue?")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(ComposeDeleteFailureMessage(err, c.path, c.error, cont), c.expected);
    }
    EXPECT_EQ(SystemErrorText(0), QString());
    EXPECT_EQ(SystemErrorText(ENOENT), QStringLiteral("No such file or directory"));
}

TEST_F(DeleteFailureDialog, MessageOfARealFailureWithThePackTexts) {
    // A folder where the file was: the permanent delete fails with the system's reason.
    TempTree tree;
    const std::string path = tree.mkdir("photo \xe9t\xe9.jpg"); // not UTF-8
    int error = 0;
    ASSERT_FALSE(ForceDeleteFile(path, &error));
    ASSERT_EQ(error, EISDIR);

    const QString shownPath =
        QString::fromStdString(tree.root()) + QStringLiteral("/photo \uFFFDt\uFFFD.jpg");
    EXPECT_EQ(DeleteFailureMessage(path, error),
              QStringLiteral("Unable to delete the file: \"") + shownPath +
                  QStringLiteral("\". Is a directory. \r\nDo you want to continue deleting "
                                 "the other files?"));
    EXPECT_EQ(RowDeleteFailureMessage(error),
              QStringLiteral("Unable to delete the file: Is a directory"));

    // Shown in the dialog as it is.
    TfrmDeleteComfirm dlg;
    dlg.setMessage(DeleteFailureMessage(path, error));
    QString shown;
    whenShown([&](TfrmDeleteComfirm* d) {
        shown = d->wslbl1->text();
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
    });
    EXPECT_EQ(dlg.exec(), mrYes);
    EXPECT_EQ(shown, DeleteFailureMessage(path, error));

    SelectLanguage("French");
    const QString french = DeleteFailureMessage(path, error);
    EXPECT_TRUE(
        french.startsWith(QString::fromStdString(ReadLangString("Message", "deletefileerr")) +
                          QStringLiteral(": \"")));
    EXPECT_TRUE(french.endsWith(QStringLiteral("\r\n") + QString::fromStdString(ReadLangString(
                                                             "Message", "Continuedelete"))));
    EXPECT_FALSE(french.startsWith(QStringLiteral("Unable")));
}

// Saves pictures of the dialog into $PELIDOR_SCREENSHOTS (skipped without it).
TEST_F(DeleteFailureDialog, Screenshots) {
    const char* dir = std::getenv("PELIDOR_SCREENSHOTS");
    if (dir == nullptr || *dir == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    ApplyOrlaLook(*qApp);
    for (const auto& [lang, file, path] :
         {std::tuple{"English", "delete-failure-en",
                     "/home/user/Pictures/2019/Holiday in "
                     "Portugal/IMG_20190812_101500.jpg"},
          std::tuple{"English", "delete-failure-en-long",
                     "/home/user/Pictures/2019/Holiday_in_Portugal_with_the_whole_family_and_"
                     "friends/Camera_uploads_from_the_second_phone/IMG_20190812_101500.jpg"},
          std::tuple{"ChineseSimplified", "delete-failure-zh",
                     "/home/user/Pictures/2019/IMG_20190812_101500.jpg"}}) {
        SelectLanguage(lang);
        TfrmDeleteComfirm dlg;
        dlg.setMessage(DeleteFailureMessage(path, EACCES));
        whenShown([&, file = file](TfrmDeleteComfirm* d) {
            d->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(file) +
                           QStringLiteral(".png"));
            d->close();
        });
        dlg.exec();
    }
}

} // namespace
} // namespace pelidor
