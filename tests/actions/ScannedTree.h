// A real scan of a temporary tree for the file actions' tests: the result is kept, and
// records are found by their path relative to the tree.
#pragma once

#include "engine/uSearchHolper.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelidor::test {

// A scan of the tree in one mode, its result kept; records found by their path.
class Scanned {
public:
    Scanned(const test::TempTree& tree, TDuplicateType mode, std::vector<std::string> paths = {}) {
        test::ScanRequest req;
        req.mode = mode;
        req.paths = paths.empty() ? std::vector<std::string>{tree.root()} : paths;
        req.beginSize = mode == dtDataSize ? 0 : 1;
        test::RecordingReceiver receiver;
        const test::ScanOutcome out = test::runScan(holder_, req, receiver);
        EXPECT_TRUE(out.finished);
        root_ = tree.root() + "/";
    }
    const TDuplicateResult& groups() const { return *holder_.DuplicateResult(); }
    // The record of a file (relative path), or null.
    const TDuplicateFile* file(const std::string& relative) const {
        for (const TDuplicateGroup& g : groups())
            for (const auto& r : g)
                if (r->FileName == root_ + relative)
                    return r.get();
        return nullptr;
    }
    bool sameGroup(const std::string& a, const std::string& b) const {
        for (const TDuplicateGroup& g : groups()) {
            bool hasA = false, hasB = false;
            for (const auto& r : g) {
                hasA |= r->FileName == root_ + a;
                hasB |= r->FileName == root_ + b;
            }
            if (hasA && hasB)
                return true;
        }
        return false;
    }

private:
    TSearchHolper holder_;
    std::string root_;
};

} // namespace pelidor::test
