#include "config/uLanguage.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace pelidor {
namespace {

// Calls `act` with the component's dialog once it is on the screen. The modal call
// runs the event loop that drives the poll; without a dialog after 5 s the test fails
// and every modal window is closed so that the call returns.
void whenShown(const TOrlaMsgBox& box, std::function<void(TMessageForm*)> act) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, &box, act] {
        TMessageForm* form = box.OpenDialog();
        if (form != nullptr && form->isVisible()) {
            timer->deleteLater();
            timer->stop();
            act(form);
        } else if (clock->elapsed() > 5000) {
            timer->deleteLater();
            timer->stop();
            ADD_FAILURE() << "no dialog appeared";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(5);
}

// Sends a key the way the keyboard does: to the widget that has the focus.
void press(TMessageForm* form, Qt::Key key) {
    QWidget* target = form->focusWidget() != nullptr ? form->focusWidget() : form;
    QTest::keyClick(target, key);
}

QPushButton* button(TMessageForm* form, const char* name) {
    return form->findChild<QPushButton*>(QLatin1String(name));
}

int topLevelDialogs() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<TMessageForm*>(w) != nullptr && w->isVisible() ? 1 : 0;
    return n;
}

TEST(OrlaMessageDlg, EnterEscapeAndTheCloseBoxGiveTheButtonsResults) {
    struct Case {
        const char* what;
        TMsgDlgButtons buttons;
        std::function<void(TMessageForm*)> act;
        int expected;
    };
    const std::vector<Case> cases = {
        {"Enter, yes/no", {mbYes, mbNo}, [](auto* f) { press(f, Qt::Key_Return); }, mrYes},
        {"keypad Enter, yes/no", {mbYes, mbNo}, [](auto* f) { press(f, Qt::Key_Enter); }, mrYes},
        {"Escape, yes/no", {mbYes, mbNo}, [](auto* f) { press(f, Qt::Key_Escape); }, mrNo},
        {"Enter, OK", {mbOK}, [](auto* f) { press(f, Qt::Key_Return); }, mrOk},
        {"Escape, OK", {mbOK}, [](auto* f) { press(f, Qt::Key_Escape); }, mrOk},
        {"Escape, OK/cancel",
         {mbOK, mbCancel},
         [](auto* f) { press(f, Qt::Key_Escape); },
         mrCancel},
        {"Enter with the last button focused still gives the first",
         {mbYes, mbNo, mbCancel},
         [](auto* f) {
             f->FBtnLast->setFocus();
             press(f, Qt::Key_Return);
         },
         mrYes},
        {"Space presses the focused button",
         {mbYes, mbNo},
         [](auto* f) {
             f->FBtnLast->setFocus();
             press(f, Qt::Key_Space);
         },
         mrNo},
        {"close box, yes/no", {mbYes, mbNo}, [](auto* f) { f->close(); }, mrCancel},
        {"close box, no buttons", {}, [](auto* f) { f->close(); }, mrCancel},
        {"Escape, no buttons", {}, [](auto* f) { press(f, Qt::Key_Escape); }, mrCancel},
    };
    TOrlaMsgBox box;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        whenShown(box, c.act);
        EXPECT_EQ(box.OrlaMessageDlg(QStringLiteral("Title"), QStringLiteral("Text"), mtInformation,
                                     c.buttons),
                  c.expected);
        EXPECT_EQ(box.OpenDialog(), nullptr);
    }
}

TEST(OrlaMessageDlg, ANamedDefaultButtonTakesEnterAndTheFocus) {
    struct Case {
        const char* what;
        TMsgDlgButtons buttons;
        std::optional<TMsgDlgBtn> defaultBtn;
        Qt::Key key;
        const char* focused;
        int expected;
    };
    const std::vector<Case> cases = {
        {"Enter with No as the default", {mbYes, mbNo}, mbNo, Qt::Key_Return, "btnNo", mrNo},
        {"keypad Enter with No as the default", {mbYes, mbNo}, mbNo, Qt::Key_Enter, "btnNo", mrNo},
        {"Space with No as the default", {mbYes, mbNo}, mbNo, Qt::Key_Space, "btnNo", mrNo},
        {"Escape with No as the default", {mbYes, mbNo}, mbNo, Qt::Key_Escape, "btnNo", mrNo},
        {"a default that is not shown: the first button",
         {mbYes, mbNo},
         mbCancel,
         Qt::Key_Return,
         "btnYes",
         mrYes},
        {"Yes named as the default", {mbYes, mbNo}, mbYes, Qt::Key_Return, "btnYes", mrYes},
    };
    TOrlaMsgBox box;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString focused;
        whenShown(box, [&](TMessageForm* f) {
            focused = f->focusWidget() != nullptr ? f->focusWidget()->objectName() : QString();
            press(f, c.key);
        });
        EXPECT_EQ(box.OrlaMessageDlg(QStringLiteral("Title"), QStringLiteral("Delete anyway?"),
                                     mtWarning, c.buttons, nullptr, false, c.defaultBtn),
                  c.expected);
        EXPECT_EQ(focused, QLatin1String(c.focused));
    }
}

TEST(OrlaMessageDlg, EveryButtonInTheKindsOrderWithItsResult) {
    const TMsgDlgButtons all = {mbClose, mbHelp,  mbYesToAll, mbNoToAll, mbAll, mbIgnore,
                                mbRetry, mbAbort, mbCancel,   mbOK,      mbNo,  mbYes};
    const std::vector<std::pair<const char*, int>> kinds = {
        {"btnYes", 6},      {"btnNo", 7},        {"btnOK", 1},     {"btnCancel", 2},
        {"btnAbort", 3},    {"btnRetry", 4},     {"btnIgnore", 5}, {"btnAll", 12},
        {"btnNoToAll", 13}, {"btnYesToAll", 14}, {"btnHelp", 0},   {"btnClose", 8}};
    TOrlaMsgBox box;
    for (const auto& [name, result] : kinds) {
        SCOPED_TRACE(name);
        bool stillOpen = false;
        whenShown(box, [&, name = name](TMessageForm* f) {
            int left = -1;
            for (const auto& kind : kinds) { // left to right in the table's order
                QPushButton* b = button(f, kind.first);
                ASSERT_NE(b, nullptr);
                EXPECT_GT(b->x(), left);
                left = b->x();
            }
            QTest::mouseClick(button(f, name), Qt::LeftButton);
            stillOpen = f->isVisible();
            if (stillOpen) // Help answers 0, which closes nothing; Escape = the last, Close
                press(f, Qt::Key_Escape);
        });
        const int got = box.OrlaMessageDlg(QString(), QStringLiteral("All buttons"), mtCustom, all);
        EXPECT_EQ(got, result == 0 ? mrClose : result);
        EXPECT_EQ(stillOpen, result == 0);
    }
}

TEST(OrlaMessageDlg, ASecondDialogOfTheSameComponentIsRefused) {
    TOrlaMsgBox box;
    TOrlaMsgBox other;
    int second = -1;
    int ofOther = -1;
    TMessageForm* first = nullptr;
    whenShown(box, [&](TMessageForm* f) {
        first = f;
        second =
            box.OrlaMessageDlg(QStringLiteral("Again"), QStringLiteral("Second"), mtError, {mbOK});
        EXPECT_EQ(topLevelDialogs(), 1);
        EXPECT_EQ(box.OpenDialog(), f);
        // Another component is not refused.
        whenShown(other, [](TMessageForm* g) { press(g, Qt::Key_Return); });
        ofOther = other.OrlaMessageDlg(QString(), QStringLiteral("Other"), mtWarning, {mbOK});
        press(f, Qt::Key_Escape);
    });
    EXPECT_EQ(box.OrlaMessageDlg(QStringLiteral("First"), QStringLiteral("First"), mtConfirmation,
                                 {mbYes, mbNo}),
              mrNo);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, mrCancel);
    EXPECT_EQ(ofOther, mrOk);
    // Once the first has ended, the next one shows.
    whenShown(box, [](TMessageForm* f) { press(f, Qt::Key_Return); });
    EXPECT_EQ(box.OrlaMessageDlg(QString(), QStringLiteral("Next"), mtWarning, {mbOK}), mrOk);
}

// What the layout tests read from a shown dialog.
struct Shown {
    QRect client, icon, text, row;
    bool hasIcon = false;
    int lineHeight = 0;
    QString title;
};

Shown showAndMeasure(TOrlaMsgBox& box, const QString& text, TMsgDlgType type,
                     TMsgDlgButtons buttons, QWidget* dst = nullptr,
                     const QString& title = QStringLiteral("Layout")) {
    Shown s;
    whenShown(box, [&](TMessageForm* f) {
        s.client = f->geometry();
        s.hasIcon = f->Img != nullptr;
        if (f->Img != nullptr)
            s.icon = f->Img->geometry();
        s.text = f->Message->geometry();
        s.row = f->FBtnFirst->geometry().united(f->FBtnLast->geometry());
        s.lineHeight = QFontMetrics(f->Message->font()).lineSpacing();
        s.title = f->windowTitle();
        press(f, Qt::Key_Escape);
    });
    box.OrlaMessageDlg(title, text, type, buttons, dst);
    return s;
}

TEST(OrlaMessageDlg, LayoutOfShortAndLongTexts) {
    TOrlaMsgBox box;
    const QFontMetrics fm(box.FontMsg());
    const int charWidth = fm.horizontalAdvance(QStringLiteral(
                              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                          52;
    const int horzMargin = 2 * charWidth;
    const int horzSpacing = (10 * charWidth + 2) / 4;

    // A short text: as wide as the button row plus the margins, row centred, icon and
    // text centred against each other, the icon at the margins.
    // (Without a title, which would widen it.)
    const Shown small =
        showAndMeasure(box, QStringLiteral("Done."), mtInformation, {mbOK}, nullptr, QString());
    // A long title: the box is at least as wide as the title, the row still centred.
    const QString longTitle = QStringLiteral("A title much longer than the message itself");
    const Shown titled =
        showAndMeasure(box, QStringLiteral("Done."), mtInformation, {mbOK}, nullptr, longTitle);
    EXPECT_EQ(titled.title, longTitle);
    EXPECT_GT(
        titled.client.width(),
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(longTitle));
    EXPECT_NEAR(titled.row.center().x(), titled.client.width() / 2, 1);
    ASSERT_TRUE(small.hasIcon);
    EXPECT_EQ(small.client.width(), small.row.width() + 2 * horzMargin);
    EXPECT_EQ(small.row.left(), horzMargin);
    EXPECT_EQ(small.icon.left(), horzMargin);
    EXPECT_EQ(small.text.left(), small.icon.right() + 1 + horzSpacing);
    EXPECT_NEAR(small.icon.center().y(), small.text.center().y(), 1);
    EXPECT_GT(small.row.top(), small.icon.bottom());
    EXPECT_LT(small.row.bottom(), small.client.height());

    // Long texts wrap at twice the button row, words or one unbreakable path alike;
    // the text grows downwards, the icon stays centred against it.
    const QString words =
        QStringLiteral("The file could not be deleted because it is in use. ").repeated(12);
    const QString path = QStringLiteral("/home/user/") + QStringLiteral("x").repeated(600);
    for (const QString& text : {words, path}) {
        const Shown big = showAndMeasure(box, text, mtError, {mbYes, mbNo});
        const int wrapWidth = 2 * big.row.width();
        EXPECT_LE(big.text.width(), wrapWidth);
        EXPECT_GT(big.text.width(), wrapWidth * 3 / 4);
        EXPECT_EQ(big.client.width(),
                  big.icon.width() + horzSpacing + big.text.width() + 2 * horzMargin);
        EXPECT_GE(big.text.height(), 3 * big.lineHeight);
        EXPECT_NEAR(big.icon.center().y(), big.text.center().y(), 1);
        EXPECT_GT(big.row.top(), big.text.bottom());
        EXPECT_NEAR(big.row.center().x(), big.client.width() / 2, 1);
    }

    // mtCustom: no icon, the text at the margin.
    const Shown custom = showAndMeasure(box, QStringLiteral("Plain"), mtCustom, {mbOK});
    EXPECT_FALSE(custom.hasIcon);
    EXPECT_EQ(custom.text.left(), horzMargin);
    for (TMsgDlgType type : {mtWarning, mtError, mtInformation, mtConfirmation})
        EXPECT_TRUE(showAndMeasure(box, QStringLiteral("x"), type, {mbOK}).hasIcon);
}

TEST(OrlaMessageDlg, CentredOverTheTargetOrTheScreen) {
    QWidget main;
    main.setGeometry(140, 90, 700, 460);
    main.show();
    TOrlaMsgBox box;
    const Shown over =
        showAndMeasure(box, QStringLiteral("Over the window"), mtWarning, {mbOK}, &main);
    EXPECT_NEAR(over.client.center().x(), main.geometry().center().x(), 1);
    EXPECT_NEAR(over.client.center().y(), main.geometry().center().y(), 1);

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const Shown alone = showAndMeasure(box, QStringLiteral("Alone"), mtWarning, {mbOK});
    EXPECT_NEAR(alone.client.center().x(), screen.center().x(), 1);
    EXPECT_NEAR(alone.client.center().y(), screen.center().y(), 1);
}

// The repository's language packs.
std::string languagesFolder() {
    return (std::filesystem::path(__FILE__).parent_path() / "../../Languages/")
        .lexically_normal()
        .string();
}

class MsgBoxLanguages : public ::testing::Test {
protected:
    void SetUp() override { SetLanguageFolder(languagesFolder()); }
    void TearDown() override { SetLanguageFolder({}); }
};

TEST_F(MsgBoxLanguages, ButtonCaptionsFollowTheLanguage) {
    TOrlaMsgBox box;
    EXPECT_EQ(box.BtnCaptionOk(), QStringLiteral("Ok")); // the design captions
    for (const auto& [lang, yes, no, ok, cancel] :
         {std::tuple{"English", "Yes", "No", "OK", "Cancel"},
          std::tuple{"ChineseSimplified", "是", "否", "确定", "取消"}}) {
        SCOPED_TRACE(lang);
        SelectLanguage(lang);
        box.Localize();
        std::vector<QString> captions;
        whenShown(box, [&](TMessageForm* f) {
            for (const char* name : {"btnYes", "btnNo", "btnOK", "btnCancel"})
                captions.push_back(button(f, name)->text());
            press(f, Qt::Key_Return);
        });
        box.OrlaMessageDlg(QString(), QStringLiteral("?"), mtConfirmation,
                           {mbYes, mbNo, mbOK, mbCancel});
        EXPECT_EQ(captions,
                  (std::vector<QString>{QString::fromUtf8(yes), QString::fromUtf8(no),
                                        QString::fromUtf8(ok), QString::fromUtf8(cancel)}));
    }
}

// Saves pictures of a few dialogs into $PELIDOR_SCREENSHOTS (skipped without it).
TEST_F(MsgBoxLanguages, Screenshots) {
    const char* dir = std::getenv("PELIDOR_SCREENSHOTS");
    if (dir == nullptr || *dir == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    ApplyOrlaLook(*qApp);
    struct Shot {
        const char* lang;
        const char* file;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
        bool failure; // the deletion failure text, else the new-version question
    };
    const char* titles[] = {"Warning", "Error", "Information", "Confirm"};
    for (const Shot& s :
         {Shot{"English", "msgbox-en-short", mtInformation, {mbYes, mbNo}, false},
          Shot{"English", "msgbox-en-long", mtError, {mbYes, mbNo}, true},
          Shot{"ChineseSimplified", "msgbox-zh-short", mtInformation, {mbYes, mbNo}, false},
          Shot{"ChineseSimplified", "msgbox-zh-long", mtError, {mbYes, mbNo}, true}}) {
        SelectLanguage(s.lang);
        TOrlaMsgBox box;
        box.Localize();
        auto tr = [](const char* key) {
            return QString::fromStdString(ReadLangString("Message", key));
        };
        const QString text =
            s.failure ? tr("deletefileerr") +
                            QStringLiteral(": \"/home/user/Pictures/2019/Holiday in Portugal/"
                                           "IMG_20190812_101500.jpg\". Permission denied\n") +
                            tr("Continuedelete")
                      : tr("newver");
        whenShown(box, [&](TMessageForm* f) {
            f->grab().save(QString::fromLocal8Bit(dir) + "/" + s.file + ".png");
            press(f, Qt::Key_Escape);
        });
        box.OrlaMessageDlg(QString::fromStdString(ReadLangString("Translation", titles[s.type])),
                           text, s.type, s.buttons);
    }
}

} // namespace
} // namespace pelidor
