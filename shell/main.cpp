// Pelidor's entry: one instance per user, the administrator-rights rule, then the
// shared pictures and the main window, and the event loop until the window closes.
//
// PELIDOR_TEST_HOOKS (for the tests of this start-up): when set, the program prints
// "pelidor: ready ..." once its window is up and "pelidor: restored ..." each time a
// later start asked for it, both with the window's state; when the value contains
// "minimized", the window starts minimised.
#include "engine/EnvironmentStrings.h"
#include "engine/uSearchHolper.h"
#include "platform/System.h"
#include "services/uInstallStatus.h"
#include "shell/RunElevatedSupport.h"
#include "shell/SharedHelpers.h"
#include "shell/SingleInstance.h"
#include "ui/main/uQdxMain.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using namespace pelidor;

// The state of the window as a later start left it, printed once it is active (or
// after a second, when the desktop does not make it active).
void reportRestored(QPointer<QWidget> window, QDeadlineTimer deadline) {
    if (window.isNull())
        return;
    if (!window->isActiveWindow() && !deadline.hasExpired()) {
        QTimer::singleShot(50, [window, deadline] { reportRestored(window, deadline); });
        return;
    }
    std::printf("pelidor: restored minimized=%d visible=%d active=%d\n",
                window->isMinimized() ? 1 : 0, window->isVisible() ? 1 : 0,
                window->isActiveWindow() ? 1 : 0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    // What the units set up before the entry runs.
    InitSharedHelpers();
    (void)EngineFolders();
    (void)AppDataDir();
    (void)PathVariables();

    const char* hooksValue = std::getenv("PELIDOR_TEST_HOOKS");
    const std::string hooks = hooksValue != nullptr ? hooksValue : "";

    // The lock file records the holder by process id and program file name; the
    // name must be known before the application object exists.
    const std::string self = platform::executablePath();
    QCoreApplication::setApplicationName(self.empty()
                                             ? QStringLiteral("pelidor")
                                             : QFileInfo(QString::fromStdString(self)).fileName());

    TSingleInstance instance;
    if (!instance.tryAcquire()) {
        instance.activateRunning();
        return 0;
    }

    TElevationSupport elevation;
    elevation.releaseInstance = [&instance] { instance.release(); };
    if (RelaunchElevatedIfNeeded(elevation))
        return 0;

    // The news window embeds Qt WebEngine, which shares its OpenGL contexts with the
    // application's; that must be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web engine's renderer refuses to start its sandbox for the root user; the news
    // and support pages then run without it rather than not at all.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("pelidor"));
    ApplyOrlaLook(app);
    instance.listen();

    TImgData imgData;
    QApplication::setWindowIcon(imgData.AppIcon());

    // Loading the settings (when the window is created) starts the install-status report
    // when the program's version changed.
    InstallStatusReporter();

    int result = 0;
    {
        // Closing the window stops a running search and waits for it, then stores the
        // settings; all of that happens before the controller is freed below.
        TfrmQdxMain mainWindow;
        QObject::connect(&instance, &TSingleInstance::activationRequested, &mainWindow, [&hooks] {
            QWidget* window = FindTopLevelWindow(QStringLiteral("TFrmQdxMain"));
            RestoreAndRaise(window);
            if (!hooks.empty())
                reportRestored(window, QDeadlineTimer(1000));
        });

        if (hooks.find("minimized") != std::string::npos)
            mainWindow.showMinimized();
        else
            mainWindow.show();
        if (!hooks.empty())
            QTimer::singleShot(0, &mainWindow, [&mainWindow] {
                std::printf("pelidor: ready minimized=%d\n", mainWindow.isMinimized() ? 1 : 0);
                std::fflush(stdout);
            });

        result = QApplication::exec();
    }
    FreeSearchHolper();
    return result;
}
