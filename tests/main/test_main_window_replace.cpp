// The window's replacement of ticked files by hard links or clones (the button beside
// Delete with its menu, the row menu) and its reference folders (marked rows that no
// selection command ticks, that Keep One keeps, and that no command acts on). Real
// files found by real scans; the dialogs answered as a user does.
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"
#include "ui/main/DeleteConfirm.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <sys/stat.h>

#include <string>
#include <vector>

using namespace pelidor;
using namespace pelidor::main_window_test;
using pelidor::test::pathExists;
using pelidor::test::readAll;

namespace {

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ReplaceTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        AppConfig.CompareMode = 2;
        AppConfig.includePath = {data.root()};
        AppConfig.RecycleDelete = true;
        AppConfig.AutoBackup = false;
    }

    void openAndScan() {
        open();
        ASSERT_TRUE(scan());
        ASSERT_GT(window->model->RowCount(), 0);
    }

    // Opens the replace menu with the button and clicks its entry `tag`, answering each
    // dialog in turn ("btnYes", "btnNo", "btnOK", or "failYes"/"failNo" for the failure
    // dialog); returns what each dialog said.
    std::vector<QString> replaceAnswering(int tag, std::vector<QString> answers) {
        std::vector<QString> seen;
        size_t next = 0;
        ModalAnswerer answer([&](QWidget* w) {
            const QString how = next < answers.size() ? answers[next] : QStringLiteral("close");
            ++next;
            if (auto* dlg = qobject_cast<TfrmDeleteComfirm*>(w)) {
                seen.push_back(QStringLiteral("failure|") + dlg->wslbl1->text());
                QTest::mouseClick(how == QStringLiteral("failYes") ? dlg->btnOk : dlg->btnCancel,
                                  Qt::LeftButton);
                return;
            }
            auto* form = qobject_cast<TMessageForm*>(w);
            ASSERT_NE(form, nullptr);
            QWidget* focus = form->focusWidget();
            seen.push_back(form->Message->text() + u'|' +
                           (focus != nullptr ? focus->objectName() : QString()));
            if (auto* b = form->findChild<QPushButton*>(how))
                b->click();
            else
                form->close();
        });
        EXPECT_TRUE(window->btnReplace->isEnabled());
        QTest::mouseClick(window->btnReplace, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return window->pmReplace->isVisible(); }));
        QAction* entry = nullptr;
        for (QAction* a : window->pmReplace->actions())
            if (a->data().toInt() == tag)
                entry = a;
        EXPECT_NE(entry, nullptr);
        if (entry != nullptr)
            QTest::mouseClick(window->pmReplace, Qt::LeftButton, {},
                              window->pmReplace->actionGeometry(entry).center());
        EXPECT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
        EXPECT_EQ(next, answers.size()) << "dialogs answered";
        return seen;
    }

    test::EnvGuard env;
    test::TempTree home;
};

// Hard links: asked first (saying that linked paths share their metadata, default No);
// No changes nothing; Yes links the ticked file to the copy that stays, the row leaves
// the list and the summary line counts the path and the space.
TEST_F(ReplaceTest, HardLinksReplaceTheTickedFilesAfterTheQuestion) {
    const std::string content = test::seededContent(64 * 1024, 5);
    data.write("a/keep.bin", content);
    data.write("b/dup.bin", content);
    data.write("c/other.txt", "other text");
    data.write("c/other copy.txt", "other text");
    openAndScan();
    EXPECT_FALSE(window->btnReplace->isEnabled());
    tick({"b/dup.bin"});
    ASSERT_TRUE(window->btnReplace->isEnabled());

    std::vector<QString> seen =
        replaceAnswering(TfrmQdxMain::rtHardLinks, {QStringLiteral("btnNo")});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].contains(QStringLiteral("Replace 1 file by a hard link")));
    EXPECT_TRUE(seen[0].contains(QStringLiteral("share one set of permissions, owner and times")));
    EXPECT_TRUE(seen[0].endsWith(QStringLiteral("|btnNo"))) << seen[0].toStdString();
    EXPECT_NE(inodeOf(data.path("b/dup.bin")), inodeOf(data.path("a/keep.bin")));
    EXPECT_EQ(window->model->RowCount(), 4);

    seen = replaceAnswering(TfrmQdxMain::rtHardLinks, {QStringLiteral("btnYes")});
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(inodeOf(data.path("b/dup.bin")), inodeOf(data.path("a/keep.bin")));
    EXPECT_EQ(readAll(data.path("b/dup.bin")), content);
    EXPECT_EQ(rowOf("b/dup.bin"), -1);
    EXPECT_GE(rowOf("a/keep.bin"), 0);
    EXPECT_EQ(window->LastReplacedPaths(), 1);
    EXPECT_EQ(window->LastFreedBytes(), int64_t(content.size()));
    EXPECT_TRUE(window->lblcaption->text().startsWith(QStringLiteral("Paths replaced: 1.")))
        << window->lblcaption->text().toStdString();
    EXPECT_TRUE(window->lblcaption->text().contains(QStringLiteral("Space freed:")));
    EXPECT_FALSE(window->btnReplace->isEnabled());
}

// A group with every copy ticked is refused before anything is asked; a clone where the
// file system has none fails with its reason and the row stays ticked.
TEST_F(ReplaceTest, EveryCopyIsRefusedAndAFailureNamesItsReason) {
    data.write("a/one.txt", "same words");
    data.write("b/two.txt", "same words");
    openAndScan();
    tick({"a/one.txt", "b/two.txt"});
    std::vector<QString> seen =
        replaceAnswering(TfrmQdxMain::rtHardLinks, {QStringLiteral("btnOK")});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].contains(QStringLiteral("Every copy is ticked in 1 group:")));
    EXPECT_EQ(readAll(data.path("a/one.txt")), "same words");
    EXPECT_EQ(window->model->RowCount(), 2);

    // Clones on the temporary folder's file system: refused unless it shares extents.
    window->model->SetChecked(rowOf("a/one.txt"), false);
    const ino_t before = inodeOf(data.path("b/two.txt"));
    seen = replaceAnswering(TfrmQdxMain::rtClones,
                            {QStringLiteral("btnYes"), QStringLiteral("failNo")});
    if (seen.size() == 1u) {
        // This machine's temporary folder can clone: the clone is a file of its own.
        EXPECT_NE(inodeOf(data.path("b/two.txt")), before);
        EXPECT_NE(inodeOf(data.path("b/two.txt")), inodeOf(data.path("a/one.txt")));
        GTEST_SKIP() << "the temporary folder's file system clones files";
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].contains(QStringLiteral("Replace 1 file by a clone of a copy that stays")));
    EXPECT_TRUE(seen[1].contains(QStringLiteral("Unable to replace the file")));
    EXPECT_TRUE(seen[1].contains(QString::fromStdString(data.path("b/two.txt"))));
    EXPECT_TRUE(seen[1].contains(QStringLiteral("This file system cannot clone files")));
    EXPECT_EQ(inodeOf(data.path("b/two.txt")), before);
    ASSERT_GE(rowOf("b/two.txt"), 0);
    EXPECT_TRUE(window->model->IsChecked(rowOf("b/two.txt")));
    EXPECT_EQ(window->LastReplacedPaths(), 0);
}

// A reference folder inside the searched folder: its rows are marked, no selection
// command ticks them, a click on their box does nothing, Keep One keeps them and ticks
// every other copy of their groups, and neither the deletion nor a replacement nor the
// row menu touches them. A group whose every copy is a reference copy has nothing to act
// on.
TEST_F(ReplaceTest, ReferenceRowsAreNeverTickedNorActedOn) {
    const std::string content = test::seededContent(20000, 8);
    data.write("archive/master.bin", content);
    data.write("work/copy1.bin", content);
    data.write("work/copy2.bin", content);
    data.write("archive/x.txt", "only in the archive");
    data.write("archive/sub/x.txt", "only in the archive");
    data.write("work/p.txt", "no reference copy");
    data.write("work/q.txt", "no reference copy");
    AppConfig.referencePath = {data.path("archive")};
    openAndScan();
    const auto isReference = [&](const char* path) {
        const TFileRow* r = window->model->Row(rowOf(path));
        return r != nullptr && r->Reference;
    };
    EXPECT_TRUE(isReference("archive/master.bin"));
    EXPECT_TRUE(isReference("archive/sub/x.txt"));
    EXPECT_FALSE(isReference("work/copy1.bin"));
    const QModelIndex box = window->model->index(rowOf("archive/master.bin"), colFileName);
    EXPECT_FALSE(window->model->flags(box) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(window->model->data(box, Qt::ToolTipRole).toString().isEmpty());

    tick({"archive/master.bin"});
    EXPECT_EQ(window->CheckedCount(), 0);
    window->btnSelInsteadClick(1); // Select All
    EXPECT_EQ(window->CheckedCount(), 4);
    EXPECT_FALSE(window->model->IsChecked(rowOf("archive/master.bin")));
    window->btnSelInsteadClick(2); // Invert
    EXPECT_EQ(window->CheckedCount(), 0);

    // The reference rule: the newest modified where no reference copy is.
    window->KeepOneItemClick(TfrmQdxMain::koReference);
    EXPECT_TRUE(window->model->IsChecked(rowOf("work/copy1.bin")));
    EXPECT_TRUE(window->model->IsChecked(rowOf("work/copy2.bin")));
    EXPECT_FALSE(window->model->IsChecked(rowOf("archive/master.bin")));
    EXPECT_FALSE(window->model->IsChecked(rowOf("archive/x.txt")));
    EXPECT_FALSE(window->model->IsChecked(rowOf("archive/sub/x.txt")));
    EXPECT_NE(window->model->IsChecked(rowOf("work/p.txt")),
              window->model->IsChecked(rowOf("work/q.txt")));

    // Replace: the reference copy is the one that stays.
    std::vector<QString> seen =
        replaceAnswering(TfrmQdxMain::rtHardLinks, {QStringLiteral("btnYes")});
    EXPECT_EQ(seen.size(), 1u);
    const ino_t master = inodeOf(data.path("archive/master.bin"));
    EXPECT_EQ(inodeOf(data.path("work/copy1.bin")), master);
    EXPECT_EQ(inodeOf(data.path("work/copy2.bin")), master);
    EXPECT_EQ(readAll(data.path("archive/master.bin")), content);
    EXPECT_GE(rowOf("archive/master.bin"), 0);

    // The row menu's permanent delete and replacement refuse a reference row.
    const int ref = rowOf("archive/x.txt");
    ModalAnswerer answer([&](QWidget* w) {
        if (auto* form = qobject_cast<TMessageForm*>(w)) {
            EXPECT_TRUE(form->Message->text().contains(QStringLiteral("reference folder")))
                << form->Message->text().toStdString();
            form->close();
        }
    });
    window->DeleteRowFile(ref);
    window->ReplaceRowFile(ref, TReplaceKind::HardLink);
    EXPECT_EQ(answer.count, 2);
    EXPECT_TRUE(pathExists(data.path("archive/x.txt")));
    EXPECT_TRUE(pathExists(data.path("archive/sub/x.txt")));
}

// Select All, then Delete Selected to the trash, with reference copies in a folder
// nested in the searched one: every other copy goes, the reference copies stay, and a
// group whose every copy is a reference copy is left whole.
TEST_F(ReplaceTest, DeletionLeavesTheReferenceCopies) {
    data.write("lib/song.flac", "the same song");
    data.write("inbox/song.flac", "the same song");
    data.write("inbox/again/song.flac", "the same song");
    data.write("lib/a/cover.png", "the same cover");
    data.write("lib/b/cover.png", "the same cover");
    AppConfig.referencePath = {data.path("lib")};
    openAndScan();
    window->btnSelInsteadClick(1);
    EXPECT_EQ(listed(),
              (std::vector<std::string>{"inbox/again/song.flac [x]", "inbox/song.flac [x]",
                                        "lib/song.flac", "lib/a/cover.png", "lib/b/cover.png"}));
    ModalAnswerer answer([](QWidget* w) {
        ADD_FAILURE() << "unexpected dialog";
        w->close();
    });
    QTest::mouseClick(window->btnDel, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
    EXPECT_FALSE(pathExists(data.path("inbox/song.flac")));
    EXPECT_FALSE(pathExists(data.path("inbox/again/song.flac")));
    for (const char* kept : {"lib/song.flac", "lib/a/cover.png", "lib/b/cover.png"})
        EXPECT_TRUE(pathExists(data.path(kept))) << kept;
    // The song's group, left with its reference copy alone, leaves the list; the group
    // whose copies all lie in reference folders stays.
    EXPECT_EQ(listed(), (std::vector<std::string>{"lib/a/cover.png", "lib/b/cover.png"}));
}

// The row menu carries both entries; they act on the selected row and are disabled on a
// reference row.
TEST_F(ReplaceTest, RowMenuReplacesOneFile) {
    data.write("a/keep.txt", "row menu words");
    data.write("b/dup.txt", "row menu words");
    data.write("ref/r.txt", "reference words");
    data.write("b/r.txt", "reference words");
    AppConfig.referencePath = {data.path("ref")};
    openAndScan();
    QStringList entries;
    for (QAction* a : window->pmPop->actions())
        if (!a->isSeparator())
            entries << a->text();
    EXPECT_TRUE(entries.contains(QStringLiteral("Replace with Hard Links")));
    EXPECT_TRUE(entries.contains(QStringLiteral("Replace with Clones")));

    const auto entryEnabled = [&](int row) {
        window->vtFile->setCurrentIndex(window->model->index(row, 0));
        emit window->pmPop->aboutToShow();
        for (QAction* a : window->pmPop->actions())
            if (a->data().toInt() == TfrmQdxMain::kRowMenuHardLink)
                return a->isEnabled();
        return false;
    };
    EXPECT_FALSE(entryEnabled(rowOf("ref/r.txt")));
    EXPECT_TRUE(entryEnabled(rowOf("b/dup.txt")));

    ModalAnswerer answer([&](QWidget* w) {
        if (auto* form = qobject_cast<TMessageForm*>(w))
            form->findChild<QPushButton*>(QStringLiteral("btnYes"))->click();
    });
    window->PopupItemClick(TfrmQdxMain::kRowMenuHardLink);
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(inodeOf(data.path("b/dup.txt")), inodeOf(data.path("a/keep.txt")));
    EXPECT_EQ(rowOf("b/dup.txt"), -1);
}

} // namespace
