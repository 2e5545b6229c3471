// The screen-capture window driven as a user drives it: real mouse and key events over a
// known picture standing in for the screen (offscreen), and once over a real X screen.
#include "services/UCatch.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace pelidor {
namespace {

// Every pixel tells where it is: red and green the low bits of x and y, blue the high ones.
QImage knownPicture(const QSize& size) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb(x & 255, y & 255, (((x >> 8) << 4) | (y >> 8)) & 255));
    return picture;
}

class CaptureWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TFrmCatch>();
        screen = knownPicture(form->size());
        form->ScreenGrabber = [this] { return screen; };
    }

    // Shows the window and waits until it shows the frozen screen.
    void showFrozen() {
        form->setResult(0);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->PaintBox()->picture() == screen; }, 2000));
    }

    void press(const QPoint& at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(form.get(), button, {}, at);
    }
    void moveTo(const QPoint& at) { QTest::mouseMove(form.get(), at); }
    void release(const QPoint& at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(form.get(), button, {}, at);
    }
    void drag(const QPoint& from, const QPoint& to) {
        press(from);
        moveTo((from + to) / 2);
        moveTo(to);
        release(to);
    }

    std::unique_ptr<TFrmCatch> form;
    QImage screen;
};

TEST_F(CaptureWindow, CoversThePrimaryScreenFrameless) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(form->geometry(), primary->geometry());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->cursor().shape(), Qt::CrossCursor);
    showFrozen();
    EXPECT_EQ(form->PaintBox()->geometry(), form->rect());
    EXPECT_EQ(form->Capture(), screen);
}

TEST_F(CaptureWindow, DragInAnyDirectionCapturesTheSameRegion) {
    struct Case {
        const char* name;
        QPoint from, to;
        QRect region;
    };
    const Case cases[] = {
        {"top-left to bottom-right", {100, 50}, {300, 200}, {100, 50, 200, 150}},
        {"bottom-right to top-left", {300, 200}, {100, 50}, {100, 50, 200, 150}},
        {"top-right to bottom-left", {300, 50}, {100, 200}, {100, 50, 200, 150}},
        {"bottom-left to top-right", {100, 200}, {300, 50}, {100, 50, 200, 150}},
        {"one pixel", {10, 10}, {11, 11}, {10, 10, 1, 1}},
        // A release outside the window keeps the region inside the picture.
        {"released beyond the top-left", {100, 100}, {-50, -20}, {0, 0, 100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        showFrozen();
        drag(c.from, c.to);
        EXPECT_EQ(form->result(), kCatchOk);
        EXPECT_FALSE(form->isVisible());
        ASSERT_EQ(form->NewPng.size(), c.region.size());
        EXPECT_EQ(form->NewPng, screen.copy(c.region));
    }

    // The result as PNG bytes and as a file: the same pixels.
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(form->NewPngBytes(), "PNG"));
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), form->NewPng);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("orla1234.png"));
    ASSERT_TRUE(form->SaveNewPng(file));
    EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB32), form->NewPng);
    EXPECT_FALSE(form->SaveNewPng(dir.filePath(QStringLiteral("missing/x.png"))));
}

TEST_F(CaptureWindow, ModalShowingEndsWithOkAfterADrag) {
    QTimer::singleShot(0, form.get(), [&] {
        (void)QTest::qWaitFor([&] { return form->PaintBox()->picture() == screen; }, 2000);
        drag({40, 30}, {140, 90});
    });
    EXPECT_EQ(form->exec(), kCatchOk);
    EXPECT_EQ(form->NewPng, screen.copy(40, 30, 100, 60));
}

TEST_F(CaptureWindow, SelectionShowsOutlineAndTint) {
    showFrozen();
    press({300, 200});
    moveTo({200, 150});
    moveTo({100, 50});
    const QImage shown = form->PaintBox()->picture();
    ASSERT_EQ(shown.size(), screen.size());
    const QRgb outline = kCatchOutlineColor;
    // The outline runs through both corners and along all four edges.
    for (const QPoint p : {QPoint(100, 50), QPoint(300, 200), QPoint(300, 50), QPoint(100, 200),
                           QPoint(200, 50), QPoint(200, 200), QPoint(100, 120), QPoint(300, 120)})
        EXPECT_EQ(shown.pixel(p) | 0xFF000000, outline) << p.x() << "," << p.y();
    // Inside: the picture under the tint (bluer, never the plain pixel); outside: untouched.
    for (const QPoint p : {QPoint(101, 51), QPoint(200, 120), QPoint(299, 199)}) {
        const QRgb plain = screen.pixel(p);
        const QRgb tinted = shown.pixel(p);
        EXPECT_NE(tinted, plain) << p.x() << "," << p.y();
        EXPECT_GT(qBlue(tinted), qBlue(plain) - 1) << p.x() << "," << p.y();
    }
    for (const QPoint p : {QPoint(99, 49), QPoint(301, 201), QPoint(99, 120), QPoint(200, 201)})
        EXPECT_EQ(shown.pixel(p), screen.pixel(p)) << p.x() << "," << p.y();
    // Moving back shrinks the selection: the old corner shows the picture again.
    moveTo({250, 150});
    EXPECT_EQ(form->PaintBox()->picture().pixel(100, 50), screen.pixel(100, 50));
    EXPECT_EQ(form->StartPoint(), QPoint(300, 200));
    EXPECT_EQ(form->CurrentPoint(), QPoint(250, 150));
    release({250, 150});
    EXPECT_EQ(form->PaintBox()->picture(), screen);
    EXPECT_EQ(form->NewPng, screen.copy(250, 150, 50, 50));
}

TEST_F(CaptureWindow, EmptyDragsCaptureNothingAndKeepTheWindow) {
    showFrozen();
    struct Case {
        const char* name;
        QPoint from, to;
    };
    for (const Case& c :
         {Case{"click", {50, 50}, {50, 50}}, Case{"zero width", {50, 50}, {50, 200}},
          Case{"zero height", {50, 50}, {200, 50}}}) {
        SCOPED_TRACE(c.name);
        drag(c.from, c.to);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->result(), 0);
        EXPECT_TRUE(form->NewPng.isNull());
        EXPECT_EQ(form->PaintBox()->picture(), screen);
    }
    // A release without a press on the window (the button was down before it showed).
    release({400, 400});
    EXPECT_TRUE(form->isVisible());
    // A real drag still works afterwards.
    drag({20, 20}, {60, 40});
    EXPECT_EQ(form->result(), kCatchOk);
    EXPECT_EQ(form->NewPng, screen.copy(20, 20, 40, 20));
}

TEST_F(CaptureWindow, EscapeAndRightButtonCancel) {
    showFrozen();
    drag({10, 10}, {30, 30});
    const QImage earlier = form->NewPng;
    ASSERT_FALSE(earlier.isNull());

    struct Case {
        const char* name;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"Escape", [&] { QTest::keyClick(form.get(), Qt::Key_Escape); }},
        {"Escape during a drag",
         [&] {
             press({100, 100});
             moveTo({200, 200});
             QTest::keyClick(form.get(), Qt::Key_Escape);
         }},
        {"right button",
         [&] {
             press({100, 100}, Qt::RightButton);
             release({100, 100}, Qt::RightButton);
         }},
        {"right button during a drag",
         [&] {
             press({100, 100});
             moveTo({200, 200});
             press({200, 200}, Qt::RightButton);
             release({200, 200}, Qt::RightButton);
         }},
        {"closing the window", [&] { form->close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        showFrozen();
        c.act();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->result(), kCatchCancel);
        EXPECT_EQ(form->NewPng, earlier);
    }

    // Modally: Escape ends exec with the cancel result.
    QTimer::singleShot(50, form.get(), [&] { QTest::keyClick(form.get(), Qt::Key_Escape); });
    EXPECT_EQ(form->exec(), kCatchCancel);
}

TEST_F(CaptureWindow, RefusedScreenCaptureCancels) {
    form->ScreenGrabber = [] { return QImage(); };
    // A guard that would end the wait with another result if the window stayed open.
    QTimer::singleShot(5000, form.get(), [&] { form->done(99); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(form->exec(), kCatchCancel);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_TRUE(form->NewPng.isNull());
}

// Under a real X server (see services_capture_real_screen): what a window shows on the
// screen is what the capture holds.
TEST(CaptureRealScreen, CapturesWhatIsOnTheScreen) {
    if (std::getenv("PELIDOR_REAL_SCREEN") == nullptr)
        GTEST_SKIP() << "runs under xvfb-run (services_capture_real_screen)";
    ASSERT_EQ(QGuiApplication::platformName().toStdString(), "xcb");

    const QColor colour(0x12, 0x9A, 0x5C);
    QWidget marker(nullptr, Qt::Window | Qt::FramelessWindowHint);
    marker.setAutoFillBackground(true);
    QPalette pal = marker.palette();
    pal.setColor(QPalette::Window, colour);
    marker.setPalette(pal);
    marker.setGeometry(200, 150, 240, 160);
    marker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&marker));
    // The window manager-less server maps the window at once; give the paint a moment.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage shot = GrabPrimaryScreen();
            return !shot.isNull() && shot.pixelColor(320, 230) == colour;
        },
        5000));

    TFrmCatch form;
    EXPECT_EQ(form.size(), QGuiApplication::primaryScreen()->size());
    QTimer::singleShot(0, &form, [&] {
        (void)QTest::qWaitFor([&] { return !form.PaintBox()->picture().isNull(); }, 3000);
        QTest::mousePress(&form, Qt::LeftButton, {}, {220, 170});
        QTest::mouseMove(&form, {300, 210});
        QTest::mouseRelease(&form, Qt::LeftButton, {}, {420, 290});
    });
    ASSERT_EQ(form.exec(), kCatchOk);
    EXPECT_EQ(form.Capture().size(), QGuiApplication::primaryScreen()->size());
    ASSERT_EQ(form.NewPng.size(), QSize(200, 120));
    QImage expected(200, 120, QImage::Format_RGB32);
    expected.fill(colour);
    EXPECT_EQ(form.NewPng, expected);
    // The frozen screen still shows the marker's edge where it was.
    EXPECT_EQ(form.Capture().pixelColor(200, 150), colour);
    EXPECT_NE(form.Capture().pixelColor(199, 149), colour);
}

} // namespace
} // namespace pelidor
