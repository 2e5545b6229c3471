// The settings dialog's texts: the language packs' translations, the design-time texts
// where a pack has nothing, and every text fitting its control in every pack.
#include "tests/settings/SettingsTestSupport.h"

#include "tests/support/TempTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <cstdlib>

using namespace pelidor;
using pelidor::settings_ui_test::SettingsDialogTest;

namespace {

// A language file as the packs are stored: UTF-16LE with a byte-order mark.
void writePack(const std::string& path, const QString& text) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xFF\xFE", 2);
    file.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

TEST_F(SettingsDialogTest, LocalizeTakesTheTextsAndTheFontOfThePack) {
    SelectLanguage("ChineseSimplified");
    const struct {
        const char* page;
        const char* title;
    } pages[] = {{"Path", "要搜索的文件夹"}, {"adv", "高级设置"}, {"Sys", "设置"}};
    for (const auto& p : pages) {
        open(p.page);
        EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8(p.title));
        cancel();
    }
    EXPECT_EQ(dlg->font().family(), QStringLiteral("Droid Sans Fallback"));
    EXPECT_EQ(dlg->font().pointSize(), 9);
    EXPECT_EQ(child<QAbstractButton>("btnOk")->text(), QStringLiteral("确定"));
    EXPECT_EQ(child<QAbstractButton>("btnOk")->toolTip(), QStringLiteral("应用更改"));
    EXPECT_EQ(child<QAbstractButton>("btnFolder")->text(), QString());
    EXPECT_EQ(child<QAbstractButton>("btnFolder")->toolTip(), QStringLiteral("选择备份文件夹"));
    EXPECT_EQ(child<QAbstractButton>("btnAddIncludeKey")->text(), QStringLiteral("添加关键字"));
    EXPECT_EQ(child<QAbstractButton>("btnAddkey")->toolTip(),
              QStringLiteral("添加要排除的文件名或通配符"));
    EXPECT_EQ(child<QLabel>("lblColor")->text(), QStringLiteral("分组颜色："));
    EXPECT_EQ(child<QCheckBox>("chkAutoBackup")->text(), QStringLiteral("永久删除文件前先备份"));
    EXPECT_EQ(child<QComboBox>("cbbSize1")->itemText(0), QStringLiteral("字节"));
    EXPECT_EQ(child<QComboBox>("cbbUpdates")->itemText(3), QStringLiteral("从不"));
    EXPECT_EQ(rows(list("lstpath")).back(), "添加文件夹...|Add|-");
}

TEST_F(SettingsDialogTest, KeysMissingFromThePacksLeaveTheDesignTexts) {
    test::TempTree tree;
    tree.mkdir("Languages");
    writePack(tree.path("Languages/English.ini"),
              QStringLiteral("[Translation]\r\n"
                             "frmDFSettings.btnAddkey.Caption=Find more\r\n"
                             "frmDFSettings.btnOk.caption=Go\r\n"));
    SetLanguageFolder(tree.path("Languages/"));
    SelectLanguage("English");
    open("adv");
    EXPECT_EQ(dlg->windowTitle(), QString()); // the captions have no built-in text
    EXPECT_EQ(child<QLabel>("lblMinimize")->text(), QStringLiteral("min"));
    EXPECT_EQ(child<QLabel>("lblExclude")->text(), QStringLiteral("exclude"));
    EXPECT_EQ(child<QAbstractButton>("btnAddFolder")->text(), QStringLiteral("Add folder"));
    // The include button always reads like the exclude keyword button.
    EXPECT_EQ(child<QAbstractButton>("btnAddIncludeKey")->text(), QStringLiteral("Find more"));
    // An image button's hint falls back to its translated caption.
    EXPECT_EQ(child<QAbstractButton>("btnOk")->text(), QStringLiteral("Go"));
    EXPECT_EQ(child<QAbstractButton>("btnOk")->toolTip(), QStringLiteral("Go"));
    EXPECT_EQ(child<QAbstractButton>("btnCancel")->toolTip(), QStringLiteral("Cancel"));
    EXPECT_EQ(child<QComboBox>("cbbSize")->itemText(0), QString());
    EXPECT_EQ(child<QCheckBox>("chkRecycleDelete")->text(),
              QStringLiteral("Move the selected items to the Trash"));
}

// What a control needs to show its whole text on one line.
int neededWidth(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return fm.horizontalAdvance(label->text());
    if (const auto* check = qobject_cast<const QCheckBox*>(w))
        return check->sizeHint().width();
    if (const auto* link = qobject_cast<const TOrlaLinkButton*>(w))
        return link->sizeHint().width();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return fm.horizontalAdvance(button->text()) + 8;
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        // The widest item with the style's frame and arrow.
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, fm.horizontalAdvance(combo->itemText(i)));
        QStyleOptionComboBox option;
        option.initFrom(combo);
        return combo->style()
            ->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, fm.height()), combo)
            .width();
    }
    return 0;
}

// The separator line and the backup frame lie under other controls on purpose.
bool underlay(const QWidget* w) {
    return w->objectName() == QLatin1String("shp2") || w->objectName() == QLatin1String("shp3");
}

// Every page in every pack: each text fits its control, no two controls overlap, and
// every control lies inside the window. With PELIDOR_SETTINGS_SCREENSHOTS set to a
// folder, each page is also saved there as a picture.
TEST_F(SettingsDialogTest, TextsFitTheirControlsInEveryPack) {
    const char* shots = std::getenv("PELIDOR_SETTINGS_SCREENSHOTS");
    AppConfig.backPath = "/home/ann/.config/Pelidor/";
    AppConfig.includePathCustom = {"/home/ann/Pictures/Holidays", "/srv/photos"};
    AppConfig.includePath = {"/home/ann/Pictures/Holidays"};
    AppConfig.CheckedIncludes = ",0,";
    AppConfig.excludePathCustom = {"/home/ann/Pictures/.thumbnails=7"};
    AppConfig.CheckedExcludes = ",7,";
    AppConfig.MinSize = 1024;
    AppConfig.RecycleDelete = false;
    disks = {"/", "/home", "/mnt/data"};
    for (const char* pack :
         {"English", "German", "French", "Spanish", "ChineseSimplified", "Japanese"}) {
        SelectLanguage(pack);
        for (const char* page : {"Path", "adv", "Sys"}) {
            SCOPED_TRACE(std::string(pack) + " " + page);
            open(page);
            QWidget* shown = child<QWidget>(page);
            QList<QWidget*> controls;
            for (QWidget* w : shown->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                controls << w;
            controls << child<QWidget>("btnOk") << child<QWidget>("btnCancel");
            for (QWidget* w : controls) {
                const QRect r(w->mapTo(dlg.get(), QPoint(0, 0)), w->size());
                EXPECT_TRUE(dlg->rect().contains(r)) << w->objectName().toStdString();
                EXPECT_LE(neededWidth(w), w->width()) << w->objectName().toStdString();
                if (qobject_cast<QLabel*>(w) != nullptr) {
                    EXPECT_LE(QFontMetrics(w->font()).height(), w->height())
                        << w->objectName().toStdString();
                }
                if (underlay(w))
                    continue;
                for (QWidget* other : controls) {
                    if (other == w || other->parentWidget() != w->parentWidget() || underlay(other))
                        continue;
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << w->objectName().toStdString() << " overlaps "
                        << other->objectName().toStdString();
                }
            }
            if (shots != nullptr)
                dlg->grab().save(QStringLiteral("%1/settings-%2-%3.png")
                                     .arg(QString::fromLocal8Bit(shots), QLatin1String(page),
                                          QLatin1String(pack)));
            cancel();
        }
    }
}

} // namespace

namespace {

// Saves pictures of the page "Path" in English, German and Chinese into
// $PELIDOR_SCREENSHOTS (skipped without it).
TEST_F(SettingsDialogTest, ScreenshotPathPage) {
    const char* folder = std::getenv("PELIDOR_SCREENSHOTS");
    if (folder == nullptr || *folder == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    disks = {"/", "/data"};
    AppConfig.includePathCustom = {"/home/u/Photos", "/data/archive"};
    AppConfig.includePath = {"/data/archive"};
    AppConfig.referencePath = {"/data/masters"};
    for (const char* language : {"English", "German", "ChineseSimplified"}) {
        SelectLanguage(language);
        open("Path");
        // A folder listed already: picked again, its row is ticked, not added twice.
        folderAnswers = {QStringLiteral("/home/u/Photos/")};
        auto* lst = list("lstpath");
        clickCaption(lst, lst->count() - 1);
        EXPECT_TRUE(dlg->grab().save(QString::fromLocal8Bit(folder) +
                                     QStringLiteral("/settings-path-%1.png").arg(language)));
        cancel();
    }
}

} // namespace
