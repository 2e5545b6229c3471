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
#include <system_error>
#include <thread>

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

// Key comparisons without side effects: the part of a comparator before the marks
// are cleared.
int keyByName(const TDuplicateFile& a, const TDuplicateFile& b) {
    const int c = compareSizes(a, b);
    return c != 0 ? c : CompareFileNames(a.FileName, b.FileName);
}

int keyByHash(const TDuplicateFile& a, const TDuplicateFile& b) {
    const int c = compareSizes(a, b);
    return c != 0 ? c : EngineCompareText(a.Md5, b.Md5);
}

using RecordList = std::vector<std::unique_ptr<TDuplicateFile>>;

// Sorts by key, then by the comparator's tie order (the whole path for the hash key,
// the address otherwise), and clears the marks of records that share their key.
// The sort runs over a compact array of keys rather than through the record
// pointers, so that most comparisons touch only contiguous memory.
enum class SortKind { Size, Name, Hash };

struct SortEntry {
    int64_t size;
    uint64_t prefix; // the first 8 bytes of `text`, folded, big-endian: orders like the text
    const TDuplicateFile* record;
    std::string_view text; // the file name part (Name) or the fingerprint (Hash)
    uint32_t index;
};

uint64_t foldedPrefix(std::string_view text) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) {
        unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        v = (v << 8) | c;
    }
    return v;
}

void sortRecords(RecordList& list, SortKind kind, bool twoThreads) {
    std::vector<SortEntry> keys(list.size());
    auto less = [kind](const SortEntry& a, const SortEntry& b) {
        if (a.size != b.size)
            return a.size < b.size;
        if (kind != SortKind::Size) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            const int c = EngineCompareText(a.text, b.text);
            if (c != 0)
                return c < 0;
        }
        if (kind == SortKind::Hash) {
            const int p = EngineCompareText(a.record->FileName, b.record->FileName);
            if (p != 0)
                return p < 0;
        }
        return std::less<const TDuplicateFile*>{}(a.record, b.record);
    };
    // Builds and sorts the keys of records [from, to).
    auto sortPart = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const TDuplicateFile& r = *list[i];
            std::string_view text;
            if (kind == SortKind::Name)
                text = platform::fileNamePart(r.FileName);
            else if (kind == SortKind::Hash)
                text = r.Md5;
            keys[i] = {r.FileSize, foldedPrefix(text), &r, text, static_cast<uint32_t>(i)};
        }
        std::sort(keys.begin() + static_cast<long>(from), keys.begin() + static_cast<long>(to),
                  less);
    };
    // Large lists: each half on its own thread, then one merge. The order is total, so
    // the outcome is the same as one sort.
    const size_t half = list.size() / 2;
    // A second thread the system refuses to create leaves the whole sort to this one.
    std::thread other;
    if (twoThreads && list.size() >= 20000) {
        try {
            other = std::thread(sortPart, half, list.size());
        } catch (const std::system_error&) {
        }
    }
    if (other.joinable()) {
        sortPart(0, half);
        other.join();
        std::inplace_merge(keys.begin(), keys.begin() + static_cast<long>(half), keys.end(), less);
    } else {
        sortPart(0, list.size());
    }
    RecordList sorted;
    sorted.reserve(list.size());
    for (const auto& k : keys)
        sorted.push_back(std::move(list[k.index]));
    list = std::move(sorted);
}

// Clears the marks of neighbours that share the key; in a list sorted by that key (or by
// a finer order that keeps equal keys together) these are all records sharing it.
template <typename SameKey>
void markNeighbours(RecordList& list, SameKey sameKey) {
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (sameKey(*list[i], *list[i + 1]))
            clearMarks(*list[i], *list[i + 1]);
}

bool sameSize(const TDuplicateFile& a, const TDuplicateFile& b) {
    return a.FileSize == b.FileSize;
}

// Drops every record for which `goes` is true and sets the mark again on the records
// that stay, keeping their order. Dropped records move to `dropped`, released when the
// run has ended, so that freeing them does not delay the result.
template <typename Pred>
void prune(RecordList& list, RecordList& dropped, Pred goes) {
    size_t out = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (goes(*list[i])) {
            dropped.push_back(std::move(list[i]));
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
    // The modes that group by size, or by size and name, sort here by their grouping key
    // at once: it orders by size first, so the size runs are the same, and the grouping
    // pass need not sort again. The outcome is that of sorting twice.
    const bool sortByModeKey = FdtMode == dtFileName || FdtMode == dtDataSize;
    sortRecords(FFileList, FdtMode == dtFileName ? SortKind::Name : SortKind::Size,
                FHashThreadCount > 1);
    FSortedByModeKey = sortByModeKey;
    if (StopRequested())
        return false;
    markNeighbours(FFileList, sameSize);
    prune(FFileList, FDropped, [](const TDuplicateFile& r) { return r.bDel; });
    Post(spSizePass, static_cast<int64_t>(FFileList.size()));
    return true;
}

void TDuplicateFileThread::GroupDuplicates() {
    Post(spGroupStart, 0);
    const bool byHash = FdtMode == dtMd5 || FdtMode == dtMd5Part;
    if (!FSortedByModeKey)
        sortRecords(FFileList,
                    FdtMode == dtFileName ? SortKind::Name
                    : byHash              ? SortKind::Hash
                                          : SortKind::Size,
                    FHashThreadCount > 1);
    // The file name parts, found once (the name mode compares them twice per pair).
    std::vector<std::string_view> names;
    if (FdtMode == dtFileName) {
        names.reserve(FFileList.size());
        for (const auto& r : FFileList)
            names.push_back(platform::fileNamePart(r->FileName));
    }
    // Equal on the mode's key (for the hash modes: size and fingerprint).
    auto sameKey = [&](size_t a, size_t b) {
        const TDuplicateFile& x = *FFileList[a];
        const TDuplicateFile& y = *FFileList[b];
        if (FdtMode == dtFileName)
            return x.FileSize == y.FileSize && EngineCompareText(names[a], names[b]) == 0;
        if (byHash)
            return x.FileSize == y.FileSize && EngineCompareText(x.Md5, y.Md5) == 0;
        return x.FileSize == y.FileSize;
    };
    for (size_t i = 0; i + 1 < FFileList.size(); ++i)
        if (sameKey(i, i + 1))
            clearMarks(*FFileList[i], *FFileList[i + 1]);
    // Drop what joined nothing (and, in the hash modes, what has no fingerprint), keeping
    // the name parts in step.
    size_t kept = 0;
    for (size_t i = 0; i < FFileList.size(); ++i) {
        TDuplicateFile& r = *FFileList[i];
        if (r.bDel || (byHash && r.Md5.empty())) {
            FDropped.push_back(std::move(FFileList[i]));
            continue;
        }
        r.bDel = true;
        if (kept != i) {
            FFileList[kept] = std::move(FFileList[i]);
            if (!names.empty())
                names[kept] = names[i];
        }
        ++kept;
    }
    FFileList.resize(kept);
    if (!names.empty())
        names.resize(kept);

    auto equalByMode = [&](size_t a, size_t b) {
        const TDuplicateFile& x = *FFileList[a];
        const TDuplicateFile& y = *FFileList[b];
        switch (FdtMode) {
        case dtFileName:
            return x.FileSize == y.FileSize && EngineCompareText(names[a], names[b]) == 0;
        case dtDataSize:
            return x.FileSize == y.FileSize;
        case dtMd5:
            return EngineCompareText(x.Md5, y.Md5) == 0;
        case dtMd5Part:
            return x.FileSize == y.FileSize && EngineCompareText(x.Md5, y.Md5) == 0;
        }
        return false;
    };

    // Cut runs of equal records into groups; the records move into the result, and the
    // working list keeps whatever joined no group.
    RecordList left;
    size_t i = 0;
    while (i < FFileList.size()) {
        size_t end = i + 1;
        while (end < FFileList.size() && equalByMode(i, end))
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
