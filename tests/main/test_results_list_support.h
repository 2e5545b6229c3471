// Records for the results list tests: duplicate groups made in memory, owned by the
// fixture like the search controller owns a scan's result.
#pragma once

#include "engine/uSearchHolper.h"
#include "ui/main/ResultsList.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace pelidor::test {

inline constexpr uint32_t kColor1 = 15461355; // the default band colours
inline constexpr uint32_t kColor2 = 16711422;

// One file of a group: its path and times (days since 1899-12-30).
struct FileSpec {
    std::string name;
    double created = 45000.5;
    double modified = 45000.5;
    int64_t size = 1000;
};

class ResultsFixture {
public:
    // Groups of the given sizes, with paths /data/g<group>/f<file>.txt.
    TDuplicateResult& groupsOfSizes(std::initializer_list<int> sizes) {
        for (const int n : sizes) {
            TDuplicateGroup group;
            for (int i = 0; i < n; ++i)
                group.push_back(make({"/data/g" + std::to_string(result.size()) + "/f" +
                                      std::to_string(i) + ".txt"}));
            result.push_back(std::move(group));
        }
        return result;
    }

    // One group of the given files.
    TDuplicateGroup& group(std::initializer_list<FileSpec> files) {
        TDuplicateGroup g;
        for (const FileSpec& f : files)
            g.push_back(make(f));
        result.push_back(std::move(g));
        return result.back();
    }

    // Loads every group into the model, as the window does after a scan.
    int load(TResultsModel& model, uint32_t color1 = kColor1, uint32_t color2 = kColor2) {
        return AppendResultGroups(model, result, count, color1, color2);
    }

    static std::unique_ptr<TDuplicateFile> make(const FileSpec& f) {
        auto file = std::make_unique<TDuplicateFile>();
        file->FileName = f.name.empty() ? std::string("/data/file.bin") : f.name;
        file->CreateTime = f.created;
        file->LastTime = f.modified;
        file->FileSize = f.size;
        return file;
    }

    TDuplicateResult result;
    int32_t count = 0; // the window's group count (FCount)
};

// The marks of all rows as a string: 'x' ticked, '.' unticked.
inline std::string marks(const TResultsModel& model) {
    std::string s;
    for (int i = 0; i < model.RowCount(); ++i)
        s += model.IsChecked(i) ? 'x' : '.';
    return s;
}

// Sets the marks from a string of 'x' and '.'.
inline void setMarks(TResultsModel& model, const std::string& s) {
    for (int i = 0; i < int(s.size()) && i < model.RowCount(); ++i)
        model.SetChecked(i, s[size_t(i)] == 'x');
}

// The bracket kinds of all rows: 'F' first, 'M' middle, 'L' last, '-' none.
inline std::string brackets(const TResultsModel& model) {
    std::string s;
    for (int i = 0; i < model.RowCount(); ++i) {
        switch (model.Bracket(i)) {
        case BracketKind::First:
            s += 'F';
            break;
        case BracketKind::Middle:
            s += 'M';
            break;
        case BracketKind::Last:
            s += 'L';
            break;
        case BracketKind::None:
            s += '-';
            break;
        }
    }
    return s;
}

} // namespace pelidor::test
