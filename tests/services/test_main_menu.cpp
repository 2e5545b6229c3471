// The main menu through the real main window: its rows and Tags (also in the Japanese
// edition), the addresses they open, the language submenu, and a language switch.
#include "MenuTestSupport.h"

#include <QActionGroup>
#include <QPointer>

using namespace pelidor;
using namespace pelidor::menu_test;

namespace {

using Rows = std::vector<std::pair<std::string, int>>;

class MainMenuTest : public MenuWindowTest {};

TEST_F(MainMenuTest, RowsTagsAndAddressesInBothEditions) {
    const QString base = service().baseUrl();
    const struct {
        bool japanese;
        Rows rows;
        QStringList addresses; // help, (forum), home page, contact
    } cases[] = {
        {false,
         {{"ppmHelpOnline", 1},
          {"ppmForum", 2},
          {"ppmHomepage", 3},
          {"ppmContactUs", 4},
          {"-", 5},
          {"ppmCheckUpdates", 6},
          {"ppmSettings", 7},
          {"ppmRestoreFile", 8},
          {"-", 9},
          {"ppmLanguage", 10},
          {"ppmAbout", 11}},
         {base + "/help/pelidor/", "http://forum.corvane.example/", base + "/",
          "mailto:support@corvane.example"}},
        {true,
         {{"ppmHelpOnline", 1},
          {"ppmHomepage", 3},
          {"ppmContactUs", 4},
          {"-", 5},
          {"ppmCheckUpdates", 6},
          {"ppmSettings", 7},
          {"ppmRestoreFile", 8},
          {"-", 9},
          {"ppmLanguage", 10},
          {"ppmAbout", 11}},
         {base + "/jp/rd/qdx/help", base + "/jp/", base + "/jp/support"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.japanese ? "Japanese edition" : "normal edition");
        std::remove(settings.path("Corvane/registry.reg").c_str());
        if (c.japanese) {
            ASSERT_TRUE(platform::regWriteDword(main_window_test::kPelidorKey, "IsJP", 1));
        }
        openWindow();
        ASSERT_NE(menu(), nullptr);
        EXPECT_EQ(menu()->Menu(), window->pmsys);
        EXPECT_EQ(topLevel(), c.rows);
        for (QAction* a : window->pmsys->actions())
            EXPECT_EQ(a->isSeparator(), a->objectName() == QLatin1String("-"));
        EXPECT_EQ(entry("ppmHelpOnline")->text(), QStringLiteral("Online Help"));
        EXPECT_EQ(entry("ppmAbout")->text(), QStringLiteral("About Pelidor"));

        for (const char* key : {"ppmHelpOnline", "ppmForum", "ppmHomepage", "ppmContactUs"})
            if (QAction* a = entry(key))
                a->trigger();
        entry("ppmLanguage")->trigger(); // the submenu's parent: nothing
        EXPECT_EQ(opened, c.addresses);
        EXPECT_TRUE(answerer->shown.empty());
        window.reset();
        opened.clear();
    }
}

TEST_F(MainMenuTest, LanguageSubmenuTicksTheStoredLanguageByItsBaseName) {
    const Rows none;
    const struct {
        const char* base;
        const char* native;
    } packs[] = {{"ChineseSimplified", "简体中文"},
                 {"English", "English"},
                 {"French", "Français"},
                 {"German", "Deutsch"},
                 {"Japanese", "日本語"},
                 {"Spanish", "Español"}};
    for (const auto& stored : packs) {
        SCOPED_TRACE(stored.base);
        AppConfig = TAppConfig();
        AppConfig.Lang = stored.base;
        AppConfig.AutoUpdate = 3;
        openWindow();
        QMenu* languages = languageMenu();
        ASSERT_NE(languages, nullptr);
        const QList<QAction*> items = languages->actions();
        ASSERT_EQ(items.size(), 6);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(items[i]->text(), QString::fromUtf8(packs[i].native));
            EXPECT_EQ(items[i]->property("Hint").toString(), QLatin1String(packs[i].base));
            EXPECT_TRUE(items[i]->isCheckable());
            ASSERT_NE(items[i]->actionGroup(), nullptr);
            EXPECT_TRUE(items[i]->actionGroup()->isExclusive());
            EXPECT_EQ(items[i]->isChecked(), qstrcmp(packs[i].base, stored.base) == 0);
        }
        window.reset();
    }

    // Without language files the submenu is empty.
    SetLanguageFolder(settings.mkdir("no-languages") + "/");
    AppConfig = TAppConfig();
    AppConfig.AutoUpdate = 3;
    openWindow();
    ASSERT_NE(languageMenu(), nullptr);
    EXPECT_TRUE(languageMenu()->actions().isEmpty());
}

TEST_F(MainMenuTest, ChoosingALanguageStoresItTranslatesTheWindowAndRebuildsTheMenu) {
    openWindow();
    const QString englishScan = window->btnScan->text();
    QAction* german = nullptr;
    for (QAction* a : languageMenu()->actions())
        if (a->property("Hint").toString() == QLatin1String("German"))
            german = a;
    ASSERT_NE(german, nullptr);
    german->trigger();
    // Handled while the click runs; the old entries are freed once events run.
    EXPECT_EQ(AppConfig.Lang, "German");
    EXPECT_NE(window->btnScan->text(), englishScan);
    EXPECT_EQ(entry("ppmSettings")->text(),
              QString::fromStdString(ReadLangString("Translation", "ppmSettings")));
    EXPECT_NE(entry("ppmSettings")->text(), QStringLiteral("Settings..."));
    EXPECT_EQ(window->pmsys->actions().size(), 11);
    QTest::qWait(10);
    QList<QAction*> items = languageMenu()->actions();
    ASSERT_EQ(items.size(), 6);
    for (QAction* a : items)
        EXPECT_EQ(a->isChecked(), a->property("Hint").toString() == QLatin1String("German"));
    // Stored in Config.ini at once.
    EXPECT_NE(readAll(settings.path("Pelidor/Config.ini")).find("Language=German"),
              std::string::npos);

    // The active language again: still stored, reloaded and rebuilt (new entries).
    QAction* settingsBefore = entry("ppmSettings");
    QPointer<QAction> watch(settingsBefore);
    for (QAction* a : languageMenu()->actions())
        if (a->isChecked())
            a->trigger();
    EXPECT_NE(entry("ppmSettings"), settingsBefore);
    QTest::qWait(10);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(AppConfig.Lang, "German");
}

} // namespace
