// The main window under test: a real window under the offscreen platform, its settings
// in a temporary folder (written to Config.ini before the window loads them), the
// repository's language packs, a private registry file and real folder trees.
#pragma once

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Registry.h"
#include "tests/support/TempTree.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/main/ResultsList.h"
#include "ui/main/uQdxMain.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

QT_BEGIN_NAMESPACE
// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelidor::main_window_test {

inline const std::string kPelidorKey = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor";

// One listed row: the path below the data tree, its group and its band colour.
// Answers every modal dialog that appears (from any nested event loop) with `act`,
// until it goes away; the dialogs seen are counted.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible() || modal == last_)
                return;
            last_ = modal;
            ++count;
            act_(modal);
        });
        timer_.start(5);
    }
    int count = 0;

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

// The question asked before a deletion that cannot be undone (it names the space the
// deletion frees): answered Yes. True when `w` was that question.
inline bool confirmPermanentDeletion(QWidget* w) {
    auto* form = qobject_cast<TMessageForm*>(w);
    if (form == nullptr || !form->Message->text().contains(QString::fromStdString(
                               ReadLangString("Message", "PermanentDeleteSize"))))
        return false;
    // A click by the program: the dialog may not have its final layout yet.
    form->findChild<QPushButton*>(QStringLiteral("btnYes"))->click();
    return true;
}

// The question asked before deleting groups whose every copy is ticked: answered by
// clicking `button` ("btnYes" or "btnNo"). True when `w` was that question.
inline bool answerEveryCopyQuestion(QWidget* w, const QString& button) {
    auto* form = qobject_cast<TMessageForm*>(w);
    const QString text = QString::fromStdString(ReadLangString("Message", "EveryCopyQuestion"));
    if (form == nullptr || !form->Message->text().startsWith(text.left(text.indexOf(u'%'))))
        return false;
    form->findChild<QPushButton*>(button)->click();
    return true;
}

struct Row {
    std::string path;
    int group = 0;
    uint32_t band = 0;
    bool checked = false;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool look = [] {
            ApplyOrlaLook(*static_cast<QApplication*>(QCoreApplication::instance()));
            return true;
        }();
        (void)look;
        SetSettingsRoot(settings.root() + "/");
        platform::setRegistryFilePath(settings.path("Corvane/registry.reg"));
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        AppConfig = TAppConfig();
        AppConfig.Lang = "English";
        // The window as an unprivileged user gets it (the tests run as root too); tests
        // of the root case say so themselves.
        savedRootCheck_ = TfrmQdxMain::RunningAsRoot;
        TfrmQdxMain::RunningAsRoot = [] { return false; };
    }

    void TearDown() override {
        window.reset();
        TfrmQdxMain::RunningAsRoot = savedRootCheck_;
        SetSettingsRoot({});
        platform::setRegistryFilePath({});
        SetLanguageFolder({});
    }

    // Writes AppConfig to Config.ini and opens the window on it.
    void open() {
        ASSERT_TRUE(SaveAppConfig());
        window = std::make_unique<TfrmQdxMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // Closes the window (it stores its settings) and opens it again.
    void reopen() {
        window.reset();
        window = std::make_unique<TfrmQdxMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Clicks Scan and waits for the end of the search.
    bool scan(int timeoutMs = 60000) {
        QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
        QTest::mouseClick(window->btnScan, Qt::LeftButton);
        return ended.count() > 0 || ended.wait(timeoutMs);
    }

    // Processes events until `done` holds or the time is up.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QTest::qWait(5);
        }
        return true;
    }

    // The list position of a file, by its path relative to the data tree; -1 if absent.
    int rowOf(const std::string& relative) const {
        const std::vector<Row> listed = rows();
        for (size_t i = 0; i < listed.size(); ++i)
            if (listed[i].path == relative)
                return int(i);
        return -1;
    }

    // Ticks the rows of these files as the user does, through the list's check box.
    void tick(std::initializer_list<std::string> relatives) {
        for (const std::string& r : relatives) {
            const int row = rowOf(r);
            ASSERT_GE(row, 0) << r;
            window->model->setData(window->model->index(row, colFileName), Qt::Checked,
                                   Qt::CheckStateRole);
        }
    }

    // The listed files, relative to the data tree, each ticked one marked " [x]".
    std::vector<std::string> listed() const {
        std::vector<std::string> out;
        for (const Row& r : rows())
            out.push_back(r.path + (r.checked ? " [x]" : ""));
        return out;
    }

    // Clicks Delete, confirms a permanent deletion, and answers every failure dialog by
    // clicking its `button` (btnOk: Yes, btnCancel: No); the dialogs' messages in order.
    std::vector<QString> deleteAnsweringFailures(TOrlaImageButton* TfrmDeleteComfirm::*button) {
        std::vector<QString> messages;
        ModalAnswerer answer([&](QWidget* w) {
            if (confirmPermanentDeletion(w))
                return;
            auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w);
            ASSERT_NE(dlg, nullptr);
            messages.push_back(dlg->wslbl1->text());
            QTest::mouseClick(dlg->*button, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        return messages;
    }

    struct Question {
        QString text;
        QString focused; // the object name of the button Enter pressed
    };
    // Clicks Delete, confirms a permanent deletion, and answers the question that comes
    // next with Enter.
    Question deleteAnsweringWithEnter() {
        Question seen;
        ModalAnswerer answer([&](QWidget* w) {
            if (confirmPermanentDeletion(w))
                return;
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            seen.text = form->Message->text();
            QWidget* focus = form->focusWidget();
            seen.focused = focus != nullptr ? focus->objectName() : QString();
            QTest::keyClick(focus != nullptr ? focus : form, Qt::Key_Return);
        });
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        return seen;
    }

    // The listed rows, paths relative to the data tree.
    std::vector<Row> rows() const {
        std::vector<Row> out;
        const TResultsModel& m = *window->model;
        for (int i = 0; i < m.RowCount(); ++i) {
            const TFileRow* r = m.Row(i);
            Row row;
            if (r != nullptr && r->FileInfo != nullptr) {
                row.path = r->FileInfo->FileName;
                if (row.path.rfind(data.root() + "/", 0) == 0)
                    row.path = row.path.substr(data.root().size() + 1);
                row.group = r->GroupNo;
                row.band = r->BandColor;
            }
            row.checked = m.IsChecked(i);
            out.push_back(row);
        }
        return out;
    }

    // The groups as listed, each a set of relative paths, in list order.
    std::vector<std::set<std::string>> groups() const {
        std::vector<std::set<std::string>> out;
        int last = -1;
        for (const Row& r : rows()) {
            if (out.empty() || r.group != last)
                out.emplace_back();
            out.back().insert(r.path);
            last = r.group;
        }
        return out;
    }

    test::TempTree settings; // Config.ini, the registry file, language packs
    test::TempTree data;     // the folders scanned
    std::unique_ptr<TfrmQdxMain> window;
    std::function<bool()> savedRootCheck_;
};

// A language pack made from one of the repository's packs: every key named in `values`
// takes the new value, or is left out when the value is "<none>". Written UTF-16LE with
// the byte-order mark and CR LF line ends, like the packs themselves.
inline void writePack(const std::string& folder, const std::string& from, const std::string& to,
                      const std::map<std::string, std::string>& values = {}) {
    QFile in(QString::fromStdString(std::string(PELIDOR_LANGUAGES_DIR) + from + ".ini"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    auto decode = QStringDecoder(QStringDecoder::Utf16LE);
    QString text = decode(in.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        const qsizetype eq = line.indexOf(u'=');
        const std::string key = eq > 0 ? line.left(eq).trimmed().toStdString() : std::string();
        const auto it = values.find(key);
        if (it == values.end())
            lines << line;
        else if (it->second != "<none>")
            lines << QString::fromStdString(key + "=" + it->second);
    }
    const QString out = QChar(0xFEFF) + lines.join(QStringLiteral("\r\n"));
    QFile file(QString::fromStdString(folder + "/" + to + ".ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(reinterpret_cast<const char*>(out.utf16()), out.size() * 2);
}

} // namespace pelidor::main_window_test
