// The main window with its real main menu against the stand-in service: the window's
// settings in a temporary folder with [Services] pointing every service at the stand-in,
// the repository's language packs, the addresses the menu opens recorded, and the
// message dialogs answered and recorded as they appear.
#pragma once

#include "StandInService.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/DateTime.h"
#include "services/UCheckNewThread.h"
#include "services/uMainFormMenu.h"
#include "tests/main/test_main_window_support.h"
#include "ui/toolkit/OrlaMsgBox.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <vector>

namespace pelidor::menu_test {

using test::readAll;

// Records the addresses handed to the desktop (QDesktopServices::openUrl) instead of
// opening them.
class DesktopUrlRecorder : public QObject {
    Q_OBJECT

public:
    DesktopUrlRecorder() {
        for (const char* scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }
    ~DesktopUrlRecorder() override {
        for (const char* scheme : {"http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

struct ShownDialog {
    QString title, text;
    int buttons = 0;
};

// Answers every message dialog of the window as it appears: a question with Answer
// (mrYes or mrNo), any other dialog with OK.
class DialogAnswerer {
public:
    explicit DialogAnswerer(TfrmQdxMain* window) : window_(window) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }
    int Answer = mrYes;
    std::vector<ShownDialog> shown;

private:
    void poll() {
        TMessageForm* dlg = window_->wmsg1->OpenDialog();
        if (dlg == nullptr || !dlg->isVisible())
            return;
        const int buttons = int(dlg->findChildren<QPushButton*>().size());
        shown.push_back({dlg->windowTitle(), dlg->Message->text(), buttons});
        dlg->finish(buttons == 2 ? Answer : mrOk);
    }
    TfrmQdxMain* window_;
    QTimer timer_;
};

class MenuWindowTest : public main_window_test::MainWindowTest {
protected:
    static void SetUpTestSuite() {
        // The web engine runs with its sandbox, as in the program: this program runs
        // without root rights (pelidor_qt_test_main_unprivileged).
        service_ = std::make_unique<test::StandInService>();
        startError_ = service_->start() ? QString() : service_->error();
    }
    static void TearDownTestSuite() { service_.reset(); }

    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(startError_.isEmpty()) << startError_.toStdString();
        service_->clearAnswers();
        service_->resetLog();
        pointServicesAt(service_->baseUrl());
        // No automatic check unless a test asks for one.
        AppConfig.AutoUpdate = 3;
        AppConfig.LastUpdate = platform::nowLocalDateTime();
    }

    void TearDown() override {
        answerer.reset();
        MainWindowTest::TearDown();
    }

    static test::StandInService& service() { return *service_; }

    // [Services] of Config.ini: every service at Base, the Japanese site at Base +
    // JapanPath (kept when the settings are saved).
    void pointServicesAt(const QString& base, const std::string& JapanPath = "/jp") {
        const std::string b = base.toStdString();
        settings.write("Pelidor/Config.ini", "[Services]\nWebSite=" + b + "\nJapanSite=" + b +
                                                 JapanPath + "\nNews=" + b + "\nStatistics=" + b +
                                                 "\nFeedback=" + b + "\n");
    }

    // Opens the window with its opened addresses recorded and its dialogs answered.
    void openWindow() {
        // The answerer of a window closed before must not poll while the next one opens.
        answerer.reset();
        open();
        window->UrlOpener = [this](const QString& url) { opened << url; };
        answerer = std::make_unique<DialogAnswerer>(window.get());
    }

    TMainFormMenu* menu() const { return window->MainMenu(); }
    QAction* entry(const char* key) const {
        return window->pmsys->findChild<QAction*>(QLatin1String(key));
    }
    // The top-level entries: key and Tag.
    std::vector<std::pair<std::string, int>> topLevel() const {
        std::vector<std::pair<std::string, int>> out;
        for (const QAction* a : window->pmsys->actions())
            out.emplace_back(a->objectName().toStdString(), a->data().toInt());
        return out;
    }
    QMenu* languageMenu() const {
        QAction* language = entry("ppmLanguage");
        return language != nullptr ? language->menu() : nullptr;
    }

    // Waits until no update check of the window runs any more.
    bool waitForChecks(int timeoutMs = 20000) {
        return waitUntil([&] { return window->pmsys->findChildren<TCheckUpdate*>().isEmpty(); },
                         timeoutMs);
    }

    static inline std::unique_ptr<test::StandInService> service_;
    static inline QString startError_;
    QStringList opened;
    std::unique_ptr<DialogAnswerer> answerer;
};

} // namespace pelidor::menu_test
