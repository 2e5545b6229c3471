// Opening files, the file manager calls on a private session bus with a stand-in file
// manager, their fallbacks, and the program's own properties window.
#include "platform/DateTime.h"
#include "shell/FileManager.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempTree.h"
#include "ui/main/ResultsList.h"
#include "ui/main/uProperties.h"
#include "ui/toolkit/OrlaStyle.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl& url, std::ostream* out) {
    *out << url.toEncoded().toStdString();
}
QT_END_NAMESPACE

namespace pelidor {
namespace {

using test::EnvGuard;
using test::TempTree;

// Records the addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

// A file manager on the bus: it records each call and answers it, answers with an
// error, or never answers.
class StandInFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    enum Mode { Answer, Fail, Silent };
    struct Call {
        QString method;
        QStringList uris;
        QString startupId;
    };

    void setMode(Mode mode) {
        std::lock_guard lock(mutex_);
        mode_ = mode;
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

public slots:
    void ShowFolders(const QStringList& uris, const QString& startupId) {
        record(QStringLiteral("ShowFolders"), uris, startupId);
    }
    void ShowItems(const QStringList& uris, const QString& startupId) {
        record(QStringLiteral("ShowItems"), uris, startupId);
    }
    void ShowItemProperties(const QStringList& uris, const QString& startupId) {
        record(QStringLiteral("ShowItemProperties"), uris, startupId);
    }

private:
    void record(const QString& method, const QStringList& uris, const QString& startupId) {
        std::lock_guard lock(mutex_);
        calls_.push_back({method, uris, startupId});
        if (mode_ == Fail)
            sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show that"));
        else if (mode_ == Silent)
            setDelayedReply(true); // and no reply ever comes
    }

    mutable std::mutex mutex_;
    Mode mode_ = Answer;
    std::vector<Call> calls_;
};

// A private session bus (its own dbus-daemon, no activatable services) for one test,
// named by DBUS_SESSION_BUS_ADDRESS while the test runs.
class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        const std::string config = tree.write(
            "bus.conf",
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n  <type>session</type>\n  <listen>unix:dir=" +
                tree.root() +
                "</listen>\n  <auth>EXTERNAL</auth>\n"
                "  <policy context=\"default\">\n"
                "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
                "  </policy>\n</busconfig>\n");
        bus.start(daemon, {QStringLiteral("--config-file=") + QString::fromStdString(config),
                           QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(bus.waitForStarted(5000));
        while (!bus.canReadLine() && bus.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(bus.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty()) << bus.readAllStandardError().toStdString();
        env.set("DBUS_SESSION_BUS_ADDRESS", address.toStdString());
    }

    // Puts the stand-in file manager on the bus; it answers on a thread of its own.
    void startFileManager() {
        fileManager.moveToThread(&serviceThread);
        serviceThread.start();
        QDBusConnection conn = QDBusConnection::connectToBus(address, kServiceConnection);
        ASSERT_TRUE(conn.isConnected());
        ASSERT_TRUE(conn.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                        &fileManager, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(conn.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        serving = true;
    }

    void TearDown() override {
        if (serving) {
            QDBusConnection::disconnectFromBus(kServiceConnection);
            QThread* const here = QThread::currentThread();
            QMetaObject::invokeMethod(
                &fileManager, [this, here] { fileManager.moveToThread(here); },
                Qt::BlockingQueuedConnection);
            serviceThread.quit();
            serviceThread.wait();
        }
        if (bus.state() != QProcess::NotRunning) {
            bus.terminate();
            if (!bus.waitForFinished(5000))
                bus.kill();
            bus.waitForFinished(5000);
        }
    }

    // The expected address of a file of the tree (the tree's root needs no escapes).
    QString uri(const char* encodedRelative) const {
        return QStringLiteral("file://") + QString::fromStdString(tree.root()) + QLatin1Char('/') +
               QLatin1String(encodedRelative);
    }

    const QString kServiceConnection = QStringLiteral("stand-in-file-manager");
    TempTree tree;
    EnvGuard env;
    QProcess bus;
    QString address;
    QThread serviceThread;
    StandInFileManager fileManager;
    bool serving = false;
};

TEST_F(PrivateBus, TheFileManagerTakesTheCallsWithTheFilesAddress) {
    startFileManager();
    ASSERT_EQ(tree.root().find_first_not_of(
                  "/ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_."),
              std::string::npos);
    const std::string plain = tree.write("docs/a b.txt", "1");
    const std::string latin1 = tree.write("docs/caf\xe9.txt", "2");
    const std::string utf8 = tree.write("docs/\xe6\x97\xa5\xe6\x9c\xac,x.txt", "3");
    UrlRecorder urls;
    QWidget owner;

    EXPECT_TRUE(ShowItems(plain));
    EXPECT_TRUE(ShowItemProperties(latin1));
    EXPECT_TRUE(ShowInFolder(utf8));
    EXPECT_TRUE(ShowFileProperties(plain, &owner));

    const auto calls = fileManager.calls();
    ASSERT_EQ(calls.size(), 4u);
    const std::vector<std::pair<QString, QString>> expected = {
        {QStringLiteral("ShowItems"), uri("docs/a%20b.txt")},
        {QStringLiteral("ShowItemProperties"), uri("docs/caf%E9.txt")},
        {QStringLiteral("ShowItems"), uri("docs/%E6%97%A5%E6%9C%AC,x.txt")},
        {QStringLiteral("ShowItemProperties"), uri("docs/a%20b.txt")}};
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].method, expected[i].first);
        EXPECT_EQ(calls[i].uris, QStringList{expected[i].second});
        EXPECT_EQ(calls[i].startupId, QString());
    }
    // The file manager showed them: nothing was opened, no window of the program's own.
    EXPECT_TRUE(urls.opened.empty());
    EXPECT_EQ(owner.findChild<TfrmProperties*>(), nullptr);
}

TEST_F(PrivateBus, WithoutAnAnswerTheFallbacksRun) {
    const std::string file = tree.write("pics/holiday photo.jpg", "jpeg");
    struct Case {
        const char* what;
        bool fileManager;
        StandInFileManager::Mode mode;
    };
    bool started = false;
    for (const Case& c :
         {Case{"no file manager on the bus", false, StandInFileManager::Answer},
          Case{"the file manager answers with an error", true, StandInFileManager::Fail}}) {
        SCOPED_TRACE(c.what);
        if (c.fileManager && !started) {
            startFileManager();
            started = true;
        }
        fileManager.setMode(c.mode);
        UrlRecorder urls;
        QWidget owner;
        EXPECT_FALSE(ShowItems(file));
        EXPECT_FALSE(ShowItemProperties(file));
        EXPECT_TRUE(urls.opened.empty());

        // Show in folder: the folder that holds the file is opened instead.
        EXPECT_FALSE(ShowInFolder(file));
        ASSERT_EQ(urls.opened.size(), 1u);
        EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(tree.path("pics/"))));

        // Properties: the program's own window, over the owner, for that file.
        EXPECT_FALSE(ShowFileProperties(file, &owner));
        auto* props = owner.findChild<TfrmProperties*>();
        ASSERT_NE(props, nullptr);
        EXPECT_TRUE(props->isVisible());
        EXPECT_EQ(props->FileName(), file);
        EXPECT_EQ(props->edName->text(), QStringLiteral("holiday photo.jpg"));
        EXPECT_TRUE(props->testAttribute(Qt::WA_DeleteOnClose));
    }
    EXPECT_EQ(fileManager.calls().size(), 4u); // the error case reached the file manager
}

TEST_F(PrivateBus, AFileManagerThatNeverAnswersIsGivenUpAfterTheTimeout) {
    startFileManager();
    fileManager.setMode(StandInFileManager::Silent);
    const std::string file = tree.write("a.txt", "a");
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ShowItems(file));
    EXPECT_GE(clock.elapsed(), kFileManagerTimeoutMs / 2); // it waited for an answer
    EXPECT_EQ(fileManager.calls().size(), 1u);
}

TEST(FileManagerCalls, NoBusAtAllFailsAtOnce) {
    TempTree tree;
    EnvGuard env;
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + tree.path("no-bus-here"));
    const std::string file = tree.write("a.txt", "a");
    UrlRecorder urls;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ShowItems(file));
    EXPECT_FALSE(ShowItemProperties(file));
    EXPECT_FALSE(ShowInFolder(file));
    // Refused, not waited for: well inside one call's time limit.
    EXPECT_LT(clock.elapsed(), kFileManagerTimeoutMs);
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(tree.root() + "/")));
    EXPECT_FALSE(ShowItems(""));
}

TEST(OpenWithAssociatedProgram, HandsTheFilesAddressToTheDesktop) {
    TempTree tree;
    const std::string plain = tree.write("my doc #1.txt", "x");
    const std::string latin1 = tree.write("r\xe9sum\xe9.pdf", "x");
    UrlRecorder urls;
    EXPECT_TRUE(OpenWithAssociatedProgram(plain));
    EXPECT_TRUE(OpenWithAssociatedProgram(latin1));
    EXPECT_FALSE(OpenWithAssociatedProgram(""));
    ASSERT_EQ(urls.opened.size(), 2u);
    EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(plain)));
    EXPECT_EQ(urls.opened[0].toLocalFile(), QString::fromStdString(plain));
    // The bytes of a name that is not UTF-8 survive in the address.
    EXPECT_EQ(urls.opened[1].toEncoded(),
              QByteArray("file://") + QByteArray::fromStdString(tree.root()) + "/r%E9sum%E9.pdf");
}

// ---- The properties window -----------------------------------------------------------

TEST(PermissionText, LettersAndOctalDigits) {
    const std::vector<std::pair<uint32_t, const char*>> cases = {
        {0100644, "-rw-r--r-- (0644)"}, {0100640, "-rw-r----- (0640)"},
        {0104755, "-rwsr-xr-x (4755)"}, {0102644, "-rw-r-Sr-- (2644)"},
        {0041777, "drwxrwxrwt (1777)"}, {0041776, "drwxrwxrwT (1776)"},
        {0120777, "lrwxrwxrwx (0777)"}, {0100000, "---------- (0000)"},
    };
    for (const auto& [mode, text] : cases)
        EXPECT_EQ(PermissionText(mode), QLatin1String(text)) << std::oct << mode;
}

std::string userName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw != nullptr ? pw->pw_name : "";
}

TEST(FileProperties, ARealFile) {
    TempTree tree;
    const std::string file = tree.writeSized("sub dir/report 2023.pdf", 1536, 3);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    tree.setMTime("sub dir/report 2023.pdf", 1609556645); // 2021-01-02 03:04:05 UTC
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const TFileProperties p = ReadFileProperties(file, english, QStringLiteral("gone"));
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.Name, QStringLiteral("report 2023.pdf"));
    EXPECT_EQ(p.Folder, QString::fromStdString(tree.path("sub dir/")));
    EXPECT_EQ(p.Size, QStringLiteral("1.5 KB (1,536 Bytes)"));
    double modified = 0;
    ASSERT_TRUE(platform::encodeDateTime({2021, 1, 2, 3, 4, 5, 0}, modified)); // TZ=UTC
    EXPECT_EQ(p.Modified, DateTimeText(modified, english));
    EXPECT_FALSE(p.Created.isEmpty());
    EXPECT_EQ(p.Permissions, QStringLiteral("-rw-r----- (0640)"));
    EXPECT_EQ(p.Owner.toStdString(), userName());
    EXPECT_FALSE(p.Group.isEmpty());
    EXPECT_TRUE(p.Problem.isEmpty());

    const std::string small = tree.write("small.txt", "12345");
    EXPECT_EQ(ReadFileProperties(small, english, {}).Size, QStringLiteral("5 Bytes"));
}

TEST(FileProperties, ANameThatIsNotUtf8) {
    TempTree tree;
    const std::string file = tree.write("caf\xe9.txt", "abc");
    const TFileProperties p =
        ReadFileProperties(file, QLocale(QLocale::English, QLocale::UnitedStates), {});
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.Name, QStringLiteral("caf\uFFFD.txt"));
    EXPECT_EQ(p.Size, QStringLiteral("3 Bytes"));
    EXPECT_TRUE(p.Permissions.startsWith(QLatin1Char('-')));
    EXPECT_FALSE(p.Owner.isEmpty());
}

TEST(FileProperties, TheWindowShowsTheValuesOrAMissingLine) {
    TempTree tree;
    const std::string file = tree.write("keep/a.txt", "hello");
    QWidget owner;
    TfrmProperties dlg(&owner);
    dlg.SetFile(file);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Properties"));
    EXPECT_EQ(dlg.lblName->text(), QStringLiteral("Name:"));
    EXPECT_EQ(dlg.edName->text(), QStringLiteral("a.txt"));
    EXPECT_EQ(dlg.edFolder->text(), QString::fromStdString(tree.path("keep/")));
    EXPECT_EQ(dlg.edSize->text(), dlg.Properties().Size);
    EXPECT_EQ(dlg.edPermissions->text(), dlg.Properties().Permissions);
    EXPECT_EQ(dlg.edOwner->text().toStdString(), userName());
    EXPECT_TRUE(dlg.edModified->isVisible());
    EXPECT_FALSE(dlg.lblMissing->isVisible());
    EXPECT_TRUE(dlg.edName->isReadOnly());
    dlg.hide();

    // Gone before the window opens: name and folder stay, the rest is a clear line.
    ASSERT_EQ(::unlink(file.c_str()), 0);
    dlg.SetFile(file);
    dlg.show();
    EXPECT_FALSE(dlg.Properties().Exists);
    EXPECT_EQ(dlg.edName->text(), QStringLiteral("a.txt"));
    EXPECT_TRUE(dlg.lblMissing->isVisible());
    EXPECT_EQ(dlg.lblMissing->text(), QStringLiteral("This file no longer exists."));
    EXPECT_FALSE(dlg.edSize->isVisible());
    EXPECT_FALSE(dlg.edOwner->isVisible());
    dlg.hide();

    // A path whose folder cannot be searched: the system's reason.
    if (!test::runningAsRoot()) {
        const std::string hidden = tree.write("closed/b.txt", "b");
        ::chmod(tree.path("closed").c_str(), 0);
        const TFileProperties p = ReadFileProperties(hidden, QLocale::c(), QStringLiteral("gone"));
        ::chmod(tree.path("closed").c_str(), 0755);
        EXPECT_FALSE(p.Exists);
        EXPECT_EQ(p.Problem, QStringLiteral("Permission denied"));
    }
    EXPECT_EQ(ReadFileProperties("", QLocale::c(), QStringLiteral("gone")).Problem,
              QStringLiteral("gone"));
}

// Saves a picture of the properties window into $PELIDOR_SCREENSHOTS (skipped without it).
TEST(FileProperties, Screenshot) {
    const char* dir = std::getenv("PELIDOR_SCREENSHOTS");
    if (dir == nullptr || *dir == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    ApplyOrlaLook(*qApp);
    TempTree tree;
    const std::string file =
        tree.writeSized("Holiday in Portugal/IMG_20190812_101500.jpg", 2345678, 1);
    TfrmProperties dlg;
    dlg.SetFile(file);
    dlg.show();
    dlg.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/properties-en.png"));
    ::unlink(file.c_str());
    dlg.hide();
    dlg.show();
    dlg.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/properties-en-missing.png"));
}

} // namespace
} // namespace pelidor

#include "test_row_actions_shell.moc"
