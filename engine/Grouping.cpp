// The size pre-pass and the grouping pass.
//
// Both sort the working list by a key and drop every record that no other record
// matches on that key. The comparators below clear the marks of equal records, as a
// sort that calls them would; the passes themselves sort with the same order and then
// clear the marks in one sweep over neighbours, which gives the same marks for any
// correct sort (equal keys end up next to each other).
#include "engine/uSearchHolper.h"

#include <algorithm>
#include <functional>

namespace pelidor {
namespace {

int compareAddresses(const TDuplicateFile& a, const TDuplicateFile& b) {
    if (&a == &b)
        return 0;
    return std::less<const TDuplicateFile*>{}(&a, &b) ? -1 : 1;
}

int compareSizes(const TDuplicateFile& a, const TDuplicateFile& b) {
    if (a.FileSize > b.FileSize)
        return 1;
    if (a.FileSize < b.FileSize)
        return -1;
    return 0;
}

void clearMarks(TDuplicateFile& a, TDuplicateFile& b) {
    if (&a != &b) {
        a.bDel = false;
        b.bDel = false;
    }
}

// Key comparisons without side effects: the part of each comparator before the marks
// are cleared.
int keyBySize(const TDuplicateFile& a, const TDuplicateFile& b) {
    return compareSizes(a, b);
}

int keyByName(const TDuplicateFile& a, const TDuplicateFile& b) {
    const int c = compareSizes(a, b);
    return c != 0 ? c : CompareFileNames(a.FileName, b.FileName);
}

int keyByHash(const TDuplicateFile& a, const TDuplicateFile& b) {
    const int c = compareSizes(a, b);
    return c != 0 ? c : EngineCompareText(a.Md5, b.Md5);
}

using KeyCompare = int (*)(const TDuplicateFile&, const TDuplicateFile&);
using RecordList = std::vector<std::unique_ptr<TDuplicateFile>>;

// Sorts by key, then by the comparator's tie order (the whole path for the hash key,
// the address otherwise), and clears the marks of records that share their key.
void sortAndMark(RecordList& list, KeyCompare key, bool tieByPath) {
    std::sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
        const int c = key(*a, *b);
        if (c != 0)
            return c < 0;
        if (tieByPath) {
            const int p = EngineCompareText(a->FileName, b->FileName);
            if (p != 0)
                return p < 0;
        }
        return compareAddresses(*a, *b) < 0;
    });
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (key(*list[i], *list[i + 1]) == 0)
            clearMarks(*list[i], *list[i + 1]);
}

// Drops (and releases) every record for which `goes` is true and sets the mark again
// on the records that stay, keeping their order.
template <typename Pred>
void prune(RecordList& list, Pred goes) {
    size_t out = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (goes(*list[i])) {
            list[i].reset();
            continue;
        }
        list[i]->bDel = true;
        if (out != i)
            list[out] = std::move(list[i]);
        ++out;
    }
    list.resize(out);
}

} // namespace

int CompareBySize(TDuplicateFile& A, TDuplicateFile& B) {
    const int c = compareSizes(A, B);
    if (c != 0)
        return c;
    clearMarks(A, B);
    return compareAddresses(A, B);
}

int CompareByName(TDuplicateFile& A, TDuplicateFile& B) {
    const int c = keyByName(A, B);
    if (c != 0)
        return c;
    clearMarks(A, B);
    return compareAddresses(A, B);
}

int CompareByHash(TDuplicateFile& A, TDuplicateFile& B) {
    const int c = keyByHash(A, B);
    if (c != 0)
        return c;
    clearMarks(A, B);
    return EngineCompareText(A.FileName, B.FileName);
}

bool TDuplicateFileThread::SizePrePass() {
    if (StopRequested())
        return false;
    sortAndMark(FFileList, keyBySize, false);
    if (StopRequested())
        return false;
    prune(FFileList, [](const TDuplicateFile& r) { return r.bDel; });
    Post(spSizePass, static_cast<int64_t>(FFileList.size()));
    return true;
}

void TDuplicateFileThread::GroupDuplicates() {
    Post(spGroupStart, 0);
    const bool byHash = FdtMode == dtMd5 || FdtMode == dtMd5Part;
    KeyCompare key = FdtMode == dtFileName ? keyByName : byHash ? keyByHash : keyBySize;
    sortAndMark(FFileList, key, byHash);
    prune(FFileList,
          [byHash](const TDuplicateFile& r) { return r.bDel || (byHash && r.Md5.empty()); });

    auto equalByMode = [&](const TDuplicateFile& a, const TDuplicateFile& b) {
        switch (FdtMode) {
        case dtFileName:
            return a.FileSize == b.FileSize && CompareFileNames(a.FileName, b.FileName) == 0;
        case dtDataSize:
            return a.FileSize == b.FileSize;
        case dtMd5:
            return EngineCompareText(a.Md5, b.Md5) == 0;
        case dtMd5Part:
            return a.FileSize == b.FileSize && EngineCompareText(a.Md5, b.Md5) == 0;
        }
        return false;
    };

    // Cut runs of equal records into groups; the records move into the result, and the
    // working list keeps whatever joined no group.
    RecordList left;
    size_t i = 0;
    while (i < FFileList.size()) {
        size_t end = i + 1;
        while (end < FFileList.size() && equalByMode(*FFileList[i], *FFileList[end]))
            ++end;
        if (end - i >= 2) {
            TDuplicateGroup group;
            group.reserve(end - i);
            for (size_t k = i; k < end; ++k)
                group.push_back(std::move(FFileList[k]));
            FDuplicateResult->push_back(std::move(group));
        } else {
            left.push_back(std::move(FFileList[i]));
        }
        i = end;
    }
    FFileList = std::move(left);
    // Each group's first record counts as still in the working list.
    Post(spGroupDone, static_cast<int64_t>(FDuplicateResult->size() + FFileList.size()));
}

} // namespace pelidor
