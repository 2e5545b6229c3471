// File and folder names that break naive code, carried byte for byte through the whole
// program: the scan and the list's records, the CSV export (read back with Python's csv
// module), the deletion with a backup archive (read back with Python's zipfile), the
// archive's restore, and the trash with its .trashinfo records. The names hold a line
// break, double quotes, commas, bytes that are not UTF-8, a leading dash, blanks at
// the end, and one is exactly 255 bytes long.
#include "backup/BackupArchive.h"
#include "config/uAppConfig.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/main/test_main_window_support.h"
#include "tests/support/EnvGuard.h"

#include <QItemSelectionModel>
#include <QTimer>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace pelidor;
using namespace pelidor::main_window_test;
using backup_test::pathExists;
using backup_test::readAll;
using backup_test::runCommand;
using backup_test::shellQuote;
using backup_test::toHex;

namespace {

// The odd names: each is used as a file name and as a folder name.
const std::vector<std::string>& oddNames() {
    static const std::vector<std::string> names = {
        "line\nbreak.txt",    "say \"hi\".txt",
        "a,b,\"c\".csv",      std::string(251, 'n') + ".bin", // 255 bytes
        "\xff\xfe.bin",       "lone \xc3.bin",
        "-dash.txt",          "blanks at the end.txt  ",
        "\r\n, \"\xe9\" -x ",
    };
    return names;
}

// The folder that holds the second copy of group i: the odd name itself, so that
// every name is a folder name as well.
std::string folderFor(size_t i) {
    return oddNames()[i];
}

// Answers every modal dialog that appears with a close and counts them.
class ModalWatcher {
public:
    ModalWatcher() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible() || modal == last_)
                return;
            last_ = modal;
            // The question before a permanent deletion is expected and answered Yes.
            if (main_window_test::confirmPermanentDeletion(modal))
                return;
            ++count;
            modal->close();
        });
        timer_.start(5);
    }
    int count = 0;

private:
    QTimer timer_;
    QPointer<QWidget> last_;
};

std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

class OddNamesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        env.set("XDG_DATA_HOME", home.root());
        bak = settings.mkdir("bak");
        AppConfig.backPath = bak + "/";
        AppConfig.CompareMode = 2; // full content
        AppConfig.includePath = {data.root()};
        // Group i: a plainly named file that is kept, the odd name in a plain folder,
        // and the odd name in a folder with an odd name.
        for (size_t i = 0; i < oddNames().size(); ++i) {
            const std::string content = test::seededContent(int64_t(1000 + 13 * i), uint32_t(i));
            Group g;
            g.keep = data.write("keep/k" + std::to_string(i), content);
            g.copies = {data.write("plain/" + oddNames()[i], content),
                        data.write(folderFor(i) + "/" + oddNames()[i], content)};
            g.content = content;
            groups_.push_back(g);
        }
        ASSERT_EQ(oddNames()[3].size(), 255u);
    }

    struct Group {
        std::string keep;
        std::vector<std::string> copies;
        std::string content;
    };

    // The records' paths as listed, as sets per group.
    std::vector<std::set<std::string>> listedGroups() const {
        std::vector<std::set<std::string>> out;
        int last = -1;
        for (int i = 0; i < window->model->RowCount(); ++i) {
            const TFileRow* r = window->model->Row(i);
            if (r == nullptr || r->FileInfo == nullptr)
                continue;
            if (out.empty() || r->GroupNo != last)
                out.emplace_back();
            out.back().insert(r->FileInfo->FileName);
            last = r->GroupNo;
        }
        return out;
    }

    std::vector<std::set<std::string>> expectedGroups() const {
        std::vector<std::set<std::string>> out;
        for (const Group& g : groups_) {
            std::set<std::string> s(g.copies.begin(), g.copies.end());
            s.insert(g.keep);
            out.push_back(s);
        }
        return out;
    }

    std::vector<std::string> allCopies() const {
        std::vector<std::string> out;
        for (const Group& g : groups_)
            out.insert(out.end(), g.copies.begin(), g.copies.end());
        return out;
    }

    // Ticks every row but the kept files; returns the ticked paths in list order.
    std::vector<std::string> tickCopies() {
        std::vector<std::string> ticked;
        for (int row = 0; row < window->model->RowCount(); ++row) {
            const TFileRow* r = window->model->Row(row);
            if (r == nullptr || r->FileInfo == nullptr ||
                r->FileInfo->FileName.rfind(data.path("keep/"), 0) == 0)
                continue;
            window->model->setData(window->model->index(row, colFileName), Qt::Checked,
                                   Qt::CheckStateRole);
            ticked.push_back(r->FileInfo->FileName);
        }
        return ticked;
    }

    // Every copy but the kept one was deleted: each group, left with one row, left the
    // list.
    void expectOnlyKeptListed() { EXPECT_TRUE(listedGroups().empty()); }

    test::EnvGuard env;
    test::TempTree home; // $XDG_DATA_HOME: the trash
    std::string bak;
    std::vector<Group> groups_;
};

TEST_F(OddNamesTest, ListAndCsvCarryTheExactBytes) {
    open();
    ASSERT_TRUE(scan());
    auto listed = listedGroups();
    auto expected = expectedGroups();
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);

    // The export through the row menu, parsed by Python's csv module; bytes that are
    // not UTF-8 come back through the surrogate escapes.
    const std::string csv = settings.path("odd \"names\", export.csv");
    window->CsvFileChooser = [&](QWidget*) { return QFile::decodeName(csv.c_str()); };
    window->vtFile->selectionModel()->setCurrentIndex(window->model->index(0, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    ModalWatcher unexpected;
    window->PopupItemClick(7);
    EXPECT_EQ(unexpected.count, 0);
    ASSERT_TRUE(pathExists(csv));
    const auto parsed = runCommand(
        "python3 -c 'import csv, sys\n"
        "with open(sys.argv[1], newline=\"\", encoding=\"utf-8\", errors=\"surrogateescape\") as "
        "f:\n"
        "    for row in csv.reader(f, strict=True):\n"
        "        print(len(row), row[0].encode(\"utf-8\", \"surrogateescape\").hex())' " +
        shellQuote(csv));
    ASSERT_EQ(parsed.status, 0) << parsed.output;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = parsed.output.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(parsed.output.substr(start, end - start));
    ASSERT_EQ(lines.size(), size_t(window->model->RowCount()) + 1);
    EXPECT_EQ(lines[0], "4 " + toHex("File Name"));
    for (int row = 0; row < window->model->RowCount(); ++row)
        EXPECT_EQ(lines[size_t(row) + 1], "4 " + toHex(window->model->Row(row)->FileInfo->FileName))
            << "row " << row;
    // The raw bytes are in the file as they are, each double quote doubled.
    const std::string text = readAll(csv);
    EXPECT_NE(text.find("\"" + data.path("plain/say \"\"hi\"\".txt") + "\""), std::string::npos);
    EXPECT_NE(text.find("\"" + data.path("plain/\xff\xfe.bin") + "\""), std::string::npos);
    EXPECT_NE(text.find("\"" + data.path("plain/line\nbreak.txt") + "\""), std::string::npos);
}

TEST_F(OddNamesTest, BackupBeforeDeletingAndRestoreBringEveryByteBack) {
    AppConfig.RecycleDelete = false;
    AppConfig.AutoBackup = true;
    open();
    ASSERT_TRUE(scan());
    const std::vector<std::string> ticked = tickCopies();
    ASSERT_EQ(ticked.size(), allCopies().size());
    std::map<std::string, std::string> contentOf;
    std::map<std::string, mode_t> modeOf;
    for (const Group& g : groups_)
        for (const std::string& c : g.copies) {
            contentOf[c] = g.content;
            modeOf[c] = backup_test::statOf(c).st_mode;
        }
    const auto folderListing = [&] {
        std::vector<std::vector<std::string>> out{test::folderNames(data.path("plain"))};
        for (size_t i = 0; i < oddNames().size(); ++i)
            out.push_back(test::folderNames(data.path(folderFor(i))));
        return out;
    };
    const auto namesBefore = folderListing();

    {
        ModalWatcher unexpected;
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
        EXPECT_EQ(unexpected.count, 0);
    }
    EXPECT_TRUE(window->LastBackupReport().complete());
    for (const std::string& t : ticked)
        EXPECT_FALSE(pathExists(t)) << toHex(t);
    for (const Group& g : groups_)
        EXPECT_EQ(readAll(g.keep), g.content);
    expectOnlyKeptListed();

    // The archive, read by Python's zipfile: one entry per ticked file, in list order,
    // named with the path's bytes.
    const auto archives = backup::ListBackupArchives(bak, LocaleDecimalSeparator());
    ASSERT_EQ(archives.size(), 1u);
    const backup_test::PyArchive py = backup_test::inspectWithPython(archives[0].path);
    ASSERT_TRUE(py.readable);
    EXPECT_TRUE(py.intact);
    ASSERT_EQ(py.entries.size(), ticked.size());
    for (size_t i = 0; i < ticked.size(); ++i) {
        EXPECT_EQ(toHex(py.entries[i].name), toHex(ticked[i])) << i;
        EXPECT_EQ(py.entries[i].data, contentOf[ticked[i]]) << toHex(ticked[i]);
    }

    // Restored into place: the same names, bytes and permissions.
    const backup::RestoreReport report = backup::RestoreBackupArchive(archives[0].path, {});
    EXPECT_TRUE(report.completed());
    EXPECT_EQ(report.entries, ticked.size());
    EXPECT_EQ(report.written, ticked.size());
    for (const backup::RestoreFailure& f : report.failures)
        ADD_FAILURE() << toHex(f.path) << " problem " << int(f.problem) << " error " << f.error;
    for (const std::string& t : ticked) {
        EXPECT_EQ(readAll(t), contentOf[t]) << toHex(t);
        EXPECT_EQ(backup_test::statOf(t).st_mode & 07777, modeOf[t] & 07777) << toHex(t);
    }
    EXPECT_EQ(folderListing(), namesBefore) << "a name changed or a stray file was left";
}

TEST_F(OddNamesTest, TrashRecordsTheOriginalPathOfEveryName) {
    AppConfig.RecycleDelete = true;
    open();
    ASSERT_TRUE(scan());
    const std::vector<std::string> ticked = tickCopies();
    ASSERT_EQ(ticked.size(), allCopies().size());
    std::map<std::string, std::string> contentOf;
    for (const Group& g : groups_)
        for (const std::string& c : g.copies)
            contentOf[c] = g.content;
    {
        ModalWatcher unexpected;
        QTest::mouseClick(window->btnDel, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning(); }));
        EXPECT_EQ(unexpected.count, 0);
    }
    for (const std::string& t : ticked)
        EXPECT_FALSE(pathExists(t)) << toHex(t);
    expectOnlyKeptListed();
    EXPECT_TRUE(test::folderNames(bak).empty()) << "the trash makes no backup";

    // Every item has its record; the record's Path decodes to the original bytes and
    // the item holds the original content.
    const std::string files = home.path("Trash/files");
    const std::string info = home.path("Trash/info");
    const std::vector<std::string> trashed = test::folderNames(files);
    EXPECT_EQ(trashed.size(), ticked.size());
    std::set<std::string> recorded;
    for (const std::string& name : trashed) {
        const std::string record = readAll(info + "/" + name + ".trashinfo");
        ASSERT_EQ(record.rfind("[Trash Info]\nPath=", 0), 0u) << toHex(name);
        const size_t begin = record.find("Path=") + 5;
        const std::string escaped = record.substr(begin, record.find('\n', begin) - begin);
        EXPECT_EQ(escaped.find_first_of(" \r\n\",\x7f"), std::string::npos) << escaped;
        const std::string original = percentDecode(escaped);
        EXPECT_EQ(readAll(files + "/" + name), contentOf[original]) << toHex(original);
        recorded.insert(original);
    }
    EXPECT_EQ(recorded, std::set<std::string>(ticked.begin(), ticked.end()));
    EXPECT_EQ(test::folderNames(info).size(), trashed.size());
}

} // namespace
