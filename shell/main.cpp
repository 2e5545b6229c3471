// Pelidor's entry: one instance per user, the administrator-rights rule, then the
// shared pictures and the main window, and the event loop until the window closes.
//
// A start that finds a first instance still ending (its window closed, its lock still
// held) waits for it to end and then runs as the first instance. SIGTERM and SIGINT
// close the main window, so the program ends as when the user closes it.
//
// PELIDOR_TEST_HOOKS (for the tests of this start-up): when set, the program prints
// "pelidor: ready ..." once its window is up and "pelidor: restored ..." each time a
// later start asked for it, both with the window's state, "pelidor: waiting ..." when it
// waits for an ending instance, and "pelidor: ending" once its window has gone; when the
// value contains "minimized", the window starts minimised. PELIDOR_TEST_LINGER names a
// file: after "pelidor: ending" the program keeps its lock until that file exists.
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
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace pelidor;

// How long a start waits for a first instance that holds the lock but does not answer
// (one that is still starting or already ending).
constexpr int kWaitForRunningMs = 60000;

int gEndSignalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int) {
    const char byte = 1;
    const int saved = errno;
    (void)!::write(gEndSignalPipe[1], &byte, 1);
    errno = saved;
}

// SIGTERM and SIGINT call `close` on the user-interface thread; a second signal ends
// the program at once.
void closeOnEndSignals(QObject* context, const std::function<void()>& close) {
    if (::pipe2(gEndSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(gEndSignalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [close] {
        char buffer[16];
        while (::read(gEndSignalPipe[0], buffer, sizeof buffer) > 0) {
        }
        close();
    });
    struct sigaction sa {};
    sa.sa_handler = onEndSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

// The browser engine of the news and support windows always runs with its sandbox:
// the switches that turn it off are dropped from the environment and the arguments.
std::vector<char*> withoutSandboxSwitches(int argc, char* argv[]) {
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.isEmpty()) {
        QByteArrayList kept;
        for (const QByteArray& flag : flags.split(' '))
            if (!flag.isEmpty() && flag != "--no-sandbox" && flag != "--disable-gpu-sandbox")
                kept.push_back(flag);
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kept.join(' '));
    }
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i)
        if (i == 0 || (std::strcmp(argv[i], "--no-sandbox") != 0 &&
                       std::strcmp(argv[i], "--disable-gpu-sandbox") != 0))
            args.push_back(argv[i]);
    args.push_back(nullptr);
    return args;
}

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
    // A running instance is asked to restore its window. One that holds the lock but does
    // not answer is still starting or already ending: ask again until it answers or ends.
    const QDeadlineTimer waitForRunning(kWaitForRunningMs);
    bool announced = false;
    while (!instance.tryAcquire()) {
        if (instance.activateRunning(1000))
            return 0;
        if (waitForRunning.hasExpired()) {
            std::fprintf(stderr, "pelidor: another instance holds the lock and does not answer\n");
            return 1;
        }
        if (!hooks.empty() && !announced) {
            std::printf("pelidor: waiting for the running instance to end\n");
            std::fflush(stdout);
            announced = true;
        }
        QThread::msleep(100);
    }

    TElevationSupport elevation;
    elevation.releaseInstance = [&instance] { instance.release(); };
    if (RelaunchElevatedIfNeeded(elevation))
        return 0;

    // The news window embeds Qt WebEngine, which shares its OpenGL contexts with the
    // application's; that must be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // (Root, for whom the engine refuses its sandbox, gets no news and support windows.)
    std::vector<char*> args = withoutSandboxSwitches(argc, argv);
    int appArgc = static_cast<int>(args.size()) - 1;
    QApplication app(appArgc, args.data());
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
        // The program ends with its main window, whatever other windows are open; a later
        // start is no longer answered from then on, and waits for the end instead.
        QObject::connect(&mainWindow, &TfrmQdxMain::Closed, &app, [&instance] {
            instance.stopListening();
            QCoreApplication::quit();
        });
        closeOnEndSignals(&mainWindow, [&mainWindow] { mainWindow.close(); });
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
                std::printf("pelidor: ready minimized=%d web-pages=%d\n",
                            mainWindow.isMinimized() ? 1 : 0, mainWindow.WebPagesOffered() ? 1 : 0);
                std::fflush(stdout);
            });

        result = QApplication::exec();
    }
    FreeSearchHolper();
    if (!hooks.empty()) {
        std::printf("pelidor: ending\n");
        std::fflush(stdout);
        if (const char* linger = std::getenv("PELIDOR_TEST_LINGER"))
            while (::access(linger, F_OK) != 0)
                QThread::msleep(20);
    }
    return result;
}
