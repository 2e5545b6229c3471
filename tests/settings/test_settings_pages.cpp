// The three pages of the settings dialog driven through their widgets: what each page
// shows from AppConfig, what OK writes back, what Cancel leaves alone, and the buttons
// and pickers of each page.
#include "tests/settings/SettingsTestSupport.h"

#include "engine/EnvironmentStrings.h"
#include "engine/FingerprintCache.h"
#include "tests/support/TempTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cstdint>
#include <limits>

using namespace pelidor;
using pelidor::settings_ui_test::dump;
using pelidor::settings_ui_test::SettingsDialogTest;
using Strings = std::vector<std::string>;

namespace {

// ------------------------------------------------------------------------ Path

class PathPageTest : public SettingsDialogTest {
protected:
    void SetUp() override {
        SettingsDialogTest::SetUp();
        docs = ExpandVars("%MYDOCUMENTS%");
        desk = ExpandVars("%DESKTOP%");
        disks = {"/", "/data"};
    }
    std::string docs, desk;
};

TEST_F(PathPageTest, ListsFixedRowsDisksUserFoldersAndTheAddRowLast) {
    AppConfig.includePath = {desk, "/data", "/home/u/B"};
    // "/data" is a disk and is listed once, as the disk row; "/Data" is another folder.
    AppConfig.includePathCustom = {"/home/u/A", "/data", "/home/u/B", "/Data"};
    open("Path");

    auto* lst = list("lstpath");
    EXPECT_EQ(rows(lst), (Strings{"Documents|" + docs + "|o", "Desktop|" + desk + "|x", "/|/|o",
                                  "/data|/data|x", "/home/u/A||o", "/home/u/B||x", "/Data||o",
                                  "Add a folder...|Add|-"}));
    EXPECT_EQ(lst->action(3), TOrlaCheckListBox::NoAction);
    EXPECT_EQ(lst->action(4), TOrlaCheckListBox::RemoveAction);
    EXPECT_EQ(lst->action(7), TOrlaCheckListBox::AddAction);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Folders to Search"));
}

TEST_F(PathPageTest, OkWritesTheTickedRowsInListOrderAndEveryUserFolder) {
    AppConfig.includePath = {desk, "/data", "/home/u/B"};
    AppConfig.includePathCustom = {"/home/u/A", "/data", "/home/u/B"};
    open("Path");
    auto* lst = list("lstpath");
    clickCheck(lst, 0);   // documents: ticked
    clickCaption(lst, 3); // /data: unticked (the caption toggles too)
    clickCheck(lst, 4);   // /home/u/A: ticked
    ok();

    EXPECT_EQ(AppConfig.includePath, (Strings{docs, desk, "/home/u/A", "/home/u/B"}));
    EXPECT_EQ(AppConfig.includePathCustom, (Strings{"/home/u/A", "/home/u/B"}));
}

TEST_F(PathPageTest, AddRowAppendsPickedFoldersAndTheRemoveIconRemovesOnlyItsRow) {
    AppConfig.includePathCustom = {"/x/old"};
    open("Path");
    auto* lst = list("lstpath");
    folderAnswers = {"/x/new", "/x/two", ""}; // two folders, then Cancel
    for (int i = 0; i < 3; ++i)
        clickCaption(lst, lst->count() - 1);
    EXPECT_EQ(pickerTitles, std::vector<QString>(3, QStringLiteral("Add a folder...")));
    // The picker starts in the home folder.
    EXPECT_EQ(pickerRoots, std::vector<QString>(3, QDir::homePath()));
    // Picked folders reach the settings at once.
    EXPECT_EQ(AppConfig.includePathCustom, (Strings{"/x/old", "/x/new", "/x/two"}));
    ASSERT_EQ(lst->count(), 8);
    EXPECT_EQ(rows(lst)[5], "/x/new||x");
    EXPECT_EQ(rows(lst)[6], "/x/two||x");
    EXPECT_EQ(lst->action(7), TOrlaCheckListBox::AddAction);

    clickCaption(lst, 6); // the caption of a user folder only toggles it
    ASSERT_EQ(lst->count(), 8);
    clickIcon(lst, 6);
    ASSERT_EQ(lst->count(), 7);
    EXPECT_EQ(rows(lst)[4], "/x/old||o");
    EXPECT_EQ(rows(lst)[5], "/x/new||x");
    ok();
    EXPECT_EQ(AppConfig.includePath, (Strings{"/x/new"}));
    EXPECT_EQ(AppConfig.includePathCustom, (Strings{"/x/old", "/x/new"}));
}

// A folder the list holds already is not added again, however it is listed (a fixed row,
// a disk, a user folder) and whether or not the picker gave it a trailing separator: its
// row is ticked and made current instead, and the settings gain no second entry.
TEST_F(PathPageTest, AFolderListedAlreadyIsTickedNotAddedTwice) {
    const std::string docsWithout =
        docs.size() > 1 && docs.back() == '/' ? docs.substr(0, docs.size() - 1) : docs + "/";
    const struct {
        std::string picked;
        int row;
    } cases[] = {
        {"/x/old", 4}, {"/x/old/", 4}, {"/data", 3}, {"/", 2}, {docs, 0}, {docsWithout, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picked);
        AppConfig.includePath.clear();
        AppConfig.includePathCustom = {"/x/old"};
        open("Path");
        auto* lst = list("lstpath");
        const Strings before = rows(lst);
        ASSERT_EQ(before.size(), 6u);
        folderAnswers = {QString::fromStdString(c.picked)};
        clickCaption(lst, lst->count() - 1);
        Strings expected = before;
        expected[size_t(c.row)].back() = 'x';
        EXPECT_EQ(rows(lst), expected);
        EXPECT_EQ(lst->currentRow(), c.row);
        EXPECT_EQ(AppConfig.includePathCustom, Strings{"/x/old"});
        cancel();
    }
}

TEST_F(PathPageTest, ActionIconsShowHoverAndPressedStatesAndLeavingResetsThem) {
    AppConfig.includePathCustom = {"/x/a"};
    open("Path");
    auto* lst = list("lstpath");
    auto* vp = lst->viewport();
    const int user = 4, add = 5;

    QTest::mouseMove(vp, lst->actionRect(user).center());
    EXPECT_EQ(lst->hoverActionRow(), user);
    QTest::mouseMove(vp, lst->visualItemRect(lst->item(user)).center()); // its caption
    EXPECT_EQ(lst->hoverActionRow(), -1);

    QTest::mouseMove(vp, lst->actionRect(add).center());
    EXPECT_EQ(lst->hoverActionRow(), add);
    QTest::mousePress(vp, Qt::LeftButton, {}, lst->actionRect(add).center());
    EXPECT_EQ(lst->pressedActionRow(), add);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(vp, &leave);
    EXPECT_EQ(lst->pressedActionRow(), -1);
    EXPECT_EQ(lst->hoverActionRow(), -1);
    // Released after leaving the list: no action.
    QTest::mouseRelease(vp, Qt::LeftButton, {}, lst->actionRect(add).center());
    EXPECT_TRUE(pickerTitles.empty());
}

TEST_F(PathPageTest, CancelKeepsTheSettingsAndARemovedFolderComesBack) {
    AppConfig.includePath = {"/x/a"};
    AppConfig.includePathCustom = {"/x/a", "/x/b"};
    const std::string before = dump(AppConfig);
    open("Path");
    auto* lst = list("lstpath");
    clickIcon(lst, 4);  // removes /x/a
    clickCheck(lst, 4); // ticks /x/b
    cancel();
    EXPECT_EQ(dump(AppConfig), before);

    open("Path");
    EXPECT_EQ(rows(lst)[4], "/x/a||x");
    EXPECT_EQ(rows(lst)[5], "/x/b||o");
}

// The reference folders below the folder list: shown from the settings, added with the
// folder picker (a folder listed already is not added twice), removed with their icon,
// written by OK only.
TEST_F(PathPageTest, ReferenceFoldersAreAddedRemovedAndWrittenByOkOnly) {
    AppConfig.includePath = {"/data"};
    AppConfig.referencePath = {"/data/archive"};
    open("Path");
    auto* refs = list("lstReference");
    EXPECT_EQ(rows(refs), (Strings{"/data/archive||-", "Add reference folder|Add|-"}));
    EXPECT_EQ(refs->action(0), TOrlaCheckListBox::RemoveAction);
    EXPECT_FALSE(refs->isCheckable(0));
    EXPECT_TRUE(child<QLabel>("lblReference")->isVisibleTo(dlg.get()));

    folderAnswers = {"/data/masters", "/data/archive", ""};
    for (int i = 0; i < 3; ++i)
        clickCaption(refs, refs->count() - 1);
    EXPECT_EQ(pickerTitles, std::vector<QString>(3, QStringLiteral("Add reference folder")));
    EXPECT_EQ(pickerRoots, std::vector<QString>(3, QDir::homePath()));
    EXPECT_EQ(rows(refs),
              (Strings{"/data/archive||-", "/data/masters||-", "Add reference folder|Add|-"}));
    // Nothing reaches the settings before OK.
    EXPECT_EQ(AppConfig.referencePath, Strings{"/data/archive"});
    cancel();
    EXPECT_EQ(AppConfig.referencePath, Strings{"/data/archive"});

    open("Path");
    EXPECT_EQ(rows(refs).size(), 2u);
    folderAnswers = {"/data/masters"};
    clickCaption(refs, refs->count() - 1);
    clickIcon(refs, 0); // removes /data/archive
    ok();
    EXPECT_EQ(AppConfig.referencePath, Strings{"/data/masters"});
    EXPECT_EQ(AppConfig.includePath, Strings{"/data"});
}

// ------------------------------------------------------------------------ adv

class AdvPageTest : public SettingsDialogTest {
protected:
    void setBound(const char* edit, const char* unitBox, const QString& text, int unit) {
        auto* field = child<QLineEdit>(edit);
        field->clear();
        QTest::keyClicks(field, text);
        child<QComboBox>(unitBox)->setCurrentIndex(unit);
    }
};

const char* const kOffered[6] = {"*.bmp;*.dib;*.gif;*.jpg;*.jpe;*.ico;*.cur;*.png",
                                 "*.mp4;*.mpeg;*.avi;*.swf;*.flv;*.wav;*.wmv;*.rm;*.rmvb",
                                 "*.mp3;*.wav;*.wma;*.mid",
                                 "*.doc;*.dot;*.xls;*.xlw;*.ppt;*.docx;*.xlsx;*.pptx",
                                 "*.zip;*.rar;*.7z;*.bz2;*.gz;*.tar;*.cab",
                                 "*.pst;*.eml;*.mab"};

TEST_F(AdvPageTest, ShowsTheBoundsTheSixCategoriesAndTheUserRowsWithTheirTicks) {
    AppConfig.MinSize = 2048;
    AppConfig.CheckedIncludes = ",0,6,7,";
    AppConfig.includeKeywordsCustom = {"*.txt;*.log=7", "*report*=8"};
    AppConfig.CheckedExcludes = ",2,####,9,";
    AppConfig.excludeKeywordsCustom = {"*.tmp=9"};
    AppConfig.excludePathCustom = {"/x/cache=####", "/x/a=b=10"};
    open("adv");

    EXPECT_EQ(child<QLineEdit>("edtmin")->text(), QStringLiteral("2048"));
    EXPECT_EQ(child<QLineEdit>("edmax")->text(), QString()); // no bound: left as it was
    for (const char* box : {"cbbSize", "cbbSize1"}) {
        auto* units = child<QComboBox>(box);
        ASSERT_EQ(units->count(), 4);
        EXPECT_EQ(units->currentIndex(), 0);
        EXPECT_EQ(units->itemText(0), QStringLiteral("Bytes"));
        EXPECT_EQ(units->itemText(3), QStringLiteral("GB"));
    }
    const std::string o0 = kOffered[0], o1 = kOffered[1], o2 = kOffered[2], o4 = kOffered[3],
                      o5 = kOffered[4], o6 = kOffered[5];
    EXPECT_EQ(rows(list("lstInclude")),
              (Strings{o0 + "|0|x", o1 + "|1|o", o2 + "|2|o", o4 + "|4|o", o5 + "|5|o", o6 + "|6|x",
                       "*.txt;*.log|7|x", "*report*|8|o"}));
    // A folder holding "=" keeps it: the id is what follows the last "=".
    EXPECT_EQ(rows(list("lstExclude")),
              (Strings{o0 + "|0|o", o1 + "|1|o", o2 + "|2|x", o4 + "|4|o", o5 + "|5|o", o6 + "|6|o",
                       "*.tmp|9|x", "/x/cache|####|x|folder", "/x/a=b|10|o|folder"}));
    EXPECT_EQ(list("lstInclude")->iconIndex(0), 1);
    EXPECT_EQ(list("lstInclude")->iconIndex(3), 2);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Advanced Settings"));
}

TEST_F(AdvPageTest, OkDerivesTheSameListsAsLoadingTheSavedSettings) {
    test::TempTree tree;
    SetSettingsRoot(tree.root() + "/");
    struct RootBack {
        ~RootBack() { SetSettingsRoot({}); }
    } rootBack;
    AppConfig.Lang = "English";
    AppConfig.CheckedIncludes = ",0,3,7,"; // 3 is not offered: OK drops it
    AppConfig.includeKeywordsCustom = {"*.txt;*.log=7", "*report*=8"};
    AppConfig.CheckedExcludes = ",2,####,";
    AppConfig.excludeKeywordsCustom = {"*.tmp=9", "~*;*.bak=10"};
    AppConfig.excludePathCustom = {"/x/cache=####", "/x/old=11"};
    open("adv");
    auto* inc = list("lstInclude");
    auto* exc = list("lstExclude");
    clickCheck(inc, 0); // 0 off
    clickCheck(inc, 3); // 4 on
    clickCheck(inc, 7); // 8 on
    clickCheck(exc, 7); // "~*;*.bak" on
    clickCheck(exc, 9); // "/x/old" on
    ok();

    EXPECT_EQ(AppConfig.CheckedIncludes, ",4,7,8,");
    EXPECT_EQ(AppConfig.CheckedExcludes, ",2,10,####,11,");
    EXPECT_EQ(AppConfig.includeKeywords,
              (Strings{"*.doc", "*.dot", "*.xls", "*.xlw", "*.ppt", "*.docx", "*.xlsx", "*.pptx",
                       "*.txt", "*.log", "*report*"}));
    EXPECT_EQ(AppConfig.excludeKeywords,
              (Strings{"*.mp3", "*.wav", "*.wma", "*.mid", "~*", "*.bak"}));
    EXPECT_EQ(AppConfig.excludePath, (Strings{"/x/cache", "/x/old"}));

    const TAppConfig applied = AppConfig;
    ASSERT_TRUE(SaveAppConfig());
    LoadAppConfig();
    EXPECT_EQ(AppConfig.includeKeywords, applied.includeKeywords);
    EXPECT_EQ(AppConfig.excludeKeywords, applied.excludeKeywords);
    EXPECT_EQ(AppConfig.excludePath, applied.excludePath);
}

TEST_F(AdvPageTest, SizeFieldsMultiplyByTheirUnitAndReopenInBytes) {
    open("adv");
    setBound("edtmin", "cbbSize", "10", 2);
    setBound("edmax", "cbbSize1", "abc", 1);
    ok();
    EXPECT_EQ(AppConfig.MinSize, 10 * 1024 * 1024);
    EXPECT_EQ(AppConfig.MaxSize, -1024); // not a number: -1 times the unit, no bound

    open("adv");
    EXPECT_EQ(child<QLineEdit>("edtmin")->text(), QStringLiteral("10485760"));
    EXPECT_EQ(child<QComboBox>("cbbSize")->currentIndex(), 0);
    EXPECT_EQ(child<QLineEdit>("edmax")->text(), QStringLiteral("abc"));
}

TEST_F(AdvPageTest, SizeFieldsTakeBadInputAsNoBoundAndNeverOverflow) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    struct Case {
        const char* text;
        int unit;
        int64_t bound;
    } const cases[] = {
        {"", 0, -1},
        {"", 3, -1073741824},
        {"12abc", 0, -1},
        {"1.5", 2, -1048576},
        {"0x10", 0, -1},
        {"-5", 1, -5120},
        {" 42 ", 0, 42},
        {"+7", 1, 7168},
        {"0", 3, 0},
        {"9223372036854775807", 0, kMax},             // 2^63 - 1
        {"9223372036854775808", 0, -1},               // 2^63
        {"-9223372036854775809", 0, -1},              // below -2^63
        {"99999999999999999999999", 1, -1024},        // far beyond 64 bits
        {"8589934592", 3, -1},                        // 2^33 GB = 2^63 bytes: does not fit
        {"8589934591", 3, 8589934591LL * 1073741824}, // the largest GB value that fits
        {"-9223372036854775808", 1, -1},              // -2^63 KB does not fit
    };
    for (const Case& c : cases) {
        open("adv");
        setBound("edtmin", "cbbSize", QString::fromLatin1(c.text), c.unit);
        ok();
        EXPECT_EQ(AppConfig.MinSize, c.bound) << "\"" << c.text << "\" unit " << c.unit;
    }
}

TEST_F(AdvPageTest, AMinimumAboveTheMaximumIsStoredAsEntered) {
    open("adv");
    setBound("edtmin", "cbbSize", "5", 3);
    setBound("edmax", "cbbSize1", "1", 0);
    ok();
    EXPECT_EQ(AppConfig.MinSize, 5LL * 1073741824);
    EXPECT_EQ(AppConfig.MaxSize, 1);
}

TEST_F(AdvPageTest, KeywordButtonsAddRowsAndCustomLinesAtOnce) {
    struct Case {
        const char* button;
        const char* answer;
        const char* row; // nullptr: nothing added
    } const cases[] = {
        {"btnAddIncludeKey", "report", "*report*|7|x"},
        {"btnAddIncludeKey", "*.txt", "*.txt|7|x"},
        {"btnAddkey", "a?c", "a?c|7|x"},
        {"btnAddkey", "  memo ", "*memo*|7|x"},
        {"btnAddkey", "<cancel>", nullptr},
        {"btnAddkey", "", nullptr},
        {"btnAddIncludeKey", "   ", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " \"" + c.answer + "\"");
        AppConfig = TAppConfig();
        open("adv");
        const bool include = std::string(c.button) == "btnAddIncludeKey";
        auto* target = list(include ? "lstInclude" : "lstExclude");
        textAnswers = {QString::fromLatin1(c.answer)};
        prompts.clear();
        QTest::mouseClick(child<QAbstractButton>(c.button), Qt::LeftButton);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0],
                  QStringLiteral("Keyword or file mask (for example report or *.tmp):"));
        const TStringList& custom =
            include ? AppConfig.includeKeywordsCustom : AppConfig.excludeKeywordsCustom;
        if (c.row == nullptr) {
            EXPECT_EQ(target->count(), 6);
            EXPECT_TRUE(custom.empty());
        } else {
            ASSERT_EQ(target->count(), 7);
            EXPECT_EQ(rows(target)[6], c.row);
            const std::string caption = rows(target)[6].substr(0, rows(target)[6].find('|'));
            EXPECT_EQ(custom, (Strings{caption + "=7"}));
        }
        cancel();
    }
}

TEST_F(AdvPageTest, AKeywordAddedThenCancelledIsBackUntickedAtTheNextOpening) {
    AppConfig.CheckedExcludes = ",1,";
    open("adv");
    textAnswers = {"report"};
    QTest::mouseClick(child<QAbstractButton>("btnAddkey"), Qt::LeftButton);
    cancel();
    EXPECT_EQ(AppConfig.excludeKeywordsCustom, (Strings{"*report*=7"}));
    EXPECT_EQ(AppConfig.CheckedExcludes, ",1,");

    open("adv");
    EXPECT_EQ(rows(list("lstExclude")).back(), "*report*|7|o");
}

TEST_F(AdvPageTest, AddFolderButtonAddsAnExcludedFolderRow) {
    AppConfig.excludeKeywordsCustom = {"*.tmp=7"};
    open("adv");
    folderAnswers = {"", "/x/cache"}; // cancelled first
    QTest::mouseClick(child<QAbstractButton>("btnAddFolder"), Qt::LeftButton);
    EXPECT_EQ(list("lstExclude")->count(), 7);
    EXPECT_TRUE(AppConfig.excludePathCustom.empty());
    QTest::mouseClick(child<QAbstractButton>("btnAddFolder"), Qt::LeftButton);
    EXPECT_EQ(rows(list("lstExclude")).back(), "/x/cache|8|x|folder");
    EXPECT_EQ(AppConfig.excludePathCustom, (Strings{"/x/cache=8"}));
    EXPECT_EQ(pickerTitles.back(), QStringLiteral("Add folder"));
    ok();
    EXPECT_EQ(AppConfig.CheckedExcludes, ",8,");
    EXPECT_EQ(AppConfig.excludePath, (Strings{"/x/cache"}));
    EXPECT_TRUE(AppConfig.excludeKeywords.empty());
}

// ------------------------------------------------------------------------ Sys

TEST_F(SettingsDialogTest, SysPageShowsAppliesAndFollowsTheDependencyRule) {
    AppConfig.RecycleDelete = true;
    AppConfig.AutoBackup = false;
    AppConfig.backPath = "/x/bak";
    AppConfig.AutoUpdate = 2;
    AppConfig.GroupColor1 = 0x00102030; // red 0x30, green 0x20, blue 0x10
    AppConfig.GroupColor2 = 16711422;
    AppConfig.includePath = {"/x"};
    AppConfig.CheckedIncludes = ",0,";
    AppConfig.MinSize = 5;
    open("Sys");
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Settings"));

    auto* recycle = child<QCheckBox>("chkRecycleDelete");
    auto* backup = child<QCheckBox>("chkAutoBackup");
    auto* folder = child<QAbstractButton>("btnFolder");
    auto* updates = child<QComboBox>("cbbUpdates");
    auto* shp1 = child<TOrlaPanel>("shp1");
    auto* shp4 = child<TOrlaPanel>("shp4");
    EXPECT_TRUE(recycle->isChecked());
    EXPECT_FALSE(backup->isChecked());
    EXPECT_FALSE(backup->isEnabled());
    EXPECT_FALSE(folder->isEnabled());
    EXPECT_EQ(child<QLineEdit>("edPath")->text(), QStringLiteral("/x/bak"));
    EXPECT_EQ(updates->currentText(), QStringLiteral("Monthly"));
    EXPECT_EQ(shp1->color(), QColor(0x30, 0x20, 0x10));
    EXPECT_EQ(shp4->color(), QColor(254, 254, 254));

    QTest::mouseClick(recycle, Qt::LeftButton); // permanent deletion: backups possible
    EXPECT_TRUE(backup->isEnabled());
    EXPECT_TRUE(folder->isEnabled());
    QTest::mouseClick(backup, Qt::LeftButton);
    folderAnswers = {"/y/backups"};
    QTest::mouseClick(folder, Qt::LeftButton);
    EXPECT_EQ(pickerRoots.back(), QStringLiteral("/x/bak"));
    EXPECT_EQ(child<QLineEdit>("edPath")->text(), QStringLiteral("/y/backups"));
    updates->setCurrentIndex(3);
    colorAnswers = {QColor(1, 2, 3), QColor(200, 100, 50)};
    QTest::mouseClick(shp1, Qt::LeftButton);
    QTest::mouseClick(shp4, Qt::LeftButton);
    EXPECT_EQ(colorInitials.front(), QColor(0x30, 0x20, 0x10));
    colorAnswers.clear(); // the colour dialog cancelled: the swatch keeps its colour
    QTest::mouseClick(shp4, Qt::LeftButton);

    TAppConfig expected = AppConfig;
    expected.RecycleDelete = false;
    expected.AutoBackup = true;
    expected.backPath = "/y/backups";
    expected.AutoUpdate = 3;
    expected.GroupColor1 = 0x00030201;
    expected.GroupColor2 = 0x003264C8;
    ok();
    // The folder and filter settings stay as they were.
    EXPECT_EQ(dump(AppConfig), dump(expected));

    open("Sys");
    QTest::mouseClick(recycle, Qt::LeftButton); // ticked again: both disabled at once
    EXPECT_FALSE(backup->isEnabled());
    EXPECT_FALSE(folder->isEnabled());
}

TEST_F(SettingsDialogTest, SysPageRemembersFingerprintsAndEmptiesTheCache) {
    AppConfig.RememberFingerprints = false;
    const std::string path = FingerprintCache::defaultPath();
    ASSERT_FALSE(path.empty());
    const FingerprintCache::Key key{1, 2, 3, 4, 5};
    const std::string md5 = "0123456789ABCDEF0123456789ABCDEF";
    {
        auto cache = FingerprintCache::open(path);
        ASSERT_NE(cache, nullptr);
        cache->store({{key, {md5, md5}}});
    }
    open("Sys");
    auto* remember = child<QCheckBox>("chkRememberFingerprints");
    auto* clear = child<QAbstractButton>("btnClearCache");
    EXPECT_FALSE(remember->isChecked());
    ASSERT_TRUE(clear->isEnabled());
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_FALSE(clear->isEnabled()); // nothing left to empty
    {
        auto cache = FingerprintCache::open(path);
        ASSERT_NE(cache, nullptr);
        std::vector<FingerprintCache::Entry> found;
        cache->lookup({key}, found);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].full, "");
    }
    QTest::mouseClick(remember, Qt::LeftButton);
    ok();
    EXPECT_TRUE(AppConfig.RememberFingerprints);
    open("Sys");
    EXPECT_TRUE(remember->isChecked());
    EXPECT_TRUE(clear->isEnabled());
    QTest::mouseClick(remember, Qt::LeftButton);
    cancel(); // the setting stays as it was
    EXPECT_TRUE(AppConfig.RememberFingerprints);
}

TEST_F(SettingsDialogTest, SysPageKeepsAnUpdateFrequencyOutsideTheList) {
    AppConfig.AutoUpdate = 7;
    open("Sys");
    EXPECT_EQ(child<QComboBox>("cbbUpdates")->currentIndex(), -1);
    ok();
    EXPECT_EQ(AppConfig.AutoUpdate, 7);
}

// ------------------------------------------------------------------------ Cancel

TEST_F(SettingsDialogTest, CancelEscapeAndTheCloseButtonApplyNothingOfTheShownPage) {
    disks = {"/"};
    AppConfig.includePath = {"/"};
    AppConfig.includePathCustom = {"/x/a"};
    AppConfig.CheckedIncludes = ",0,";
    AppConfig.MinSize = 100;
    AppConfig.RecycleDelete = false;
    const std::string before = dump(AppConfig);

    struct Step {
        const char* page;
        std::function<void()> edit;
    } const steps[] = {
        {"Path", [&] { clickCheck(list("lstpath"), 2); }},
        {"adv",
         [&] {
             clickCheck(list("lstInclude"), 0);
             child<QLineEdit>("edtmin")->setText(QStringLiteral("7"));
         }},
        {"Sys",
         [&] {
             QTest::mouseClick(child<QCheckBox>("chkRecycleDelete"), Qt::LeftButton);
             colorAnswers = {Qt::red};
             QTest::mouseClick(child<TOrlaPanel>("shp1"), Qt::LeftButton);
         }},
    };
    const std::function<void()> closers[] = {
        [&] { cancel(); },
        [&] { QTest::keyClick(dlg.get(), Qt::Key_Escape); },
        [&] { dlg->close(); },
    };
    for (const Step& step : steps) {
        for (const auto& close : closers) {
            SCOPED_TRACE(step.page);
            open(step.page);
            step.edit();
            close();
            EXPECT_FALSE(dlg->isVisible());
            EXPECT_EQ(dlg->result(), QDialog::Rejected);
            EXPECT_EQ(dump(AppConfig), before);
        }
    }
}

// ------------------------------------------------------------------------ the kept dialog

TEST(SettingsDialogInstance, OneKeptDialogOpensOnTheNamedPage) {
    SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
    SelectLanguage("English");
    AppConfig = TAppConfig();
    EXPECT_EQ(SettingsDialog(), nullptr);

    struct Opening {
        const char* page;
        const char* title;
    } const openings[] = {
        {"adv", "Advanced Settings"}, {"Sys", "Settings"}, {"Path", "Folders to Search"}};
    TfrmDFSettings* first = nullptr;
    for (const Opening& o : openings) {
        QString shownPage, shownTitle;
        QTimer::singleShot(0, [&] {
            TfrmDFSettings* d = SettingsDialog();
            ASSERT_NE(d, nullptr);
            shownPage = d->ActivePage();
            shownTitle = d->windowTitle();
            QTest::mouseClick(d->findChild<QAbstractButton*>(QStringLiteral("btnOk")),
                              Qt::LeftButton);
        });
        EXPECT_EQ(ShowSettingsDialog(nullptr, QLatin1String(o.page)), QDialog::Accepted);
        EXPECT_EQ(shownPage, QLatin1String(o.page));
        EXPECT_EQ(shownTitle, QLatin1String(o.title));
        if (first == nullptr)
            first = SettingsDialog();
        EXPECT_EQ(SettingsDialog(), first);
    }
    // An unknown page name changes nothing.
    EXPECT_FALSE(first->SetActivePage(QStringLiteral("path")));
    EXPECT_EQ(first->ActivePage(), QStringLiteral("Path"));

    delete first;
    EXPECT_EQ(SettingsDialog(), nullptr);
    SetLanguageFolder({});
}

} // namespace
