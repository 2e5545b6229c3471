// Deleting ticked rows through the main window: FILES real small files, each ticked in
// a group of three rows (the other two rows unticked, real copies of it), so 3 x FILES
// rows in all, deleted permanently without a backup by a click on Delete (the question
// before a permanent deletion answered Yes), on the offscreen platform. Each deleted file
// is first proven byte for byte against a copy that stays.
//
//   pelidor-delete-bench [FILES]        (default 100000)
//
// The files live in a temporary folder under $TMPDIR (removed at the end); the
// settings and the trash go to temporary folders too. Prints one line per step with its
// time and, for the deletion, the target.
#include "config/uAppConfig.h"
#include "engine/uSearchHolper.h"
#include "ui/main/ResultsList.h"
#include "ui/main/uQdxMain.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelidor;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* step, double ms, double targetMs) {
    if (targetMs > 0)
        std::printf("| %-52s | %9.0f ms | <= %6.0f ms | %s |\n", step, ms, targetMs,
                    ms <= targetMs ? "ok" : "FAIL");
    else
        std::printf("| %-52s | %9.0f ms | %12s | %s |\n", step, ms, "", "");
    std::fflush(stdout);
}

std::string makeTempRoot() {
    const char* tmp = std::getenv("TMPDIR");
    std::string root =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/pelidor-delete-bench-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return root;
}

} // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const std::string root = makeTempRoot();
    for (const char* sub : {"/config", "/data", "/runtime", "/files"})
        ::mkdir((root + sub).c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QApplication app(argc, argv);
    ApplyOrlaLook(app);

    // The files: 1,000 per folder, 16 bytes each, three copies of each in three trees.
    auto start = Clock::now();
    TDuplicateResult result;
    result.reserve(size_t(files));
    for (int i = 0; i < files; ++i) {
        TDuplicateGroup group;
        for (int copy = 0; copy < 3; ++copy) {
            const std::string folder =
                root + "/files/" + std::to_string(copy) + "-" + std::to_string(i / 1000);
            if (i % 1000 == 0)
                std::filesystem::create_directories(folder);
            const std::string path = folder + "/file " + std::to_string(i) + ".txt";
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || ::write(fd, "sixteen bytes!!\n", 16) != 16) {
                std::perror(path.c_str());
                return 2;
            }
            ::close(fd);
            // The record holds what a scan saw, so the check before deleting finds it
            // unchanged.
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                std::perror(path.c_str());
                return 2;
            }
            auto record = std::make_unique<TDuplicateFile>();
            record->FileName = path;
            record->FileSize = 16;
            record->CreateTime = 45000.25 + i % 1000;
            record->LastTime = 45000.5 + i % 1000;
            record->Device = uint64_t(st.st_dev);
            record->Inode = uint64_t(st.st_ino);
            record->MTimeSec = st.st_mtim.tv_sec;
            record->MTimeNsec = int32_t(st.st_mtim.tv_nsec);
            group.push_back(std::move(record));
        }
        result.push_back(std::move(group));
    }
    report("create the files", msSince(start), 0);

    int exitCode = 0;
    {
        TfrmQdxMain window;
        window.show();
        AppConfig.RecycleDelete = false;
        AppConfig.AutoBackup = false;
        QCoreApplication::processEvents();

        start = Clock::now();
        window.LoadResultGroups(result);
        TResultsModel& model = *window.model;
        model.BeginUpdate();
        for (int row = 0; row < model.RowCount(); row += 3)
            model.SetChecked(row, true);
        model.EndUpdate();
        window.btnDel->setEnabled(true);
        QCoreApplication::processEvents();
        report(("list " + std::to_string(model.RowCount()) + " rows, tick " +
                std::to_string(model.CheckedCount()))
                   .c_str(),
               msSince(start), 0);

        // The question before a permanent deletion: Yes.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget()))
                if (auto* yes = form->findChild<QPushButton*>(QStringLiteral("btnYes")))
                    yes->click();
        });
        answer.start(1);
        start = Clock::now();
        window.btnDel->click();
        window.vtFile->viewport()->repaint();
        const double deleteMs = msSince(start);
        report(("delete " + std::to_string(files) + " ticked rows for good").c_str(), deleteMs,
               10000);

        int left = 0;
        for (int i = 0; i < files; ++i)
            left += std::filesystem::exists(root + "/files/0-" + std::to_string(i / 1000) +
                                            "/file " + std::to_string(i) + ".txt")
                        ? 1
                        : 0;
        std::printf("rows left %d (expected %d), files left %d (expected 0)\n", model.RowCount(),
                    2 * files, left);
        if (model.RowCount() != 2 * files || left != 0)
            exitCode = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return exitCode;
}
