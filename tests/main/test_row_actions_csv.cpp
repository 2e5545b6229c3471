// The CSV export of the results list: exact bytes, an independent parser, and the
// writer's failures.
#include "engine/uSearchHolper.h"
#include "platform/DateTime.h"
#include "tests/support/TempTree.h"
#include "ui/main/CsvExport.h"
#include "ui/main/ResultsList.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelidor {
namespace {

using test::TempTree;

double dateTime(int year, int month, int day, int hour, int minute, int second) {
    double value = 0;
    EXPECT_TRUE(platform::encodeDateTime({year, month, day, hour, minute, second, 0}, value));
    return value;
}

QByteArray readAll(const std::string& path) {
    QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return f.readAll();
}

// A list of real files, in two groups, with the captions of the English pack and German
// number and date texts (a decimal comma inside the size fields).
class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        model.setLocale(locale);
        const char* captions[] = {"File Name", "Path", "File Size", "Modify time", "Create time"};
        for (int c = 0; c < kResultsColumnCount; ++c)
            model.setColumnCaption(c, QString::fromLatin1(captions[c]));
    }

    TDuplicateFile* add(const std::string& name, int64_t size, double last, double created,
                        int group) {
        auto rec = std::make_unique<TDuplicateFile>();
        rec->FileName = tree.writeSized(name, size, 7);
        rec->FileSize = size;
        rec->LastTime = last;
        rec->CreateTime = created;
        records.push_back(std::move(rec));
        model.AppendRow(TFileRow{records.back().get(), group, 0x00F0E0D0u});
        return records.back().get();
    }

    QByteArray dateText(double value) const { return DateTimeText(value, locale).toUtf8(); }

    TempTree tree;
    QLocale locale{QLocale::German, QLocale::Germany};
    std::vector<std::unique_ptr<TDuplicateFile>> records;
    TResultsModel model;
};

TEST_F(CsvExportTest, ExactBytes) {
    const double t1 = dateTime(2023, 5, 17, 14, 3, 9);
    const double t2 = dateTime(2021, 1, 2, 0, 0, 0); // midnight: the date alone
    const auto* a = add("one/plain.txt", 1536, t1, t2, 1);
    const auto* b = add("two/say \"hi\", ok.txt", 100, t2, t1, 1);
    model.AppendRow(TFileRow{}); // a row without a record gives no line
    const auto* c = add("three/caf\xe9 \xe6\x97\xa5\xe6\x9c\xac.bin", 2500000, t1, t1, 2);
    model.SetChecked(0, true); // ticked or not, every row is written
    ASSERT_EQ(model.RowCount(), 4);

    const QByteArray expected = "\"File Name\",\"File Size\",\"Modify time\",\"Create time\"\r\n"
                                "\"" +
                                QByteArray::fromStdString(a->FileName) + "\",\"1,5 KB\",\"" +
                                dateText(t1) + "\",\"" + dateText(t2) + "\"\r\n" + "\"" +
                                QByteArray::fromStdString(tree.path("two/say \"\"hi\"\", ok.txt")) +
                                "\",\"100 Bytes\",\"" + dateText(t2) + "\",\"" + dateText(t1) +
                                "\"\r\n" + "\"" + QByteArray::fromStdString(c->FileName) +
                                "\",\"2,4 MB\",\"" + dateText(t1) + "\",\"" + dateText(t1) +
                                "\"\r\n";
    EXPECT_EQ(ResultsCsv(model), expected);
    EXPECT_EQ(b->FileName, tree.path("two/say \"hi\", ok.txt"));
    EXPECT_FALSE(dateText(t2).contains(':')) << "midnight has no time part";

    const std::string out = tree.path("export.csv");
    QString error;
    ASSERT_TRUE(ExportResultsToCsv(model, QString::fromStdString(out), &error))
        << error.toStdString();
    const QByteArray written = readAll(out);
    EXPECT_EQ(written, expected);
    EXPECT_FALSE(written.startsWith("\xef\xbb\xbf"));
    EXPECT_TRUE(written.contains("caf\xe9 \xe6\x97\xa5\xe6\x9c\xac.bin")); // raw bytes kept
    // A new file: the permissions of the user's file-creation mask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
}

TEST_F(CsvExportTest, AnIndependentParserReadsBackEveryField) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    const double t = dateTime(2024, 2, 29, 23, 59, 58);
    const std::vector<std::string> names = {
        "a/plain.txt",        "b/with, comma.txt",       "c/quote\" inside\".txt",
        "d/two\r\nlines.txt", "e/\xff\xfe not utf8.txt", "f/\xce\xb1\xce\xb2.txt"};
    for (size_t i = 0; i < names.size(); ++i)
        add(names[i], int64_t(1000 + 700 * i), t, t, int(i / 2));
    const std::string out = tree.path("parsed.csv");
    ASSERT_TRUE(ExportResultsToCsv(model, QString::fromStdString(out)));

    // Python's csv module, bytes kept through surrogate escapes; one line of hex fields
    // per record.
    const char* script = R"(import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8', errors='surrogateescape') as f:
    for row in csv.reader(f, strict=True):
        print(' '.join(x.encode('utf-8', 'surrogateescape').hex() for x in row))
)";
    QProcess py;
    py.start(python,
             {QStringLiteral("-c"), QString::fromLatin1(script), QString::fromStdString(out)});
    ASSERT_TRUE(py.waitForFinished(20000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    std::vector<std::vector<QByteArray>> rows;
    for (const QByteArray& line : py.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        rows.emplace_back();
        for (const QByteArray& hex : line.split(' '))
            rows.back().push_back(QByteArray::fromHex(hex));
    }
    ASSERT_EQ(rows.size(), names.size() + 1);
    EXPECT_EQ(rows[0],
              (std::vector<QByteArray>{"File Name", "File Size", "Modify time", "Create time"}));
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_EQ(rows[i + 1].size(), 4u);
        EXPECT_EQ(rows[i + 1][0], QByteArray::fromStdString(tree.path(names[i])));
        EXPECT_EQ(rows[i + 1][1], model.CellText(int(i), colFileSize).toUtf8());
        EXPECT_EQ(rows[i + 1][2], dateText(t));
        EXPECT_EQ(rows[i + 1][3], dateText(t));
    }
}

TEST_F(CsvExportTest, EmptyListGivesTheHeaderAlone) {
    model.setColumnCaption(colFileName, QStringLiteral("Dateiname, \"voll\""));
    EXPECT_EQ(ResultsCsv(model),
              QByteArray(
                  "\"Dateiname, \"\"voll\"\"\",\"File Size\",\"Modify time\",\"Create time\"\r\n"));
}

TEST_F(CsvExportTest, AnExistingFileIsReplacedWhole) {
    add("x/a.txt", 10, 1.0, 1.0, 1);
    const std::string out = tree.write("old.csv", std::string(5000, 'z'));
    ::chmod(out.c_str(), 0640);
    ASSERT_TRUE(ExportResultsToCsv(model, QString::fromStdString(out)));
    EXPECT_EQ(readAll(out), ResultsCsv(model));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing else is left beside it.
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(tree.root()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"old.csv", "x"}));

    // Through a symbolic link: the link stays, the file it points to gets the list.
    tree.symlink("old.csv", "link.csv");
    const QByteArray again = "\"again\"\r\n";
    ASSERT_TRUE(WriteFileReplacing(QString::fromStdString(tree.path("link.csv")), again));
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("link.csv")));
    EXPECT_EQ(readAll(out), again);
}

TEST_F(CsvExportTest, AFailedWriteReportsTheReasonAndKeepsTheOldFile) {
    add("x/a.txt", 10, 1.0, 1.0, 1);
    // A name of the longest length: no temporary name can be made beside it.
    const std::string longest = tree.write(std::string(255, 'n'), "old longest\r\n");
    QString error;
    EXPECT_FALSE(ExportResultsToCsv(model, QString::fromStdString(longest), &error));
    EXPECT_EQ(error, QStringLiteral("File name too long"));
    EXPECT_EQ(readAll(longest), QByteArray("old longest\r\n"));
    EXPECT_EQ(CsvExportErrorMessage(QStringLiteral("/x/list.csv"), QStringLiteral("Disk full.\n")),
              QStringLiteral("Unable to save the list to the file: \"/x/list.csv\". Disk full."));

    // The disk fills up in the middle of the write (a file-size limit stands in for it).
    const std::string full = tree.write("full.csv", "old full\r\n");
    const QByteArray big = ResultsCsv(model).repeated(100);
    {
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 100;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        error.clear();
        const bool ok = WriteFileReplacing(QString::fromStdString(full), big, &error);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(ok);
    }
    EXPECT_EQ(error, QStringLiteral("File too large"));
    EXPECT_EQ(readAll(full), QByteArray("old full\r\n"));

    // A folder that does not exist; a folder in the file's place.
    error.clear();
    EXPECT_FALSE(
        ExportResultsToCsv(model, QString::fromStdString(tree.path("missing/list.csv")), &error));
    EXPECT_EQ(error, QStringLiteral("No such file or directory"));
    error.clear();
    EXPECT_FALSE(ExportResultsToCsv(model, QString::fromStdString(tree.path("x")), &error));
    EXPECT_EQ(error, QStringLiteral("Is a directory"));
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("x")));
    std::vector<std::string> left; // no temporary file stays behind
    for (const auto& e : std::filesystem::directory_iterator(tree.root()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"full.csv", std::string(255, 'n'), "x"}));

    // A folder the user may not write into (root may).
    if (test::runningAsRoot())
        return;
    const std::string old = tree.write("locked/list.csv", "old content\r\n");
    ::chmod(tree.path("locked").c_str(), 0555);
    error.clear();
    const bool ok = ExportResultsToCsv(model, QString::fromStdString(old), &error);
    ::chmod(tree.path("locked").c_str(), 0755);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, QStringLiteral("Permission denied"));
    EXPECT_EQ(readAll(old), QByteArray("old content\r\n"));
    EXPECT_EQ(QDir(QString::fromStdString(tree.path("locked")))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{QStringLiteral("list.csv")});
}

} // namespace
} // namespace pelidor
