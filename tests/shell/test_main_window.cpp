#include "shell/SingleInstance.h"
#include "tests/support/TempTree.h"
#include "ui/main/uQdxMain.h"
#include "ui/toolkit/UImagData.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace pelidor {
namespace {

using test::TempTree;

TEST(MainWindow, CaptionSizesAndBackground) {
    TfrmQdxMain window;
    EXPECT_EQ(window.objectName(), QStringLiteral("frmQdxMain"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Pelidor"));
    EXPECT_EQ(window.size(), QSize(843, 516));
    EXPECT_EQ(window.minimumSize(), QSize(800, 500));
    EXPECT_EQ(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(Qt::white));

    window.resize(300, 200);
    EXPECT_EQ(window.size(), QSize(800, 500));
}

TEST(MainWindow, CentredOnTheScreen) {
    const struct {
        QSize size;
        QRect area;
        QPoint corner;
    } cases[] = {
        {{843, 516}, {0, 0, 1280, 1024}, {218, 254}},
        {{843, 516}, {100, 30, 1280, 1024}, {318, 284}}, // a panel takes the top left
        {{843, 516}, {0, 0, 800, 800}, {0, 142}},        // wider than the screen
        {{843, 516}, {0, 0, 800, 480}, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CentredPosition(c.size, c.area), c.corner)
            << c.area.width() << "x" << c.area.height();
}

TEST(MainWindow, FoundByClassNameAndRestoredFromMinimised) {
    TfrmQdxMain window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(FindTopLevelWindow(QStringLiteral("TFrmQdxMain")), &window);
    EXPECT_EQ(FindTopLevelWindow(QStringLiteral("tfrmqdxmain")), &window);
    EXPECT_EQ(FindTopLevelWindow(QStringLiteral("TfrmOther")), nullptr);

    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    RestoreAndRaise(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());

    // A maximised window comes back maximised.
    window.showMaximized();
    window.setWindowState(window.windowState() | Qt::WindowMinimized);
    RestoreAndRaise(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isMaximized());

    window.hide();
    RestoreAndRaise(&window);
    EXPECT_TRUE(window.isVisible());
    RestoreAndRaise(nullptr);
}

TEST(ImgData, SharedObjectWithTheProgramIcon) {
    EXPECT_EQ(ImgData(), nullptr);
    {
        TImgData data;
        EXPECT_EQ(ImgData(), &data);
        const QPixmap icon = data.AppIcon().pixmap(64, 64);
        ASSERT_FALSE(icon.isNull());
        // The SVG is drawn: the icon is not empty.
        const QImage image = icon.toImage();
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                painted += image.pixelColor(x, y).alpha() > 0 ? 1 : 0;
        EXPECT_GT(painted, image.width() * image.height() / 4);
    }
    EXPECT_EQ(ImgData(), nullptr);
}

// The guard within one process: a second holder is refused, a request reaches the
// holder and is answered, and after a release the next one takes over.
TEST(SingleInstance, SecondStartIsRefusedAndReachesTheFirst) {
    TempTree tree;
    const QString folder = QString::fromStdString(tree.mkdir("runtime"));
    ::chmod(tree.path("runtime").c_str(), 0700);

    TSingleInstance first(QStringLiteral("QdxMutex2012"), folder);
    ASSERT_TRUE(first.tryAcquire());
    ASSERT_TRUE(first.listen());
    EXPECT_TRUE(first.serverName().endsWith(QStringLiteral("/QdxMutex2012-") +
                                            QString::number(::getuid())));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(first.serverName()).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u); // the user's own socket

    int requests = 0;
    QObject::connect(&first, &TSingleInstance::activationRequested, [&] { ++requests; });

    TSingleInstance second(QStringLiteral("QdxMutex2012"), folder);
    EXPECT_FALSE(second.tryAcquire());
    std::atomic<int> answered{-1};
    std::thread client([&] { answered = second.activateRunning(3000) ? 1 : 0; });
    QElapsedTimer clock;
    clock.start();
    while (answered < 0 && clock.elapsed() < 5000)
        QTest::qWait(10);
    client.join();
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(requests, 1);

    first.release();
    TSingleInstance third(QStringLiteral("QdxMutex2012"), folder);
    EXPECT_TRUE(third.tryAcquire());
    EXPECT_TRUE(third.listen());
}

TEST(SingleInstance, NobodyListeningEndsAfterTheTimeout) {
    TempTree tree;
    const QString folder = QString::fromStdString(tree.mkdir("runtime"));
    TSingleInstance lonely(QStringLiteral("QdxMutex2012"), folder);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(lonely.activateRunning(300));
    EXPECT_LT(clock.elapsed(), 2000);
}

} // namespace
} // namespace pelidor
