// Reference folders in the main window: the selection commands and Keep One's reference
// rule over a reference folder inside a searched folder and over searched folders
// inside a reference folder, and the folder line's list, where a folder is marked as a
// reference folder (written to Config.ini at once) and the line shows the mark. Real
// trees, real scans, the menus used as a user uses them.
#include "tests/main/test_main_window_support.h"

#include <QAction>
#include <QLineEdit>

#include <algorithm>
#include <string>
#include <vector>

using namespace pelidor;
using namespace pelidor::main_window_test;

namespace {

class ReferenceTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        AppConfig.CompareMode = 2;
    }

    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
        ASSERT_GT(window->model->RowCount(), 0);
    }

    // Opens Keep One's menu with its button and chooses the entry `tag`.
    void keepOne(int tag) {
        QTest::mouseClick(window->btnKeepOne, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return window->pmKeepOne->isVisible(); }, 5000));
        QAction* entry = nullptr;
        for (QAction* a : window->pmKeepOne->actions())
            if (OrlaMenuTag(a) == tag)
                entry = a;
        ASSERT_NE(entry, nullptr);
        entry->trigger();
        window->pmKeepOne->hide();
    }

    // The ticked rows, relative paths, sorted.
    std::vector<std::string> ticked() const {
        std::vector<std::string> out;
        for (const Row& r : rows())
            if (r.checked)
                out.push_back(r.path);
        std::sort(out.begin(), out.end());
        return out;
    }

    bool isReference(const std::string& relative) const {
        const TFileRow* r = window->model->Row(rowOf(relative));
        return r != nullptr && r->Reference;
    }

    // Opens the folder line's list from the keyboard (Alt+Down in the line).
    void openFolderList() {
        window->edPath->setFocus();
        QTest::keyClick(window->edPath, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(waitUntil([&] { return window->pmFolders->isVisible(); }, 5000));
    }

    QAction* folderEntry(const std::string& folder) const {
        for (QAction* a : window->pmFolders->actions())
            if (a->data().toByteArray().toStdString() == folder)
                return a;
        return nullptr;
    }
};

// One tree, searched in two ways: the whole tree with the reference folder lib/ inside
// it, and two folders of which lib/sub lies inside the reference folder lib/ (the
// reference folder is searched as well, so lib/song.flac is found there too). Either
// way the selection commands never tick a reference row, the time rules keep one file
// by time and leave the reference rows alone, and the reference rule keeps the
// reference copies, ticks the rest of their groups and keeps the newest modified where
// no reference copy is.
TEST_F(ReferenceTest, SelectionCommandsWithNestedReferenceFolders) {
    const struct {
        const char* name;
        std::vector<std::string> search;
    } layouts[] = {{"reference folder inside the searched one", {""}},
                   {"searched folder inside the reference folder", {"lib/sub", "work"}}};
    data.write("lib/song.flac", "the same song");
    data.write("work/song.flac", "the same song");
    data.write("work/old/song.flac", "the same song");
    data.write("lib/sub/cover.png", "the same cover");
    data.write("work/cover.png", "the same cover");
    data.write("work/p.txt", "no reference copy");
    data.write("work/q.txt", "no reference copy");
    data.write("lib/sub/a/x.txt", "only reference copies");
    data.write("lib/sub/b/x.txt", "only reference copies");
    data.setMTime("lib/song.flac", 1000000000);
    data.setMTime("lib/sub/cover.png", 1000000000);
    data.setMTime("work/cover.png", 1200000000);
    data.setMTime("work/old/song.flac", 1100000000);
    data.setMTime("work/song.flac", 1200000000);
    data.setMTime("work/p.txt", 1300000000);
    data.setMTime("work/q.txt", 1200000000);
    using Paths = std::vector<std::string>;
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        AppConfig = TAppConfig();
        AppConfig.Lang = "English";
        AppConfig.CompareMode = 2;
        for (const std::string& folder : layout.search)
            AppConfig.includePath.push_back(folder.empty() ? data.root() : data.path(folder));
        AppConfig.referencePath = {data.path("lib")};
        openAndScan();
        for (const char* path : {"lib/song.flac", "lib/sub/cover.png", "lib/sub/a/x.txt"})
            EXPECT_TRUE(isReference(path)) << path;
        EXPECT_FALSE(isReference("work/song.flac"));

        QTest::mouseClick(window->btnSelAll, Qt::LeftButton);
        EXPECT_EQ(ticked(), (Paths{"work/cover.png", "work/old/song.flac", "work/p.txt",
                                   "work/q.txt", "work/song.flac"}));
        QTest::mouseClick(window->btnInvertSelection, Qt::LeftButton);
        EXPECT_EQ(ticked(), Paths{});

        // The newest modified: one file kept per group; the reference rows stay beside it.
        keepOne(TfrmQdxMain::koLastWrite);
        EXPECT_EQ(ticked(), (Paths{"work/old/song.flac", "work/q.txt"}));
        // The oldest modified: the reference copies are the oldest, so every other copy
        // of their groups goes.
        keepOne(TfrmQdxMain::koFirstWrite);
        EXPECT_EQ(ticked(),
                  (Paths{"work/cover.png", "work/old/song.flac", "work/p.txt", "work/song.flac"}));

        keepOne(TfrmQdxMain::koReference);
        EXPECT_EQ(ticked(),
                  (Paths{"work/cover.png", "work/old/song.flac", "work/q.txt", "work/song.flac"}));
        EXPECT_TRUE(window->btnDel->isEnabled());
        window.reset();
    }
}

// The folder line's list: every folder to search with its mark, the reference folders
// that are not searched folders, and "Add reference folder...". A mark made there goes
// into Config.ini at once, shows a padlock on the line and marks the rows; unmarking
// takes it back. A folder inside a reference folder shows the mark and cannot be
// unmarked by itself.
TEST_F(ReferenceTest, FolderListMarksReferenceFoldersAndWritesThem) {
    data.write("a/f.txt", "same words");
    data.write("b/f.txt", "same words");
    data.write("b/inner/g.txt", "other words");
    data.write("a/g.txt", "other words");
    AppConfig.includePath = {data.path("a"), data.path("b")};
    openAndScan();
    EXPECT_FALSE(window->actReferenceMark->isVisible());
    EXPECT_FALSE(window->btnFolderList->accessibleName().isEmpty());
    EXPECT_EQ(window->btnFolderList->focusPolicy(), Qt::StrongFocus);
    QTest::mouseClick(window->btnSelAll, Qt::LeftButton);
    EXPECT_EQ(window->CheckedCount(), 4);

    // Mark a/ with the keyboard: the list opens on its first folder, Enter ticks it.
    openFolderList();
    ASSERT_NE(folderEntry(data.path("a")), nullptr);
    ASSERT_NE(folderEntry(data.path("b")), nullptr);
    EXPECT_EQ(window->pmFolders->activeAction(), folderEntry(data.path("a")));
    EXPECT_FALSE(folderEntry(data.path("a"))->isChecked());
    QTest::keyClick(window->pmFolders, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return AppConfig.referencePath.size() == 1; }, 5000));
    EXPECT_EQ(AppConfig.referencePath, std::vector<std::string>{data.path("a")});
    EXPECT_TRUE(window->actReferenceMark->isVisible());
    EXPECT_TRUE(
        window->actReferenceMark->toolTip().contains(QString::fromStdString(data.path("a"))));
    EXPECT_TRUE(
        window->edPath->accessibleDescription().contains(QString::fromStdString(data.path("a"))));
    // The line itself still shows the folders to search.
    EXPECT_EQ(window->edPath->text(),
              QString::fromStdString(data.path("a") + ";" + data.path("b") + ";"));
    EXPECT_TRUE(isReference("a/f.txt"));
    EXPECT_FALSE(window->model->IsChecked(rowOf("a/f.txt")));
    EXPECT_TRUE(window->model->IsChecked(rowOf("b/f.txt")));
    EXPECT_EQ(window->CheckedCount(), 2);
    {
        // Written at once: a fresh load of the file sees it.
        const TAppConfig shown = AppConfig;
        LoadAppConfig();
        EXPECT_EQ(AppConfig.referencePath, std::vector<std::string>{data.path("a")});
        AppConfig = shown;
    }

    // "Add reference folder..." with a folder inside b/: listed with its mark; then b/
    // itself, which holds it: the inner one is marked through b/.
    window->FolderChooser = [&](QWidget*, const QString&) {
        return QString::fromStdString(data.path("b/inner"));
    };
    openFolderList();
    QAction* add = window->pmFolders->findChild<QAction*>(QStringLiteral("ppmAddReferenceFolder"));
    ASSERT_NE(add, nullptr);
    add->trigger();
    window->pmFolders->hide();
    ASSERT_TRUE(waitUntil([&] { return AppConfig.referencePath.size() == 2; }, 5000));
    EXPECT_TRUE(isReference("b/inner/g.txt"));
    EXPECT_FALSE(isReference("b/f.txt"));
    openFolderList();
    folderEntry(data.path("b"))->trigger();
    window->pmFolders->hide();
    ASSERT_TRUE(waitUntil([&] { return AppConfig.referencePath.size() == 3; }, 5000));
    EXPECT_TRUE(isReference("b/f.txt"));
    openFolderList();
    QAction* inner = folderEntry(data.path("b/inner"));
    ASSERT_NE(inner, nullptr);
    EXPECT_TRUE(inner->isChecked());
    EXPECT_FALSE(inner->isEnabled());
    EXPECT_FALSE(inner->toolTip().isEmpty());
    EXPECT_FALSE(inner->icon().isNull());

    // Unmark a/: its rows can be ticked again, and the file says so at once.
    folderEntry(data.path("a"))->trigger();
    window->pmFolders->hide();
    ASSERT_TRUE(waitUntil([&] { return AppConfig.referencePath.size() == 2; }, 5000));
    EXPECT_FALSE(isReference("a/f.txt"));
    QTest::mouseClick(window->btnSelAll, Qt::LeftButton);
    EXPECT_TRUE(window->model->IsChecked(rowOf("a/f.txt")));
    const TAppConfig shown = AppConfig;
    LoadAppConfig();
    EXPECT_EQ(AppConfig.referencePath,
              (std::vector<std::string>{data.path("b/inner"), data.path("b")}));
    AppConfig = shown;
}

} // namespace
