// Shared pieces of the engine tests: running one scan to its end, checking the shape
// of a result, and receivers that act at a chosen progress report.
#pragma once

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/uSearchHolper.h"
#include "platform/Paths.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {

using Strings = std::vector<std::string>;
// A group as the paths of its records, in result order.
using Groups = std::vector<Strings>;

// A code and its argument, as the worker reported them.
struct CodeArg {
    int code;
    int64_t arg;
    friend bool operator==(const CodeArg&, const CodeArg&) = default;
};

inline void PrintTo(const CodeArg& c, std::ostream* os) {
    *os << c.code << "(" << c.arg << ")";
}

inline std::vector<CodeArg> codeArgs(const std::vector<ProgressReport>& reports) {
    std::vector<CodeArg> out;
    for (const auto& r : reports)
        out.push_back({r.code, r.arg});
    return out;
}

inline Strings hashedPaths(const std::vector<ProgressReport>& reports) {
    Strings out;
    for (const auto& r : reports)
        if (r.code == spHashFile)
            out.push_back(r.path);
    return out;
}

inline int countCode(const std::vector<ProgressReport>& reports, int code) {
    return static_cast<int>(std::count_if(reports.begin(), reports.end(),
                                          [&](const ProgressReport& r) { return r.code == code; }));
}

// What a scan is asked to do. Lists left unset are passed as null.
struct ScanRequest {
    TDuplicateType mode = dtDataSize;
    Strings paths;
    std::optional<Strings> include = std::nullopt;
    std::optional<Strings> excludePaths = std::nullopt;
    std::optional<Strings> excludeNames = std::nullopt;
    int64_t beginSize = 0;
    int64_t endSize = -1;
    unsigned hashThreads = 1;
    // Compare every grouped record's fingerprint with GetFileMd5 of its file.
    bool verifyDigests = true;
};

inline bool isUpperHex32(const std::string& s) {
    return s.size() == 32 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

// The rules every finished result keeps, whatever the tree: groups of two or more,
// each record in one group at most, marks set, records of a group duplicates under the
// mode, groups in ascending key order and records in the mode's order.
inline void expectWellFormed(const TDuplicateResult& result, TDuplicateType mode,
                             bool verifyDigests) {
    const bool hashed = mode == dtMd5 || mode == dtMd5Part;
    std::set<const TDuplicateFile*> seen;
    const TDuplicateFile* prevFirst = nullptr;
    for (size_t g = 0; g < result.size(); ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        const auto& group = result[g];
        EXPECT_GE(group.size(), 2u);
        if (group.empty())
            continue;
        const TDuplicateFile* first = group.front().get();
        for (size_t i = 0; i < group.size(); ++i) {
            const TDuplicateFile* rec = group[i].get();
            ASSERT_NE(rec, nullptr);
            EXPECT_TRUE(seen.insert(rec).second) << "record in two places: " << rec->FileName;
            EXPECT_TRUE(rec->bDel) << rec->FileName;
            if (hashed) {
                EXPECT_TRUE(isUpperHex32(rec->Md5)) << rec->FileName << " md5 '" << rec->Md5 << "'";
                EXPECT_EQ(rec->Md5, first->Md5) << rec->FileName;
                if (verifyDigests) {
                    EXPECT_EQ(rec->Md5, GetFileMd5(rec->FileName, mode == dtMd5)) << rec->FileName;
                }
            } else {
                EXPECT_TRUE(rec->Md5.empty()) << rec->FileName;
            }
            if (mode != dtMd5) {
                EXPECT_EQ(rec->FileSize, first->FileSize) << rec->FileName;
            }
            if (mode == dtFileName) {
                EXPECT_EQ(CompareFileNames(rec->FileName, first->FileName), 0) << rec->FileName;
            }
            if (i == 0)
                continue;
            const TDuplicateFile* prev = group[i - 1].get();
            if (hashed) {
                EXPECT_LE(EngineCompareText(prev->FileName, rec->FileName), 0)
                    << prev->FileName << " before " << rec->FileName;
            } else {
                EXPECT_TRUE(std::less<const void*>()(prev, rec))
                    << "records of a group not in address order: " << prev->FileName << ", "
                    << rec->FileName;
            }
        }
        if (prevFirst != nullptr) {
            EXPECT_LE(prevFirst->FileSize, first->FileSize) << "groups not ascending by size";
            if (prevFirst->FileSize == first->FileSize) {
                if (mode == dtDataSize) {
                    ADD_FAILURE() << "two dtDataSize groups of one size " << first->FileSize;
                } else if (mode == dtFileName) {
                    EXPECT_LT(CompareFileNames(prevFirst->FileName, first->FileName), 0);
                } else {
                    EXPECT_LT(EngineCompareText(prevFirst->Md5, first->Md5), 0);
                }
            }
        }
        prevFirst = first;
    }
}

inline Groups groupPaths(const TDuplicateResult& result) {
    Groups out;
    for (const auto& group : result) {
        Strings g;
        for (const auto& rec : group)
            g.push_back(rec->FileName);
        out.push_back(std::move(g));
    }
    return out;
}

// Paths below `root` written relative to it, for readable expectations.
inline Groups relative(const Groups& groups, const std::string& root) {
    Groups out = groups;
    const std::string prefix = root + platform::kPathSep;
    for (auto& g : out)
        for (auto& p : g)
            if (p.compare(0, prefix.size(), prefix) == 0) {
                p = p.substr(prefix.size());
                std::replace(p.begin(), p.end(), platform::kPathSep, '/');
            }
    return out;
}

// Groups with each group's paths sorted, and the groups sorted: for comparisons where
// the order is not the point.
inline Groups normalized(Groups groups) {
    for (auto& g : groups)
        std::sort(g.begin(), g.end());
    std::sort(groups.begin(), groups.end());
    return groups;
}

struct ScanOutcome {
    bool finished = false;
    uint32_t startResult = 0;
    std::vector<ProgressReport> reports;
    Groups groups; // full paths, in result order
};

// Starts the scan, waits for code 10 and for the worker, checks the result's shape.
inline ScanOutcome runScan(TSearchHolper& holder, const ScanRequest& req,
                           RecordingReceiver& receiver) {
    ScanOutcome out;
    holder.SetHashThreads(req.hashThreads);
    const auto ptr = [](const std::optional<Strings>& list) {
        return list.has_value() ? &*list : nullptr;
    };
    out.startResult = holder.FindDuplicateFiles(&receiver, req.mode, &req.paths, ptr(req.include),
                                                ptr(req.excludePaths), ptr(req.excludeNames),
                                                req.beginSize, req.endSize);
    EXPECT_EQ(out.startResult, 0u);
    out.finished = receiver.waitFinished();
    EXPECT_TRUE(out.finished) << "no code 10";
    holder.WaitForWorker();
    EXPECT_FALSE(holder.IsSearching());
    out.reports = receiver.reports();
    const TDuplicateResult* result = holder.DuplicateResult();
    EXPECT_NE(result, nullptr);
    if (result != nullptr) {
        expectWellFormed(*result, req.mode, req.verifyDigests);
        out.groups = groupPaths(*result);
    }
    return out;
}

inline ScanOutcome runScan(const ScanRequest& req) {
    TSearchHolper holder;
    RecordingReceiver receiver;
    return runScan(holder, req, receiver);
}

// A receiver that runs an action once, on the n-th report of one code (on the
// worker's thread), after recording it.
class HookReceiver : public RecordingReceiver {
public:
    HookReceiver(int code, int nth, std::function<void(const ProgressReport&)> action)
        : code_(code), nth_(nth), action_(std::move(action)) {}

    void SearchProgress(int code, int64_t arg, std::string path) noexcept override {
        const ProgressReport report{code, arg, path};
        const bool fire = code == code_ && ++seen_ == nth_;
        if (fire && action_)
            action_(report);
        RecordingReceiver::SearchProgress(code, arg, std::move(path));
    }

private:
    int code_;
    int nth_;
    std::atomic<int> seen_{0};
    std::function<void(const ProgressReport&)> action_;
};

// Sets environment variables for the life of the object and restores them after.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second.has_value())
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
        ::tzset();
    }
    void set(const std::string& name, const std::string& value) {
        save(name);
        ::setenv(name.c_str(), value.c_str(), 1);
        ::tzset();
    }
    void unset(const std::string& name) {
        save(name);
        ::unsetenv(name.c_str());
    }

private:
    void save(const std::string& name) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace pelidor::test
