// A progress receiver that records every report, for tests of the engine's protocol.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/uSearchHolper.h"

namespace pelidor::test {

struct ProgressReport {
    int code = 0;
    int64_t arg = 0;
    std::string path;
};

class RecordingReceiver : public TSearchProgressReceiver {
public:
    void SearchProgress(int code, int64_t arg, std::string path) noexcept override {
        std::lock_guard lock(mutex_);
        reports_.push_back({code, arg, std::move(path)});
        if (code == spFinished)
            finished_.notify_all();
    }

    // Waits for code 10; false after the timeout.
    bool waitFinished(std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return finished_.wait_for(
            lock, timeout, [&] { return !reports_.empty() && reports_.back().code == spFinished; });
    }

    std::vector<ProgressReport> reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }

    // The codes in order, e.g. {9, 1, 8, 2, 6, 7, 10}.
    std::vector<int> codes() const {
        std::lock_guard lock(mutex_);
        std::vector<int> out;
        for (const auto& r : reports_)
            out.push_back(r.code);
        return out;
    }

    void clear() {
        std::lock_guard lock(mutex_);
        reports_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<ProgressReport> reports_;
};

} // namespace pelidor::test
