#include "config/uLanguage.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/OrlaWindowHint.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace pelidor {
namespace {

// A shown, active window with a focused edit box and a button.
struct Owner {
    QWidget window;
    QLineEdit* edit = new QLineEdit(&window);
    QPushButton* button = new QPushButton(QStringLiteral("Click"), &window);
    int clicks = 0;

    Owner() {
        window.setGeometry(120, 100, 640, 420);
        edit->setGeometry(20, 20, 200, 24);
        button->setGeometry(20, 60, 100, 28);
        button->setFocusPolicy(Qt::NoFocus); // a click leaves the focus in the edit box
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
        window.show();
        activate();
    }
    void activate() {
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
    }
    // A click and a key as the window system delivers them (modal windows block these).
    void clickAndType() {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
        QTest::keyClick(window.windowHandle(), Qt::Key_A);
    }
};

const Qt::CursorShape* overrideShape() {
    static Qt::CursorShape shape;
    if (QApplication::overrideCursor() == nullptr)
        return nullptr;
    shape = QApplication::overrideCursor()->shape();
    return &shape;
}

TEST(OrlaWindowHint, ModelessShowPlaceAndCloseWithoutTakingTheFocus) {
    Owner owner;
    // A cursor set by someone else must survive the hint's own.
    QApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
    {
        TOrlaWindowHint hint(&owner.window);
        hint.CloseOrlaHint(); // before any show: nothing
        EXPECT_EQ(hint.window(), nullptr);
        EXPECT_EQ(*overrideShape(), Qt::CrossCursor);

        hint.NewHint = QStringLiteral("Backing up the files");
        hint.RestoreHint = QStringLiteral("Restoring the files");
        hint.ShowOrlaHint(true, 0, 0, false);
        ASSERT_TRUE(hint.isShowing());
        EXPECT_FALSE(hint.isModal());
        EXPECT_EQ(hint.shownText(), hint.NewHint);
        const QRect geometry = hint.window()->geometry();
        EXPECT_NEAR(geometry.center().x(), owner.window.geometry().center().x(), 1);
        EXPECT_NEAR(geometry.center().y(), owner.window.geometry().center().y(), 1);
        EXPECT_EQ(*overrideShape(), Qt::BusyCursor);
        // It animates, keeps away from the focus, and the owner still takes input.
        EXPECT_TRUE(QTest::qWaitFor([&] { return hint.frame() >= 3; }, 2000));
        EXPECT_EQ(QApplication::focusWidget(), owner.edit);
        EXPECT_EQ(QApplication::activeWindow(), &owner.window);
        EXPECT_FALSE(hint.window()->isActiveWindow());
        owner.clickAndType();
        EXPECT_EQ(owner.clicks, 1);
        EXPECT_EQ(owner.edit->text(), QStringLiteral("a"));

        // Shown again while shown: the other text, at the given place; one cursor.
        hint.ShowOrlaHint(false, 30, 40, false);
        EXPECT_EQ(hint.window()->pos(), QPoint(30, 40));
        EXPECT_EQ(hint.shownText(), hint.RestoreHint);

        hint.CloseOrlaHint();
        EXPECT_FALSE(hint.isShowing());
        EXPECT_EQ(*overrideShape(), Qt::CrossCursor);
        const int frame = hint.frame();
        QTest::qWait(100);
        EXPECT_EQ(hint.frame(), frame); // the animation stopped
        hint.CloseOrlaHint();
        EXPECT_EQ(*overrideShape(), Qt::CrossCursor);

        hint.ShowOrlaHint(true, 0, 0, false); // shown while the component goes away
    }
    EXPECT_EQ(*overrideShape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(overrideShape(), nullptr);
}

TEST(OrlaWindowHint, ModalWaitEndsWhenTheWorkersEndHandlerClosesIt) {
    using namespace std::chrono_literals;
    Owner owner;
    for (const bool queued : {true, false}) {
        SCOPED_TRACE(queued ? "end handler queued to the window's thread"
                            : "CloseOrlaHint called on the worker thread");
        owner.activate(); // without a window manager nobody does it after a dialog
        TOrlaWindowHint hint(&owner.window);
        hint.NewHint = QStringLiteral("Backing up");
        std::atomic<bool> handlerRan{false};
        int answer = -1;
        std::thread worker([&] {
            std::this_thread::sleep_for(300ms);
            if (queued) {
                // The end handler asks a question first: that dialog takes input.
                QMetaObject::invokeMethod(
                    &hint,
                    [&] {
                        handlerRan = true;
                        QTimer::singleShot(50, [] {
                            if (QWidget* modal = QApplication::activeModalWidget())
                                QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
                        });
                        TOrlaMsgBox box;
                        answer = box.OrlaMessageDlg(QString(), QStringLiteral("Continue?"),
                                                    mtConfirmation, {mbYes, mbNo}, &owner.window);
                        hint.CloseOrlaHint();
                    },
                    Qt::QueuedConnection);
            } else {
                hint.CloseOrlaHint();
            }
        });
        // While it waits, the owner takes no click and no key, and keeps the focus.
        const int clicks = owner.clicks;
        const QString text = owner.edit->text();
        bool checked = false;
        QTimer::singleShot(100, &hint, [&] {
            checked = true;
            EXPECT_TRUE(hint.isShowing());
            EXPECT_TRUE(hint.isModal());
            owner.clickAndType();
            EXPECT_EQ(owner.clicks, clicks);
            EXPECT_EQ(owner.edit->text(), text);
            EXPECT_EQ(QApplication::focusWidget(), owner.edit);
            EXPECT_EQ(QApplication::activeWindow(), &owner.window);
            EXPECT_EQ(*overrideShape(), Qt::BusyCursor);
        });
        QTimer::singleShot(10000, &hint, [&] {
            ADD_FAILURE() << "the modal hint did not end";
            hint.CloseOrlaHint();
        });
        QElapsedTimer clock;
        clock.start();
        hint.ShowOrlaHint(true, 0, 0, true);
        worker.join();
        EXPECT_GE(clock.elapsed(), 250);
        EXPECT_TRUE(checked);
        EXPECT_EQ(handlerRan.load(), queued);
        EXPECT_EQ(answer, queued ? mrYes : -1);
        EXPECT_FALSE(hint.isShowing());
        EXPECT_FALSE(hint.isModal());
        EXPECT_EQ(overrideShape(), nullptr);
        // Afterwards the owner takes input again.
        owner.clickAndType();
        EXPECT_EQ(owner.clicks, clicks + 1);
    }
}

// A modal window that was already open when the wait began (a dialog whose work runs
// behind the hint) is held like the others, while a question opened during the wait
// takes its input.
TEST(OrlaWindowHint, AModalWindowOpenBeforeTheWaitIsHeldToo) {
    Owner owner;
    owner.window.hide();
    owner.window.setWindowModality(Qt::ApplicationModal);
    owner.window.show();
    owner.activate();
    TOrlaWindowHint hint(&owner.window);
    const int clicks = owner.clicks;
    int answer = -1;
    bool checked = false;
    QTimer::singleShot(100, &hint, [&] {
        checked = true;
        owner.clickAndType();
        EXPECT_EQ(owner.clicks, clicks);
        EXPECT_TRUE(owner.edit->text().isEmpty());
        QTimer::singleShot(50, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
        });
        TOrlaMsgBox box;
        answer = box.OrlaMessageDlg(QString(), QStringLiteral("Replace?"), mtConfirmation,
                                    {mbYes, mbNo}, &owner.window, false, mbNo);
        hint.CloseOrlaHint();
    });
    QTimer::singleShot(10000, &hint, [&] {
        ADD_FAILURE() << "the modal hint did not end";
        hint.CloseOrlaHint();
    });
    hint.ShowOrlaHint(true, 0, 0, true);
    EXPECT_TRUE(checked);
    EXPECT_EQ(answer, mrNo);
    owner.activate();
    owner.clickAndType();
    EXPECT_EQ(owner.clicks, clicks + 1);
}

TEST(OrlaWindowHint, TextFitsOrIsCutAndStripsAreCutIntoFrames) {
    TOrlaWindowHint hint;
    const int baseWidth =
        TOrlaWindowHint::defaultBackground().deviceIndependentSize().toSize().width();
    // A text longer than the picture widens the window; a very long one is cut.
    hint.NewHint = QStringLiteral("Sauvegarde des fichiers avant leur suppression, veuillez "
                                  "patienter...");
    hint.ShowOrlaHint(true, 0, 0, false);
    EXPECT_EQ(hint.shownText(), hint.NewHint);
    EXPECT_GE(hint.window()->width(), baseWidth);
    EXPECT_LT(QFontMetrics(hint.Font).horizontalAdvance(hint.NewHint), hint.window()->width());

    hint.NewHint = QStringLiteral("A very long text ").repeated(40);
    hint.ShowOrlaHint(true, 0, 0, false);
    EXPECT_TRUE(hint.shownText().endsWith(QChar(0x2026)));
    EXPECT_TRUE(hint.NewHint.startsWith(hint.shownText().chopped(1)));
    EXPECT_LT(QFontMetrics(hint.Font).horizontalAdvance(hint.shownText()), hint.window()->width());
    EXPECT_LE(hint.window()->width(), 640);
    hint.CloseOrlaHint();

    EXPECT_EQ(hint.FrameCount(), 12);
    hint.setImgAni(QPixmap(120, 10), 12);
    EXPECT_EQ(hint.FrameCount(), 12);
    hint.setImgAni(QPixmap(50, 10), 12); // not a whole multiple: no frames, still shown
    EXPECT_EQ(hint.FrameCount(), 0);
    hint.NewHint.clear();
    hint.ShowOrlaHint(true, 0, 0, false);
    EXPECT_TRUE(hint.isShowing());
    hint.CloseOrlaHint();
}

// Saves pictures of the busy window into $PELIDOR_SCREENSHOTS (skipped without it),
// over a white window as it is seen.
TEST(OrlaWindowHint, Screenshots) {
    const char* dir = std::getenv("PELIDOR_SCREENSHOTS");
    if (dir == nullptr || *dir == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    ApplyOrlaLook(*qApp);
    SetLanguageFolder((std::filesystem::path(__FILE__).parent_path() / "../../Languages/")
                          .lexically_normal()
                          .string());
    for (const char* lang : {"English", "ChineseSimplified"}) {
        SelectLanguage(lang);
        TOrlaWindowHint hint;
        hint.Localize();
        hint.ShowOrlaHint(true, 0, 0, false);
        QTest::qWait(150);
        const QPixmap picture = hint.window()->grab();
        QImage shot(picture.size() + QSize(24, 24), QImage::Format_RGB32);
        shot.fill(QColor(0xF4, 0xF4, 0xF4));
        QPainter painter(&shot);
        painter.drawPixmap(12, 12, picture);
        painter.end();
        shot.save(QString::fromLocal8Bit(dir) + "/hint-" +
                  (std::string(lang) == "English" ? "en" : "zh") + ".png");
        hint.CloseOrlaHint();
    }
    SetLanguageFolder({});
}

} // namespace
} // namespace pelidor
