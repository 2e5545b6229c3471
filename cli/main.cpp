// pelidor-scan: the duplicate search engine as a headless command.
//
// Flow: parse and check the arguments (exit 2 on bad input, nothing scanned; also
// when a content mode is asked for and the system refuses MD5), start
// the scan, show a progress line on standard error while waiting for the engine's
// last progress code, then write the groups to standard output.
//
// Signals: SIGINT and SIGTERM are turned into bytes on a pipe by the handler; a
// watcher thread reads them and asks the engine to stop. The first signal also
// restores the default action, so a second one ends the program at once. On Windows
// the console's Ctrl+C and Ctrl+Break do the same (the system calls the handler on a
// thread of its own), and the arguments are read as UTF-16 and passed on as UTF-8.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include "platform/win32/WinText.h"
#else
#include <pthread.h>
#include <sys/ioctl.h>
#endif

#include "cli/ScanOptions.h"
#include "cli/ScanOutput.h"
#include "engine/FingerprintCache.h"
#include "engine/uSearchHolper.h"

namespace {

using namespace pelidor;
using namespace pelidor::cli;

constexpr int kExitOk = 0;
constexpr int kExitOutputError = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitInterrupted = 130;

void printError(const std::string& message) {
    std::cerr << kProgramName << ": " << message << '\n';
    std::cerr.flush();
}

// ---- progress receiver ----------------------------------------------------------

struct ProgressSnapshot {
    int phase = 0; // the last code that changes the phase
    int64_t collected = 0;
    int64_t hashTotal = 0;
    int64_t hashStarted = 0;
    std::string current;
};

// Called on the engine's threads; keeps counters and the current file, never blocks
// for longer than a string move under a short lock.
class ScanReceiver final : public TSearchProgressReceiver {
public:
    void SearchProgress(int code, int64_t arg, std::string path) noexcept override {
        switch (code) {
        case spFolderDone:
            collected_.store(arg, std::memory_order_relaxed);
            return;
        case spHashStart:
            hashTotal_.store(arg, std::memory_order_relaxed);
            break;
        case spHashFile: {
            hashStarted_.fetch_add(1, std::memory_order_relaxed);
            std::string previous;
            {
                std::lock_guard lock(mutex_);
                previous.swap(current_);
                current_ = std::move(path);
            }
            return; // `previous` is released outside the lock
        }
        case spFinished: {
            // The waiting thread may destroy the receiver as soon as it sees finished_:
            // notify under the lock and touch nothing after it.
            phase_.store(code, std::memory_order_relaxed);
            std::lock_guard lock(mutex_);
            finished_ = true;
            finishedCv_.notify_all();
            return;
        }
        default:
            break;
        }
        phase_.store(code, std::memory_order_relaxed);
    }

    // True once code 10 has arrived; waits at most `timeout` for it.
    bool waitFinished(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return finishedCv_.wait_for(lock, timeout, [&] { return finished_; });
    }

    ProgressSnapshot snapshot() const {
        ProgressSnapshot s;
        s.phase = phase_.load(std::memory_order_relaxed);
        s.collected = collected_.load(std::memory_order_relaxed);
        s.hashTotal = hashTotal_.load(std::memory_order_relaxed);
        s.hashStarted = hashStarted_.load(std::memory_order_relaxed);
        std::lock_guard lock(mutex_);
        s.current = current_;
        return s;
    }

private:
    std::atomic<int> phase_{0};
    std::atomic<int64_t> collected_{0};
    std::atomic<int64_t> hashTotal_{0};
    std::atomic<int64_t> hashStarted_{0};
    mutable std::mutex mutex_;
    std::condition_variable finishedCv_;
    std::string current_;
    bool finished_ = false;
};

// ---- progress line ---------------------------------------------------------------

// Decodes one UTF-8 sequence at text[pos]; returns its length (0 when malformed).
size_t decodeUtf8(std::string_view text, size_t pos, char32_t& cp) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = b(pos);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    const size_t len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || pos + len > text.size())
        return 0;
    if (!isValidUtf8(text.substr(pos, len)))
        return 0;
    cp = len == 2 ? b0 & 0x1F : len == 3 ? b0 & 0x0F : b0 & 0x07;
    for (size_t i = 1; i < len; ++i)
        cp = cp << 6 | (b(pos + i) & 0x3F);
    return len;
}

// Terminal columns of a code point: 0 for combining marks, 2 for the wide ranges of
// East Asian scripts and emoji, 1 otherwise.
int columnsOf(char32_t cp) {
    if ((cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F) ||
        (cp >= 0xFE00 && cp <= 0xFE0F))
        return 0;
    if ((cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
        (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
        (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
        (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
        (cp >= 0x1F900 && cp <= 0x1F9FF) || (cp >= 0x20000 && cp <= 0x3FFFD))
        return 2;
    return 1;
}

struct Cell {
    std::string bytes;
    int columns;
};

// The text as printable cells: control characters and malformed bytes become '?'.
std::vector<Cell> printableCells(std::string_view text) {
    std::vector<Cell> cells;
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const size_t len = decodeUtf8(text, pos, cp);
        if (len == 0 || cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
            cells.push_back({"?", 1});
            pos += len == 0 ? 1 : len;
            continue;
        }
        cells.push_back({std::string(text.substr(pos, len)), columnsOf(cp)});
        pos += len;
    }
    return cells;
}

// `prefix` + `path`, cut to `width` columns: the path loses its beginning (shown as
// "..."), so the file name stays visible.
std::string fitLine(std::string_view prefix, std::string_view path, int width) {
    const auto pre = printableCells(prefix);
    const auto cells = printableCells(path);
    std::string out;
    int used = 0;
    for (const auto& c : pre) {
        if (used + c.columns > width)
            return out;
        out += c.bytes;
        used += c.columns;
    }
    int pathColumns = 0;
    for (const auto& c : cells)
        pathColumns += c.columns;
    if (used + pathColumns <= width) {
        for (const auto& c : cells)
            out += c.bytes;
        return out;
    }
    const int room = width - used - 3;
    if (room <= 0)
        return out;
    size_t first = cells.size();
    int tail = 0;
    while (first > 0 && tail + cells[first - 1].columns <= room) {
        --first;
        tail += cells[first].columns;
    }
    out += "...";
    for (size_t i = first; i < cells.size(); ++i)
        out += cells[i].bytes;
    return out;
}

int terminalWidth(int fd) {
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (GetConsoleScreenBufferInfo(h, &info) && info.srWindow.Right > info.srWindow.Left)
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize ws{};
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
#endif
    return 80;
}

void writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data.remove_prefix(static_cast<size_t>(n));
    }
}

// One status line on a terminal, redrawn in place.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}

    void show(const ProgressSnapshot& s, bool stopping) {
        if (!enabled_)
            return;
        std::string prefix = std::to_string(s.collected) + " files collected";
        std::string path;
        if (stopping) {
            prefix += ", stopping";
        } else if (s.phase == spHashStart || s.phase == spHashFile) {
            prefix += ", " + std::to_string(s.hashStarted) + " of " + std::to_string(s.hashTotal) +
                      " fingerprinted: ";
            path = s.current;
        } else if (s.phase >= spHashDone && s.phase <= spGroupDone) {
            prefix += ", grouping";
        }
        // One column stays free so that the cursor never wraps to the next line.
        const std::string line = fitLine(prefix, path, terminalWidth(STDERR_FILENO) - 1);
        if (line == shown_)
            return;
        shown_ = line;
        visible_ = true;
        writeAll(STDERR_FILENO, "\r" + line + "\x1b[K");
    }

    void clear() {
        if (enabled_ && visible_)
            writeAll(STDERR_FILENO, "\r\x1b[K");
        visible_ = false;
        shown_.clear();
    }

private:
    bool enabled_;
    bool visible_ = false;
    std::string shown_;
};

// ---- signals ----------------------------------------------------------------------

#if defined(_WIN32)

std::atomic<bool> gInterrupted{false};
std::atomic<bool> gWatching{false};

BOOL WINAPI onConsoleStop(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    // A second stop ends the program at once (the default handler).
    if (!gWatching.load() || gInterrupted.exchange(true))
        return FALSE;
    GetSearchHolper().Stop();
    return TRUE;
}

// The console's stop keys ask the engine to stop; the first one only.
class SignalWatcher {
public:
    SignalWatcher() = default;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool start() {
        gWatching = true;
        return SetConsoleCtrlHandler(onConsoleStop, TRUE) != 0;
    }
    void finish() {
        gWatching = false;
        SetConsoleCtrlHandler(onConsoleStop, FALSE);
    }
    bool interrupted() const { return gInterrupted.load(); }
};

#else

int gSignalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signo) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

void setStopHandlers(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = handler == SIG_DFL ? 0 : SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Reads the signal pipe; a signal byte asks the engine to stop, a 0 byte ends the
// thread.
class SignalWatcher {
public:
    SignalWatcher() = default;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool start() {
        if (::pipe2(gSignalPipe, O_CLOEXEC) != 0)
            return false;
        ::fcntl(gSignalPipe[1], F_SETFL, O_NONBLOCK);
        setStopHandlers(onStopSignal);
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            finish(); // no thread to be had: the handlers and the pipe go again
            return false;
        }
        return true;
    }

    void finish() {
        setStopHandlers(SIG_DFL);
        if (thread_.joinable()) {
            const unsigned char quit = 0;
            while (::write(gSignalPipe[1], &quit, 1) < 0 && errno == EINTR) {
            }
            thread_.join();
        }
        for (int& fd : gSignalPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

    bool interrupted() const { return interrupted_.load(); }

private:
    void run() {
        for (;;) {
            unsigned char byte = 0;
            const ssize_t n = ::read(gSignalPipe[0], &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || byte == 0)
                return;
            if (!interrupted_.exchange(true)) {
                setStopHandlers(SIG_DFL); // a second signal ends the program at once
                GetSearchHolper().Stop();
            }
        }
    }

    std::thread thread_;
    std::atomic<bool> interrupted_{false};
};

#endif

// ---- the command ------------------------------------------------------------------

int runScan(const ScanOptions& options, const std::vector<std::string>& folders,
            const std::vector<std::string>& excludeDirs, const TReferenceFolders& references) {
#if !defined(_WIN32)
    // Threads started from here on (the watcher, the engine's workers) inherit a mask
    // that blocks the stop signals, so only this thread runs the handler.
    sigset_t stopSignals, previousMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask);
#endif

    SignalWatcher watcher;
    if (!watcher.start()) {
#if !defined(_WIN32)
        pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
#endif
        printError("cannot set up signal handling");
        return kExitOutputError;
    }

    ScanReceiver receiver;
    auto& holper = GetSearchHolper();
    const EngineRequest request = engineRequest(options);
    holper.SetFingerprintCache(options.noCache              ? std::string()
                               : !options.cacheFile.empty() ? absoluteFolder(options.cacheFile)
                                                            : FingerprintCache::defaultPath());
    const uint32_t started = holper.FindDuplicateFiles(
        &receiver, request.type, &folders, &options.includes, &excludeDirs, &options.excludes,
        request.beginSize, request.endSize);
#if !defined(_WIN32)
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
#endif
    if (started != 0) {
        watcher.finish();
        printError("a scan is already running");
        return kExitOutputError;
    }

    ProgressLine progress(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    while (!receiver.waitFinished(std::chrono::milliseconds(100)))
        progress.show(receiver.snapshot(), watcher.interrupted());
    progress.clear();
    watcher.finish();
    // The result may be read as soon as code 10 has arrived; the worker's clean-up
    // goes on meanwhile and main() waits for it (FreeSearchHolper).

    if (watcher.interrupted())
        return kExitInterrupted;
    if (holper.StartFailed()) {
        printError("cannot start the scan: the system refused to create its thread");
        return kExitOutputError;
    }

    static const TDuplicateResult kNoGroups;
    const TDuplicateResult* groups = holper.DuplicateResult();
    writeResult(std::cout, groups != nullptr ? *groups : kNoGroups, options, &references);
    std::cout.flush();
    if (!std::cout) {
        printError("cannot write the output");
        return kExitOutputError;
    }
    return kExitOk;
}

int run(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParseResult parsed = parseArguments(args);
    switch (parsed.status) {
    case ParseStatus::Error:
        printError(parsed.error);
        return kExitBadInput;
    case ParseStatus::Help:
        std::cout << usageText();
        std::cout.flush();
        return std::cout ? kExitOk : kExitOutputError;
    case ParseStatus::Version:
        std::cout << kProgramName << ' ' << PELIDOR_VERSION_TEXT << '\n';
        std::cout.flush();
        return std::cout ? kExitOk : kExitOutputError;
    case ParseStatus::Run:
        break;
    }

    const ScanOptions& options = parsed.options;
    const EngineRequest request = engineRequest(options);
    if ((request.type == dtMd5 || request.type == dtMd5Part) && !Md5Available()) {
        printError("MD5 is not available from this system's cryptography library (OpenSSL); "
                   "the content modes cannot run");
        return kExitBadInput;
    }
    std::vector<std::string> folders;
    std::string error;
    if (!resolveFolders(options.folders, folders, error)) {
        printError(error);
        return kExitBadInput;
    }
    std::vector<std::string> excludeDirs;
    for (const auto& dir : options.excludeDirs) {
        excludeDirs.push_back(absoluteFolder(dir));
        if (excludeDirs.back().empty()) {
            printError("cannot make '" + printablePath(dir) + "' absolute");
            return kExitBadInput;
        }
    }
    // Reference folders must exist, as the searched ones must.
    std::vector<std::string> references;
    if (!resolveFolders(options.references, references, error)) {
        printError(error);
        return kExitBadInput;
    }
    return runScan(options, folders, excludeDirs, TReferenceFolders(references));
}

} // namespace

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer builds: the fast exit after a finished scan leaves the worker, which
// only releases memory by then, unjoined on purpose; that is not a leak worth a report.
extern "C" const char* __tsan_default_options() {
    return "report_thread_leaks=0";
}
#endif

#if defined(_WIN32)
// The arguments as UTF-8, read from the UTF-16 command line (argv holds them in the
// ANSI code page, which cannot hold every name).
std::vector<std::string> utf8Arguments() {
    std::vector<std::string> out;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return out;
    for (int i = 0; i < count; ++i)
        out.push_back(platform::win32::toUtf8(wide[i]));
    LocalFree(wide);
    return out;
}
#endif

int main(int argc, char** argv) {
    int status = kExitOutputError;
    try {
#if defined(_WIN32)
        // Output is UTF-8 bytes with "\n" line ends, as on every other system.
        ::_setmode(::_fileno(stdout), _O_BINARY);
        ::_setmode(::_fileno(stderr), _O_BINARY);
        DWORD consoleMode = 0;
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (GetConsoleMode(err, &consoleMode))
            SetConsoleMode(err, consoleMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        std::vector<std::string> args = utf8Arguments();
        std::vector<char*> pointers;
        for (auto& a : args)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);
        if (!args.empty()) {
            argc = static_cast<int>(args.size());
            argv = pointers.data();
        }
#endif
        status = run(argc, argv);
    } catch (const std::exception& e) {
        printError(e.what());
    }
    if (status == kExitOk) {
        // The scan has reported its end and the output is written: the worker only
        // releases memory now, which the end of the process does at once.
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        ::_exit(status);
    }
    pelidor::FreeSearchHolper();
    return status;
}
