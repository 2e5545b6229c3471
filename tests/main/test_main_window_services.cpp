// The main window's services: texts and fonts from the language packs and a language
// switch, column widths kept in Config.ini, format texts that do not fit, the
// Japanese-edition flag, the update schedule, the share targets, the message dialogs
// and the caption-bar markers.
#include "platform/DateTime.h"
#include "services/uSupport.h"
#include "tests/main/test_main_window_support.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

using namespace pelidor;
using namespace pelidor::main_window_test;

namespace {

using ServicesTest = MainWindowTest;

QString header(const TfrmQdxMain& w, int column) {
    return w.model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

TEST_F(ServicesTest, LanguageSwitchTranslatesTheWindowAgain) {
    AppConfig.CompareMode = 3;
    open();
    TfrmQdxMain& w = *window;
    EXPECT_EQ(w.btnScan->text(), QStringLiteral("Scan"));
    EXPECT_EQ(w.btnScan->toolTip(), QStringLiteral("Start searching for duplicate files (F5)"));
    EXPECT_EQ(w.btnCancel->text(), QStringLiteral("Stop"));
    EXPECT_EQ(w.btnKeepOne->text(), QStringLiteral("Keep One per Group"));
    EXPECT_EQ(w.btnDel->toolTip(), QStringLiteral("Delete the ticked files (Del)"));
    EXPECT_EQ(w.lblcaption->text(), QStringLiteral("Find and remove duplicate files"));
    EXPECT_EQ(w.lblLocation->text(), QStringLiteral("Search in:"));
    EXPECT_EQ(w.lblVer->text(), QStringLiteral("Version: " PELIDOR_VERSION_TEXT));
    // The hints name the keys of their commands.
    EXPECT_EQ(w.btnCaptionMenu->toolTip(), QStringLiteral("Menu (F10)"));
    EXPECT_EQ(w.btnCaptionNews->toolTip(), QStringLiteral("News"));
    EXPECT_EQ(w.btnCaptionSupport->toolTip(), QStringLiteral("Support Center"));
    ASSERT_EQ(w.cbbMode->count(), 4);
    EXPECT_EQ(w.cbbMode->itemText(0), QStringLiteral("Same name and size"));
    EXPECT_EQ(w.cbbMode->currentIndex(), 3);
    EXPECT_EQ(header(w, 0), QStringLiteral("File Name"));
    EXPECT_EQ(header(w, 4), QStringLiteral("Create time"));
    EXPECT_EQ(w.pmKeepOne->actions().at(0)->text(),
              QStringLiteral("Keep the Newest by Creation Time"));
    EXPECT_EQ(w.wmsg1->BtnCaptionYes(), QStringLiteral("Yes"));
    // Scan and Stop (Tag 2) are two points larger than the window font.
    EXPECT_EQ(w.font().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(w.btnScan->font().pointSize(), w.font().pointSize() + 2);
    EXPECT_EQ(w.btnCancel->font().pointSize(), w.font().pointSize() + 2);
    EXPECT_EQ(w.btnKeepOne->font().pointSize(), w.font().pointSize());

    SelectLanguage("ChineseSimplified");
    w.LanguageChanged();
    EXPECT_EQ(w.font().pointSize(), 9);
    EXPECT_EQ(w.btnScan->font().pointSize(), 11);
    EXPECT_EQ(w.lblVer->text(), QStringLiteral("版本：" PELIDOR_VERSION_TEXT));

    SelectLanguage("German");
    w.LanguageChanged();
    EXPECT_EQ(w.btnScan->text(), QStringLiteral("Suchen"));
    EXPECT_EQ(w.btnCancel->text(), QStringLiteral("Stopp"));
    EXPECT_EQ(w.btnSelAll->text(), QStringLiteral("Alle auswählen"));
    EXPECT_EQ(w.lblcaption->text(), QStringLiteral("Doppelte Dateien finden und entfernen"));
    EXPECT_EQ(w.lblVer->text(), QStringLiteral("Version: " PELIDOR_VERSION_TEXT));
    EXPECT_EQ(w.cbbMode->currentIndex(), 3); // the selection is kept
    EXPECT_EQ(AppConfig.CompareMode, 3);
    EXPECT_EQ(w.pmKeepOne->actions().at(4)->text(),
              QStringLiteral("Älteste behalten (Änderungszeit)"));
    EXPECT_EQ(w.font().pointSize(), 8);
    EXPECT_EQ(w.btnScan->font().pointSize(), 10);
}

TEST_F(ServicesTest, ColumnWidthsAndTheModeRoundTripThroughConfigIni) {
    AppConfig.header0 = 160;
    AppConfig.header1 = 300;
    AppConfig.header2 = 90;
    AppConfig.header3 = 120;
    AppConfig.header4 = 140;
    open();
    int widths[kResultsColumnCount];
    window->vtFile->columnWidths(widths);
    EXPECT_EQ((std::vector<int>{widths[0], widths[2], widths[3], widths[4]}),
              (std::vector<int>{160, 90, 120, 140}));
    window->cbbMode->setCurrentIndex(2);

    reopen(); // closing writes Config.ini, opening reads it
    window->vtFile->columnWidths(widths);
    EXPECT_EQ((std::vector<int>{widths[0], widths[2], widths[3], widths[4]}),
              (std::vector<int>{160, 90, 120, 140}));
    EXPECT_EQ(window->cbbMode->currentIndex(), 2);
    window.reset();
    LoadAppConfig();
    EXPECT_EQ(AppConfig.header0, 160);
    EXPECT_EQ(AppConfig.header2, 90);
    EXPECT_EQ(AppConfig.header4, 140);
    EXPECT_GT(AppConfig.header1, 0);

    // One width that is not above 0: all five defaults.
    AppConfig.header0 = 200;
    AppConfig.header1 = 0;
    AppConfig.header2 = AppConfig.header3 = AppConfig.header4 = 100;
    open();
    window->vtFile->columnWidths(widths);
    int defaults[kResultsColumnCount];
    DefaultResultColumnWidths(window->vtFile->font(), QLocale::system(), defaults);
    EXPECT_EQ((std::vector<int>{widths[0], widths[2], widths[3], widths[4]}),
              (std::vector<int>{defaults[0], defaults[2], defaults[3], defaults[4]}));
    EXPECT_EQ((std::vector<int>{defaults[0], defaults[2]}), (std::vector<int>{150, 100}));
    EXPECT_GE(defaults[3], 130);
    EXPECT_EQ(defaults[3], defaults[4]);
}

TEST(ResultColumns, DefaultDateWidthsFitTheDateTimeText) {
    // A small font keeps the design width; a large one widens the date-time columns
    // until a late date-time of the locale fits with the text margins.
    double sample = 0;
    ASSERT_TRUE(platform::encodeDateTime({2026, 12, 28, 23, 58, 58, 0}, sample));
    for (const char* name : {"en_US", "de_DE", "zh_CN"}) {
        const QLocale locale(QString::fromLatin1(name));
        for (int points : {6, 8, 14}) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPointSize(points);
            int widths[kResultsColumnCount];
            DefaultResultColumnWidths(font, locale, widths);
            const int text = QFontMetrics(font).horizontalAdvance(DateTimeText(sample, locale));
            EXPECT_GE(widths[colLastDate], std::max(130, text + 2 * TResultsView::kTextMargin))
                << name << " " << points;
            EXPECT_EQ(widths[colFileName], 150);
            EXPECT_EQ(widths[colFolderName], 330);
        }
    }
}

// Texts that count files or groups say "1 file", not "1 files": each has a singular
// form, chosen by its first number (French also says "0 fichier"); the languages
// without plural forms use one text for both.
TEST_F(ServicesTest, CountingTextsHaveSingularForms) {
    const struct {
        const char* lang;
        const char* key;
        std::initializer_list<int64_t> values;
        const char* text;
    } cases[] = {
        {"English", "TickedFiles", {1}, "Ticked: 1 file"},
        {"English", "TickedFiles", {2}, "Ticked: 2 files"},
        {"English", "TickedFiles", {0}, "Ticked: 0 files"},
        {"English", "DeletedToTrash", {1}, "Moved to the Trash: 1 file"},
        {"English", "DeletedPermanently", {1}, "Deleted permanently: 1 file"},
        {"English", "DeleteFailedCount", {1}, "Not deleted: 1 file"},
        {"English",
         "PermanentDeleteQuestion",
         {1},
         "Delete 1 file permanently? It does not go to the Trash."},
        {"English",
         "EveryCopyQuestion",
         {1, 3},
         "Every copy is ticked in 1 group (3 files): deleting them leaves no copy of those "
         "files. Delete them anyway?"},
        {"English",
         "BackupIncomplete",
         {1, 1},
         "The backup is incomplete: 1 file of 1 could not be stored."},
        {"English",
         "BackupIncomplete",
         {2, 5},
         "The backup is incomplete: 2 of 5 files could not be stored."},
        {"German", "TickedFiles", {1}, "Markiert: 1 Datei"},
        {"German", "TickedFiles", {0}, "Markiert: 0 Dateien"},
        {"German",
         "PermanentDeleteQuestion",
         {1},
         "1 Datei endgültig löschen? Sie wird nicht in den Papierkorb verschoben."},
        {"French", "DeletedToTrash", {0}, "Déplacé vers la corbeille : 0 fichier"},
        {"French", "DeletedToTrash", {1}, "Déplacé vers la corbeille : 1 fichier"},
        {"French", "DeletedToTrash", {2}, "Déplacés vers la corbeille : 2 fichiers"},
        {"Spanish", "DeleteFailedCount", {1}, "No eliminado: 1 archivo"},
        {"ChineseSimplified", "TickedFiles", {1}, "已勾选：1 个文件"},
        {"Japanese", "TickedFiles", {1}, "チェック済み：1 個のファイル"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " " + c.key);
        SelectLanguage(c.lang);
        EXPECT_EQ(FormatMessageText(c.key, c.values), QString::fromUtf8(c.text));
    }
    // The summary after a deletion of one file, as the window builds it.
    SelectLanguage("English");
    TfrmQdxMain::TDeletionSummary one;
    one.toTrash = false;
    one.done = 1;
    one.bytes = 10;
    one.failed = 1;
    EXPECT_EQ(TfrmQdxMain::DeletionSummaryText(one),
              QStringLiteral("Deleted permanently: 1 file. Space freed: 10 Bytes. Not deleted: "
                             "1 file."));
    // Bytes of bytes while comparing, and the English text when a pack's does not fit.
    EXPECT_EQ(FormatStringsText("HashedBytes", "%s of %s",
                                {QStringLiteral("1 KB"), QStringLiteral("2 KB")}),
              QStringLiteral("1 KB of 2 KB"));
    SelectLanguage("German");
    EXPECT_EQ(FormatStringsText("HashedBytes", "%s of %s",
                                {QStringLiteral("1 KB"), QStringLiteral("2 KB")}),
              QStringLiteral("1 KB von 2 KB"));
    EXPECT_EQ(
        FormatStringsText("HashFiles", "%s of %s", {QStringLiteral("1"), QStringLiteral("2")}),
        QStringLiteral("1 of 2"));
}

TEST_F(ServicesTest, FormatTextsThatDoNotFitFallBackToEnglish) {
    const struct {
        const char* text;
        int count;
        bool fits;
        const char* filled; // with 7, 8, 9
    } cases[] = {
        {"Collecting files: %d found", 1, true, "Collecting files: 7 found"},
        {"%d%% done, %d left", 2, true, "7% done, 8 left"},
        {"[%4d|%-4d|%.3d]", 3, true, "[   7|8   |009]"},
        {"%s %s", 2, false, nullptr},
        {"%d %d", 1, false, nullptr},
        {"only text", 1, false, nullptr},
        {"%d and %", 1, false, nullptr},
        {"%d %n", 1, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatTextFits(QString::fromUtf8(c.text), c.count), c.fits);
        if (c.filled != nullptr) {
            EXPECT_EQ(FormatIntegers(QString::fromUtf8(c.text), {7, 8, 9}),
                      QString::fromUtf8(c.filled));
        }
    }

    writePack(settings.root(), "English", "English");
    writePack(settings.root(), "German", "German");
    writePack(settings.root(), "German", "Broken",
              {{"CountFiles", "%s %s"},
               {"EndCountFiles", "%d von %d"},
               {"searchduplicateover", "%d Gruppen, %s"}});
    SetLanguageFolder(settings.root() + "/");
    SelectLanguage("German");
    EXPECT_EQ(FormatMessageText("CountFiles", {42}),
              QStringLiteral("Dateien werden gesammelt: 42 gefunden"));
    SelectLanguage("Broken");
    EXPECT_EQ(FormatMessageText("CountFiles", {42}), QStringLiteral("Collecting files: 42 found"));
    EXPECT_EQ(FormatMessageText("EndCountFiles", {5}), QStringLiteral("Files to compare: 5"));

    // A whole search in the broken pack: the summary in English, the rest in German.
    data.writeSized("a/x", 10, 1);
    data.writeSized("b/x", 10, 1);
    AppConfig.Lang = "Broken";
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 2;
    open();
    QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_TRUE(window->lblcaption->text().startsWith(
        QStringLiteral("Search finished. Duplicate groups: 1, files: 2, time: ")))
        << window->lblcaption->text().toStdString();
    EXPECT_EQ(window->btnScan->text(), QStringLiteral("Suchen"));
}

TEST_F(ServicesTest, KeepOneMenuShowsTheKeyOfAMissingText) {
    writePack(settings.root(), "English", "English", {{"ppmLastWrite", "<none>"}});
    SetLanguageFolder(settings.root() + "/");
    data.writeSized("a/f", 10, 1);
    data.writeSized("b/f", 10, 1);
    data.setMTime("a/f", 1000000000);
    data.setMTime("b/f", 1200000000);
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 2;
    open();
    const QList<QAction*> entries = window->pmKeepOne->actions();
    ASSERT_EQ(entries.size(), 7);
    EXPECT_EQ(entries[3]->text(), QStringLiteral("ppmLastWrite"));
    EXPECT_EQ(entries[4]->text(), QStringLiteral("Keep the Oldest by Modification Time"));

    QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_TRUE(ended.wait(30000));
    entries[3]->trigger();
    const std::vector<Row> listed = rows();
    ASSERT_EQ(listed.size(), 2u);
    for (const Row& r : listed)
        EXPECT_EQ(r.checked, r.path == "a/f") << r.path;
}

TEST_F(ServicesTest, JapaneseEditionFlagHidesShareNewsAndSupport) {
    const struct {
        const char* stored; // "dword:N", "text:N" or none
        bool japanese;
    } cases[] = {{nullptr, false}, {"dword:1", true}, {"dword:0", false}, {"text:1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored != nullptr ? c.stored : "none");
        std::remove(settings.path("Corvane/registry.reg").c_str());
        if (c.stored != nullptr) {
            const std::string s = c.stored;
            if (s.rfind("dword:", 0) == 0)
                ASSERT_TRUE(
                    platform::regWriteDword(kPelidorKey, "IsJP", uint32_t(std::stoi(s.substr(6)))));
            else
                ASSERT_TRUE(platform::regWriteString(kPelidorKey, "IsJP", s.substr(5)));
        }
        open();
        EXPECT_EQ(window->JapaneseEdition(), c.japanese);
        for (QWidget* hidden :
             {static_cast<QWidget*>(window->btnemail), static_cast<QWidget*>(window->btntwitter),
              static_cast<QWidget*>(window->btnfacebook),
              static_cast<QWidget*>(window->btnCaptionNews),
              static_cast<QWidget*>(window->btnCaptionSupport)})
            EXPECT_EQ(hidden->isVisible(), !c.japanese) << hidden->objectName().toStdString();
        EXPECT_TRUE(window->btnCaptionMenu->isVisible());
        window.reset();
    }
}

TEST_F(ServicesTest, AutomaticUpdateCheckIsDueBySchedule) {
    open();
    // The start-up timer has run once.
    EXPECT_TRUE(waitUntil([&] { return !window->tmr1->isActive(); }, 5000));
    window->Now = [] { return 45007.5; };
    const struct {
        int schedule;
        double daysAgo;
        bool due;
    } cases[] = {{0, 0.9, false},  {0, 1.0, true},  {1, 6.9, false},    {1, 7.0, true},
                 {2, 29.5, false}, {2, 30.0, true}, {3, 1000.0, false}, {-1, 1000.0, false}};
    for (const auto& c : cases) {
        AppConfig.AutoUpdate = c.schedule;
        AppConfig.LastUpdate = 45007.5 - c.daysAgo;
        window->CheckAutoUpdate();
        EXPECT_EQ(window->AutoCheckUpdate(), c.due) << c.schedule << " after " << c.daysAgo;
    }
}

TEST_F(ServicesTest, ShareButtonsFollowTheLanguageCode) {
    writePack(settings.root(), "English", "English");
    writePack(settings.root(), "ChineseSimplified", "ChineseSimplified");
    writePack(settings.root(), "ChineseSimplified", "Zh0804", {{"LangCode", "0804"}});
    SetLanguageFolder(settings.root() + "/");
    const struct {
        const char* pack;
        int pictures[3];
        const char* targets[3];
    } cases[] = {
        {"English",
         {0, 1, 2},
         {"mailto:?subject=Pelidor%20-%20Find%20and%20remove%20duplicate%20files&body=",
          "https://twitter.com/intent/tweet?text=", "https://www.facebook.com/"}},
        {"Zh0804",
         {0, 1, 2},
         {"mailto:?subject=", "https://twitter.com/intent/tweet?text=",
          "https://www.facebook.com/"}},
        {"ChineseSimplified",
         {5, 4, 3},
         {"https://tieba.baidu.com/f/commit/share/"
          "openShareApi?url=https%3A%2F%2Fwww.corvane.example%2F",
          "https://service.weibo.com/share/share.php?url=https%3A%2F%2Fwww.corvane.example%2F",
          "https://sns.qzone.qq.com/cgi-bin/qzshare/cgi_qzshare_onekey?url=https%3A%2F%2Fwww."
          "corvane.example%2F"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pack);
        AppConfig = TAppConfig();
        AppConfig.Lang = c.pack;
        open();
        QStringList opened;
        window->UrlOpener = [&](const QString& url) { opened << url; };
        TOrlaImageButton* buttons[] = {window->btnemail, window->btntwitter, window->btnfacebook};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(buttons[i]->property("ImageIndex").toInt(), c.pictures[i]);
            QTest::mouseClick(buttons[i], Qt::LeftButton);
        }
        ASSERT_EQ(opened.size(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(opened[i].startsWith(QLatin1String(c.targets[i])))
                << opened[i].toStdString();
        if (std::string(c.pack) != "ChineseSimplified") {
            EXPECT_TRUE(opened[0].contains(QStringLiteral("https%3A%2F%2Fwww.corvane.example%2F")));
        }
        window.reset();
    }
}

TEST_F(ServicesTest, MessagesGoThroughTheDialogWithTranslatedTitles) {
    open();
    struct Shown {
        QString title, text;
        bool icon = false;
        int buttons = 0;
    };
    std::vector<Shown> shown;
    // Answers the next dialog with its first button (its last with `last`).
    const auto answer = [&](bool last = false) {
        QTimer::singleShot(0, window.get(), [&, last] {
            TMessageForm* dlg = window->wmsg1->OpenDialog();
            ASSERT_NE(dlg, nullptr);
            shown.push_back({dlg->windowTitle(), dlg->Message->text(), dlg->Img != nullptr,
                             int(dlg->findChildren<QPushButton*>().size())});
            QTest::mouseClick(last ? dlg->FBtnLast : dlg->FBtnFirst, Qt::LeftButton);
        });
    };

    const struct {
        TMsgDlgType type;
        const char* title;
    } kinds[] = {{mtWarning, "Warning"},
                 {mtError, "Error"},
                 {mtInformation, "Information"},
                 {mtConfirmation, "Confirmation"},
                 {mtCustom, ""}};
    for (const auto& k : kinds) {
        answer();
        EXPECT_EQ(window->ShowMessageDlg(k.type, QStringLiteral("text"), {mbOK}), mrOk);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().title, QLatin1String(k.title));
        EXPECT_EQ(shown.back().icon, k.type != mtCustom);
    }

    // Scan with an empty folder line: the error, and no search.
    shown.clear();
    answer();
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Please choose at least one folder to search."));
    EXPECT_EQ(window->State(), TfrmQdxMain::TMainState::Idle);

    // A question: Yes and No, as an error message; the answer comes back.
    answer();
    EXPECT_EQ(window->AskQuestion(QStringLiteral("Go on?"), QStringLiteral("Title")), mrYes);
    answer(true);
    EXPECT_EQ(window->AskQuestion(QStringLiteral("Go on?"), QStringLiteral("Title")), mrNo);
    EXPECT_EQ(shown.back().title, QStringLiteral("Title"));
    EXPECT_EQ(shown.back().text, QStringLiteral("Go on?"));
    EXPECT_EQ(shown.back().buttons, 2);
    EXPECT_TRUE(shown.back().icon);

    // The news button without fetched news: the notice.
    answer();
    QTest::mouseClick(window->btnCaptionNews, Qt::LeftButton);
    EXPECT_EQ(shown.back().text, QStringLiteral("You have no unread message."));
    EXPECT_EQ(shown.back().title, QStringLiteral("Information"));
}

TEST_F(ServicesTest, CaptionButtonsShowTheUnreadMarkerWhenCountsArePositive) {
    open();
    EXPECT_FALSE(window->CaptionMarkerShown(wnbCustom1));
    EXPECT_FALSE(window->CaptionMarkerShown(wnbSkin));
    EXPECT_EQ(TfrmQdxMain::CaptionMarkerRect(QRect(0, 0, 36, 22)), QRect(16, 6, 7, 7));

    const QRect marker = TfrmQdxMain::CaptionMarkerRect(window->btnCaptionNews->rect());
    const auto markerRed = [&](TCaptionBarButton* b) {
        const QImage image = b->grab().toImage();
        const QColor c = image.pixelColor(marker.center() * image.devicePixelRatio());
        return c.red() > 180 && c.green() < 120;
    };
    EXPECT_FALSE(markerRed(window->btnCaptionNews));

    int news = 2, messages = 0;
    window->NewsCounter = [&] { return news; };
    window->SupportMessageCounter = [&] { return messages; };
    window->NewsFetched(news);
    EXPECT_TRUE(window->CaptionMarkerShown(wnbCustom1));
    EXPECT_FALSE(window->CaptionMarkerShown(wnbSkin));
    EXPECT_TRUE(markerRed(window->btnCaptionNews));
    EXPECT_FALSE(markerRed(window->btnCaptionSupport));
    messages = 1;
    window->SupportMessages(messages);
    EXPECT_TRUE(markerRed(window->btnCaptionSupport));
    EXPECT_FALSE(window->CaptionMarkerShown(wnbMenu));
}

// Run as root, where the browser engine refuses its sandbox, the program offers no news
// and support windows (their buttons hidden, no support window, no news fetch, as in the
// Japanese edition); everything else stays.
TEST_F(ServicesTest, RootGetsNoNewsAndSupportWindows) {
    for (const bool root : {false, true}) {
        SCOPED_TRACE(root ? "root" : "user");
        TfrmQdxMain::RunningAsRoot = [root] { return root; };
        open();
        EXPECT_EQ(window->WebPagesOffered(), !root);
        EXPECT_EQ(window->btnCaptionNews->isVisible(), !root);
        EXPECT_EQ(window->btnCaptionSupport->isVisible(), !root);
        EXPECT_EQ(window->Support() != nullptr, !root);
        EXPECT_TRUE(window->btnemail->isVisible());
        EXPECT_TRUE(window->btnCaptionMenu->isVisible());
        EXPECT_TRUE(window->btnScan->isVisible());
        window->StartNewsFetch();
        EXPECT_EQ(window->NewsThread() != nullptr, !root);
        window.reset();
    }
}

// Closing the main window ends the program whatever other window is open: the window
// says so (the entry quits its event loop then) and the support window goes with it.
TEST_F(ServicesTest, ClosingTheMainWindowTakesTheSupportWindowAlong) {
    open();
    ASSERT_NE(window->Support(), nullptr);
    window->Support()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->Support()));
    QSignalSpy closed(window.get(), &TfrmQdxMain::Closed);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->Support()->isVisible());
    EXPECT_FALSE(window->isVisible());
}

// Where the system's OpenSSL refuses MD5 (the test program run again with a
// configuration that loads no provider with MD5: main_window_no_md5), the content modes
// say so at the start with an error message and start no search.
TEST_F(ServicesTest, ContentModesWithoutMd5SaySoAtTheStart) {
    if (Md5Available())
        GTEST_SKIP() << "MD5 is available (main_window_no_md5 runs this without it)";
    AppConfig.includePath = {data.root()};
    data.writeSized("a.bin", 100, 1);
    data.writeSized("b.bin", 100, 1);
    for (const int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        AppConfig.CompareMode = mode;
        open();
        std::vector<QString> texts;
        QTimer::singleShot(0, window.get(), [&] {
            TMessageForm* dlg = window->wmsg1->OpenDialog();
            ASSERT_NE(dlg, nullptr);
            texts.push_back(dlg->Message->text());
            QTest::mouseClick(dlg->FBtnFirst, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnScan, Qt::LeftButton);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_TRUE(texts[0].contains(QStringLiteral("MD5"))) << texts[0].toStdString();
        EXPECT_FALSE(GetSearchHolper().IsSearching());
        EXPECT_NE(window->State(), TfrmQdxMain::TMainState::Searching);
        window.reset();
    }
}

} // namespace
