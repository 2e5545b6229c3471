// The results list with a big result: a million rows in 300,000 groups, made in memory,
// shown in a list of the main window's size on the offscreen platform.
//
//   pelidor-list-bench [ROWS]
//
// Prints one line per step with its time (or bytes per row) and the target. Steps that
// change the list include the repaint that follows them, as the window would see it.
#include "engine/uSearchHolper.h"
#include "ui/main/ResultsList.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

using namespace pelidor;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident memory of the process in bytes.
int64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * int64_t(sysconf(_SC_PAGESIZE));
}

// Groups of 3, 3 and 4 files in turn, with paths and times as a photo and document
// collection would have them.
TDuplicateResult makeResult(int rows) {
    static const char* const tops[] = {"/home/ann", "/home/ann/Backup 2021", "/media/ann/Archive",
                                       "/home/ann/Downloads/old laptop"};
    static const char* const folders[] = {
        "Pictures/2019/Trip to Lisbon", "Pictures/Phone/Camera",
        "Documents/Invoices/2022",      "Music/Various Artists/Best of the 80s",
        "Projects/pelican/src/widgets", "Videos/Family/Christmas"};
    static const char* const stems[] = {"IMG_", "DSC", "invoice-", "Track ", "widget_", "clip"};
    static const char* const exts[] = {".jpg", ".JPG", ".pdf", ".mp3", ".cpp", ".mp4"};
    std::mt19937 rng(12345);
    TDuplicateResult result;
    result.reserve(size_t(rows / 3 + 1));
    int made = 0;
    for (int g = 0; made < rows; ++g) {
        const int size = std::min(g % 3 == 2 ? 4 : 3, rows - made);
        const size_t kind = rng() % 6;
        const std::string name =
            std::string(stems[kind]) + std::to_string(1000 + g % 90000) + exts[kind];
        const int64_t bytes = int64_t(rng() % 50000000) + 1;
        TDuplicateGroup group;
        for (int i = 0; i < size; ++i) {
            auto file = std::make_unique<TDuplicateFile>();
            file->FileName = std::string(tops[(g + i) % 4]) + "/" + folders[kind] + "/" + name;
            file->FileSize = bytes;
            file->CreateTime = 40179.0 + double(rng() % 5400) + double(rng() % 86400) / 86400;
            file->LastTime = 40179.0 + double(rng() % 5400) + double(rng() % 86400) / 86400;
            file->Md5 = "0123456789ABCDEF0123456789ABCDEF";
            group.push_back(std::move(file));
        }
        made += size;
        result.push_back(std::move(group));
    }
    return result;
}

void report(const char* step, double value, const char* unit, double target) {
    std::printf("| %-44s | %10.1f %-6s | <= %6.0f %-6s | %s |\n", step, value, unit, target, unit,
                value <= target ? "ok" : "MISSED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ApplyOrlaLook(app);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    if (rows <= 0) {
        std::fprintf(stderr, "usage: pelidor-list-bench [ROWS]\n");
        return 2;
    }

    // As in the program, the window and its empty list exist before a scan makes the
    // records.
    const int64_t rssStart = residentBytes();
    TResultsModel model;
    TResultsView view;
    view.setResultsModel(&model);
    view.resize(843, 400);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        std::fprintf(stderr, "the list was not shown\n");
        return 1;
    }
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    const int64_t rssEmptyList = residentBytes();
    TDuplicateResult result = makeResult(rows);
    const int64_t rssRecords = residentBytes();

    std::printf("%d rows in %zu groups; records %.1f MB; the empty list shown %.1f MB\n\n", rows,
                result.size(), double(rssRecords - rssEmptyList) / 1e6,
                double(rssEmptyList - rssStart) / 1e6);
    std::printf("| %-44s | %17s | %16s | %s |\n", "step", "measured", "target", "");
    std::printf("|%s|%s|%s|----|\n", std::string(46, '-').c_str(), std::string(19, '-').c_str(),
                std::string(18, '-').c_str());

    // Load and first paint.
    auto start = Clock::now();
    int32_t count = 0;
    const int files = AppendResultGroups(model, result, count, 15461355, 16711422);
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    report("load all groups + first paint", msSince(start), "ms", 1000);
    if (files != rows || model.rowCount() != rows)
        std::printf("unexpected row count %d\n", model.rowCount());
    const int64_t rssLoaded = residentBytes();
    report("list memory per row (records made -> loaded)",
           double(rssLoaded - rssRecords) / double(rows), "B/row", 64);

    // The selection commands, each followed by the check count the window shows and
    // the repaint.
    auto command = [&](const char* step, auto&& run) {
        const auto t = Clock::now();
        run();
        volatile int checked = model.CheckedCount();
        (void)checked;
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        report(step, msSince(t), "ms", 300);
    };
    command("select all", [&] { SelectAllRows(model); });
    command("invert", [&] { InvertRows(model); });
    command("keep one: newest created", [&] { KeepOneRows(model, 1); });
    command("keep one: oldest created", [&] { KeepOneRows(model, 2); });
    command("keep one: newest modified", [&] { KeepOneRows(model, 4); });
    command("keep one: oldest modified", [&] { KeepOneRows(model, 5); });

    // Scrolling, a page at a time from the middle.
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    constexpr int kPages = 200;
    start = Clock::now();
    double worst = 0;
    for (int i = 0; i < kPages; ++i) {
        const auto t = Clock::now();
        bar->setValue(bar->value() + bar->pageStep());
        view.viewport()->repaint();
        worst = std::max(worst, msSince(t));
    }
    report("scroll one page (mean of 200)", msSince(start) / kPages, "ms", 16);
    report("scroll one page (slowest of 200)", worst, "ms", 16);

    // The deletion's pattern: 100,000 scattered rows removed in one bracket while the
    // list is scrolled to the middle with a row selected.
    const int removals = std::min(100000, rows / 10);
    view.selectionModel()->setCurrentIndex(
        model.index(rows / 2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    start = Clock::now();
    model.BeginUpdate();
    for (int i = 0; i < removals; ++i)
        model.RemoveRow(int(int64_t(i) * rows / removals) + 3);
    model.EndUpdate();
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    char step[64];
    std::snprintf(step, sizeof step, "remove %d scattered rows + paint", removals);
    report(step, msSince(start), "ms", 1000);
    if (model.rowCount() != rows - removals)
        std::printf("unexpected row count %d after removal\n", model.rowCount());

    start = Clock::now();
    model.Clear();
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    report("clear + paint", msSince(start), "ms", 1000);
    return 0;
}
