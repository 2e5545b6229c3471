#include "actions/ContentProof.h"

#include "actions/FileCheck.h"
#include "engine/uSearchHolper.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace pelidor {
namespace {

constexpr size_t kBlock = 256 * 1024;

bool isRecorded(const platform::FileStatus& s, const TDuplicateFile& r) {
    return s.kind == platform::EntryKind::Regular && s.device == r.Device && s.inode == r.Inode &&
           s.size == r.FileSize && s.mtimeSec == r.MTimeSec && s.mtimeNsec == r.MTimeNsec;
}

// The folder part of a path, with its separator ("/a/b/x" -> "/a/b/").
std::string folderOf(const std::string& path) {
    const std::string_view name = platform::fileNamePart(path);
    return path.substr(0, path.size() - name.size());
}

// Two paths of one inode: hard links (two entries) or one entry reached twice (a bind
// mount or a linked folder). One entry has one folder and one name.
bool sameEntry(const std::string& a, const std::string& b) {
    if (platform::fileNamePart(a) != platform::fileNamePart(b))
        return false;
    platform::FileStatus fa, fb;
    if (!platform::statPath(folderOf(a) + ".", fa) || !platform::statPath(folderOf(b) + ".", fb))
        return true; // cannot tell: never take it for a copy
    return fa.device == fb.device && fa.inode == fb.inode;
}

} // namespace

TCompareResult CompareRecordedFiles(const TDuplicateFile& A, const TDuplicateFile& B, int& Error,
                                    bool& FirstFailed, const TProofTick& Tick) {
    Error = 0;
    FirstFailed = true;
    int error = 0;
    const platform::ReadFile fa = platform::ReadFile::openShared(A.FileName, &error);
    if (!fa.valid()) {
        Error = error != 0 ? error : EIO;
        return TCompareResult::Failed;
    }
    if (!isRecorded(fa.openStatus(), A))
        return TCompareResult::Changed;
    FirstFailed = false;
    const platform::ReadFile fb = platform::ReadFile::openShared(B.FileName, &error);
    if (!fb.valid()) {
        Error = error != 0 ? error : EIO;
        return TCompareResult::Failed;
    }
    if (!isRecorded(fb.openStatus(), B))
        return TCompareResult::Changed;

    if (A.Device == B.Device && A.Inode == B.Inode)
        return sameEntry(A.FileName, B.FileName) ? TCompareResult::SameEntry
                                                 : TCompareResult::Equal;
    if (A.FileSize != B.FileSize)
        return TCompareResult::Differ;

    fa.adviseSequential();
    fb.adviseSequential();
    const std::unique_ptr<char[]> bufA(new char[kBlock]);
    const std::unique_ptr<char[]> bufB(new char[kBlock]);
    int64_t left = A.FileSize;
    for (;;) {
        const int64_t ra = fa.read(bufA.get(), kBlock);
        if (ra < 0) {
            FirstFailed = true;
            Error = errno != 0 ? errno : EIO;
            return TCompareResult::Failed;
        }
        const int64_t rb = fb.read(bufB.get(), kBlock);
        if (rb < 0) {
            Error = errno != 0 ? errno : EIO;
            return TCompareResult::Failed;
        }
        // A file that grew or shrank while it was read is not the recorded one.
        if (ra != rb || ra > left) {
            FirstFailed = ra > left || ra < rb;
            return TCompareResult::Changed;
        }
        if (std::memcmp(bufA.get(), bufB.get(), size_t(ra)) != 0)
            return TCompareResult::Differ;
        left -= ra;
        if (ra < int64_t(kBlock))
            break;
        if (Tick)
            Tick();
    }
    if (left != 0) {
        FirstFailed = true;
        return TCompareResult::Changed;
    }
    // A write during the comparison shows in the times.
    platform::FileStatus na, nb;
    if (!fa.status(na) || !isRecorded(na, A)) {
        FirstFailed = true;
        return TCompareResult::Changed;
    }
    if (!fb.status(nb) || !isRecorded(nb, B))
        return TCompareResult::Changed;
    return TCompareResult::Equal;
}

TProofResult ProveByStayingCopy(const TDuplicateFile& Ticked,
                                const std::vector<const TDuplicateFile*>& Staying,
                                const TProofTick& Tick) {
    TProofResult result;
    bool anyDiffer = false;
    for (const TDuplicateFile* copy : Staying) {
        if (copy == nullptr || copy == &Ticked || copy->FileName == Ticked.FileName)
            continue;
        int error = 0;
        if (CheckFileUnchanged(*copy, error) != TFileCheck::Unchanged)
            continue;
        bool firstFailed = false;
        switch (CompareRecordedFiles(Ticked, *copy, error, firstFailed, Tick)) {
        case TCompareResult::Equal:
            result.proof = TProof::Proven;
            result.copy = copy;
            return result;
        case TCompareResult::Differ:
            anyDiffer = true;
            break;
        case TCompareResult::SameEntry:
            break;
        case TCompareResult::Changed:
            if (firstFailed) {
                result.proof = TProof::Changed;
                return result;
            }
            break;
        case TCompareResult::Failed:
            if (firstFailed) {
                result.proof = TProof::Unreadable;
                result.error = error;
                return result;
            }
            break;
        }
    }
    result.proof = anyDiffer ? TProof::CopiesDiffer : TProof::NoStayingCopy;
    return result;
}

} // namespace pelidor
