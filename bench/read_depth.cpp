// Reads every regular file of a tree in full, the way the fingerprint pass does, with a
// pool of reader threads or with one thread and io_uring, to compare how each keeps a
// cold disk busy.
//
//   pelidor-read-bench TREE [pool N | uring N]... [--drop] [--md5]
//
// The tree is listed (and every file's status read) once, as the scan's walk does; then,
// before each way of reading, --drop (as root) empties the page cache (echo 1: file
// contents only, the inodes stay as after a walk) and the files are read in listing
// order, 1 MiB at a time. --md5 also hashes what is read, as the pass does. Prints one
// line per way: seconds and MiB/s.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <liburing.h>
#include <openssl/evp.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kBlock = 1024 * 1024;

struct File {
    std::string path;
    int64_t size = 0;
};

std::vector<File> listTree(const std::string& root) {
    std::vector<File> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back({it->path().string(), static_cast<int64_t>(st.st_size)});
    }
    return files;
}

void dropPageCache() {
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "1\n";
}

// A digest context per reader, when hashing.
struct Hasher {
    EVP_MD_CTX* ctx = nullptr;
    explicit Hasher(bool on) {
        if (on)
            ctx = EVP_MD_CTX_new();
    }
    ~Hasher() { EVP_MD_CTX_free(ctx); }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;
    void start() {
        if (ctx != nullptr)
            EVP_DigestInit_ex2(ctx, EVP_md5(), nullptr);
    }
    void add(const void* data, size_t n) {
        if (ctx != nullptr)
            EVP_DigestUpdate(ctx, data, n);
    }
    void finish() {
        if (ctx == nullptr)
            return;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned len = 0;
        EVP_DigestFinal_ex(ctx, digest, &len);
    }
};

int64_t readWithPool(const std::vector<File>& files, unsigned threads, bool md5) {
    std::atomic<size_t> next{0};
    std::atomic<int64_t> total{0};
    const auto body = [&] {
        std::vector<unsigned char> buffer(kBlock);
        Hasher hasher(md5);
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= files.size())
                return;
            const int fd = ::open(files[i].path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            if (files[i].size > static_cast<int64_t>(kBlock))
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            hasher.start();
            for (;;) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                hasher.add(buffer.data(), static_cast<size_t>(n));
                total += n;
            }
            hasher.finish();
            ::close(fd);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(body);
    body();
    for (auto& t : pool)
        t.join();
    return total;
}

// One thread keeps up to `depth` reads in flight: each slot reads one file block by block.
int64_t readWithUring(const std::vector<File>& files, unsigned depth, bool md5) {
    io_uring ring{};
    if (io_uring_queue_init(depth, &ring, 0) != 0) {
        std::fprintf(stderr, "io_uring_queue_init failed\n");
        return -1;
    }
    struct Slot {
        int fd = -1;
        int64_t offset = 0;
        std::vector<unsigned char> buffer = std::vector<unsigned char>(kBlock);
        Hasher hasher{false};
    };
    std::vector<Slot> slots(depth); // never resized: the ring holds their buffers
    for (auto& s : slots)
        s.hasher.ctx = md5 ? EVP_MD_CTX_new() : nullptr;
    size_t nextFile = 0;
    int64_t total = 0;
    unsigned inFlight = 0;
    const auto submitRead = [&](unsigned k) {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        io_uring_prep_read(sqe, slots[k].fd, slots[k].buffer.data(), kBlock,
                           static_cast<uint64_t>(slots[k].offset));
        io_uring_sqe_set_data64(sqe, k);
        ++inFlight;
    };
    const auto startNext = [&](unsigned k) {
        while (nextFile < files.size()) {
            const int fd =
                ::open(files[nextFile++].path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            slots[k].fd = fd;
            slots[k].offset = 0;
            slots[k].hasher.start();
            submitRead(k);
            return;
        }
    };
    for (unsigned k = 0; k < depth; ++k)
        startNext(k);
    io_uring_submit(&ring);
    while (inFlight > 0) {
        io_uring_cqe* cqe = nullptr;
        if (io_uring_wait_cqe(&ring, &cqe) != 0)
            break;
        const auto k = static_cast<unsigned>(io_uring_cqe_get_data64(cqe));
        const int res = cqe->res;
        io_uring_cqe_seen(&ring, cqe);
        --inFlight;
        Slot& s = slots[k];
        if (res > 0) {
            s.hasher.add(s.buffer.data(), static_cast<size_t>(res));
            total += res;
            s.offset += res;
            submitRead(k);
        } else {
            s.hasher.finish();
            ::close(s.fd);
            s.fd = -1;
            startNext(k);
        }
        io_uring_submit(&ring);
    }
    io_uring_queue_exit(&ring);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: pelidor-read-bench TREE [pool N | uring N]... [--drop] [--md5]\n");
        return 2;
    }
    const std::string root = argv[1];
    bool drop = false, md5 = false;
    std::vector<std::pair<std::string, unsigned>> ways;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--drop")
            drop = true;
        else if (a == "--md5")
            md5 = true;
        else if ((a == "pool" || a == "uring") && i + 1 < argc)
            ways.emplace_back(a, static_cast<unsigned>(std::max(1, std::atoi(argv[++i]))));
        else {
            std::fprintf(stderr, "pelidor-read-bench: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (ways.empty())
        ways = {{"pool", 1}, {"pool", 8}, {"pool", 16}, {"uring", 16}, {"uring", 64}};
    const std::vector<File> files = listTree(root);
    int64_t bytes = 0;
    for (const auto& f : files)
        bytes += f.size;
    std::printf("# %zu files, %.0f MiB%s%s\n", files.size(), bytes / 1048576.0,
                drop ? ", page cache dropped before each way" : "", md5 ? ", with MD5" : "");
    for (const auto& [way, n] : ways) {
        if (drop)
            dropPageCache();
        const auto t0 = std::chrono::steady_clock::now();
        const int64_t read =
            way == "pool" ? readWithPool(files, n, md5) : readWithUring(files, n, md5);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%-6s %3u  %7.2f s  %7.1f MiB/s  (%lld bytes)\n", way.c_str(), n, s,
                    read / 1048576.0 / s, static_cast<long long>(read));
        std::fflush(stdout);
    }
    return 0;
}
