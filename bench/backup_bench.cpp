// Writes one backup archive of every regular file under the given folders (sorted by
// path, links not followed), the way a deletion with backup would, and prints what it
// stored. Used by bench/backup_bench.sh to time the writer against zip.
//
//     backup_bench BACKUP_FOLDER FOLDER...
#include "backup/BackupArchive.h"
#include "platform/DateTime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BACKUP_FOLDER FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    int64_t bytes = 0;
    for (int i = 2; i < argc; ++i) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(fs::absolute(argv[i]), ec), end; it != end;
             it.increment(ec)) {
            if (ec)
                break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
                files.push_back(it->path().string());
                bytes += static_cast<int64_t>(it->file_size(ec));
            }
        }
    }
    std::sort(files.begin(), files.end());

    const auto start = std::chrono::steady_clock::now();
    const pelidor::backup::BackupReport report = pelidor::backup::WriteBackupArchive(
        argv[1], files, pelidor::platform::nowLocalDateTime(), ".");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::error_code ec;
    const auto archiveSize = report.archivePath.empty() ? 0 : fs::file_size(report.archivePath, ec);
    std::printf("files %zu stored %zu bytes %lld archive %llu seconds %.3f not-backed-up %zu\n",
                files.size(), report.stored, static_cast<long long>(bytes),
                static_cast<unsigned long long>(archiveSize), seconds, report.notBackedUp.size());
    return report.complete() ? 0 : 1;
}
