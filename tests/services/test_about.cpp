// The about window: its texts in the active language, the version, the contact and site
// links (caught with a URL handler), the Japanese edition and its modal showing.
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Registry.h"
#include "services/uAbout.h"
#include "shell/SharedHelpers.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <vector>

namespace pelidor {
namespace {

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlRecorder() override {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }

private:
    static constexpr const char* kSchemes[] = {"http", "https", "mailto"};
};

class AboutWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        SelectLanguage("English");
    }
    void TearDown() override {
        SetLanguageFolder({});
        AppConfig = TAppConfig();
    }

    static QString text(const QWidget& form, const char* name) {
        const QWidget* w = form.findChild<QWidget*>(QLatin1String(name));
        if (const auto* label = qobject_cast<const QLabel*>(w))
            return label->text();
        if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            return button->text();
        ADD_FAILURE() << "no component " << name;
        return {};
    }
    static QAbstractButton* link(const QWidget& form, const char* name) {
        return form.findChild<QAbstractButton*>(QLatin1String(name));
    }
    // A Config.ini with a [Services] section, used by the window's addresses.
    void useServices(const QString& services) {
        const QString path = dir_.filePath(QStringLiteral("Config.ini"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Services]\n" + services).toUtf8());
        AppConfig.ConfigFile = path.toStdString();
    }

    QTemporaryDir dir_;
};

TEST_F(AboutWindow, EnglishTextsVersionAndLinks) {
    // An older version in the settings is not what the window shows.
    AppConfig.SetupVer = "0.0.0.9";
    TfrmAbout form;
    EXPECT_EQ(form.size(), QSize(490, 288));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("About Pelidor"));
    EXPECT_EQ(text(form, "lbl1"), QStringLiteral("Pelidor"));
    EXPECT_EQ(text(form, "lblver"), QStringLiteral("Version:"));
    EXPECT_EQ(text(form, "lblemail"), QStringLiteral("Support:"));
    EXPECT_EQ(text(form, "lblhome"), QStringLiteral("Website:"));
    EXPECT_EQ(text(form, "lblthanks"), QStringLiteral("Translators:"));
    EXPECT_EQ(text(form, "lblverinfo"), QStringLiteral(PELIDOR_VERSION_TEXT));
    EXPECT_EQ(text(form, "lblverinfo").toStdString(), VersionText(ProgramVersionInfo()));
    EXPECT_EQ(text(form, "lblemailinfo"), QStringLiteral("support@corvane.example"));
    EXPECT_EQ(text(form, "lblhomeinfo"), QStringLiteral("www.corvane.example"));

    const auto* logo = form.findChild<QLabel*>(QStringLiteral("OrlaImage1"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->geometry().size(), QSize(50, 50));
    EXPECT_FALSE(logo->pixmap().isNull());
    const auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->toPlainText(), AboutCredits());
    EXPECT_TRUE(AboutCredits().contains(QLatin1Char(',')));

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    UrlRecorder urls;
    for (const char* name : {"lblemailinfo", "lblhomeinfo"}) {
        QAbstractButton* button = link(form, name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
    }
    ASSERT_EQ(urls.opened.size(), 2u);
    EXPECT_EQ(urls.opened[0], QUrl(QStringLiteral("mailto:support@corvane.example")));
    EXPECT_EQ(urls.opened[1], QUrl(QStringLiteral("http://www.corvane.example/")));
}

TEST_F(AboutWindow, LocalizesInTheActiveLanguage) {
    struct Case {
        const char* language;
        const char* caption;
        const char* version;
        const char* thanks;
    };
    const Case cases[] = {
        {"German", "Über Pelidor", "Version:", "Übersetzer:"},
        {"ChineseSimplified", "关于 Pelidor", "版本：", "翻译："},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        SelectLanguage(c.language);
        TfrmAbout form;
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(c.caption));
        EXPECT_EQ(text(form, "lblver"), QString::fromUtf8(c.version));
        EXPECT_EQ(text(form, "lblthanks"), QString::fromUtf8(c.thanks));
        EXPECT_EQ(form.font().family(), LangFont().family());
        EXPECT_EQ(form.font().pointSize(), GetLangFontSize());
        // Product name, contact and credits are the same in every language.
        EXPECT_EQ(text(form, "lbl1"), QStringLiteral("Pelidor"));
        EXPECT_EQ(text(form, "lblemailinfo"), QStringLiteral("support@corvane.example"));
        EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(),
                  AboutCredits());
    }
}

TEST_F(AboutWindow, PackWithoutItsKeysKeepsTheDesignCaptions) {
    // A language folder whose only pack (the fallback itself) lacks the window's keys.
    QFile pack(dir_.filePath(QStringLiteral("English.ini")));
    ASSERT_TRUE(pack.open(QIODevice::WriteOnly));
    const QString content = QStringLiteral("\uFEFF[Lang]\r\n[Translation]\r\nLangCode=0409\r\n");
    pack.write(reinterpret_cast<const char*>(content.utf16()), content.size() * 2);
    pack.close();
    SetLanguageFolder((dir_.path() + QLatin1Char('/')).toStdString());
    SelectLanguage("English");

    TfrmAbout form;
    EXPECT_EQ(form.windowTitle(), QString());
    EXPECT_EQ(text(form, "lblver"), QStringLiteral("Version:"));
    EXPECT_EQ(text(form, "lblemail"), QStringLiteral("Support:"));
    EXPECT_EQ(text(form, "lblhome"), QStringLiteral("Website:"));
    EXPECT_EQ(text(form, "lblthanks"), QStringLiteral("Translators:"));
    EXPECT_EQ(text(form, "lblverinfo"), QStringLiteral(PELIDOR_VERSION_TEXT));
}

TEST_F(AboutWindow, ContactAndSiteFollowTheEditionAndTheServices) {
    useServices(QStringLiteral("WebSite=http://127.0.0.1:8123/maker/\n"
                               "JapanSite=http://jp.corvane.example:8124\n"));
    struct Case {
        const char* name;
        bool japanese;
        const char* email;
        const char* home;
        const char* emailUrl;
        const char* homeUrl;
    };
    const Case cases[] = {
        {"other editions", false, "support@corvane.example", "127.0.0.1",
         "mailto:support@corvane.example", "http://127.0.0.1:8123/maker/"},
        {"Japanese edition", true, "http://jp.corvane.example:8124/support",
         "http://jp.corvane.example:8124", "http://jp.corvane.example:8124/support",
         "http://jp.corvane.example:8124"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TfrmAbout form(nullptr, c.japanese);
        EXPECT_EQ(text(form, "lblemailinfo"), QString::fromUtf8(c.email));
        EXPECT_EQ(text(form, "lblhomeinfo"), QString::fromUtf8(c.home));
        UrlRecorder urls;
        form.lblemailinfoClick();
        form.lblhomeinfoClick();
        ASSERT_EQ(urls.opened.size(), 2u);
        EXPECT_EQ(urls.opened[0], QUrl(QString::fromUtf8(c.emailUrl)));
        EXPECT_EQ(urls.opened[1], QUrl(QString::fromUtf8(c.homeUrl)));
    }
}

TEST_F(AboutWindow, ShowAboutIsModalCentredOverItsOwnerAndFreed) {
    QWidget owner;
    owner.setGeometry(60, 40, 700, 560);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    struct Seen {
        bool found = false;
        bool modal = false;
        bool japanese = false;
        QPoint centre;
    };
    const auto inspectAndClose = [](Seen& seen) {
        QTimer::singleShot(0, [&seen] {
            (void)QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; });
            auto* form = qobject_cast<TfrmAbout*>(QApplication::activeModalWidget());
            if (form == nullptr)
                return;
            seen.found = true;
            seen.modal = form->isModal();
            seen.japanese = form->Japanese();
            seen.centre = form->geometry().center();
            form->reject();
        });
    };

    Seen plain;
    inspectAndClose(plain);
    ShowAbout(&owner, false);
    EXPECT_TRUE(plain.found);
    EXPECT_TRUE(plain.modal);
    EXPECT_FALSE(plain.japanese);
    EXPECT_LE((plain.centre - owner.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(owner.findChildren<TfrmAbout*>().isEmpty());

    // The one-argument form reads the edition from the registry stand-in.
    ASSERT_TRUE(
        platform::regWriteDword("HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor", "IsJP", 1));
    Seen japanese;
    inspectAndClose(japanese);
    ShowAbout(&owner);
    QFile::remove(QString::fromStdString(platform::registryFilePath()));
    EXPECT_TRUE(japanese.found);
    EXPECT_TRUE(japanese.japanese);
    EXPECT_TRUE(owner.findChildren<TfrmAbout*>().isEmpty());
}

} // namespace
} // namespace pelidor

#include "test_about.moc"
