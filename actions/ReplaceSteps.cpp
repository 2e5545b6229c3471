#include "actions/ReplaceSteps.h"

#include "actions/FileCheck.h"
#include "engine/uSearchHolper.h"
#include "platform/Replace.h"

#include <cerrno>

namespace pelidor {
namespace {

bool isRecorded(const platform::FileStatus& s, const TDuplicateFile& r) {
    return s.kind == platform::EntryKind::Regular && s.device == r.Device && s.inode == r.Inode &&
           s.size == r.FileSize && s.mtimeSec == r.MTimeSec && s.mtimeNsec == r.MTimeNsec;
}

TActionProblem problemOfCheck(TFileCheck check) {
    switch (check) {
    case TFileCheck::Changed:
        return TActionProblem::Changed;
    case TFileCheck::ReplacedByLink:
        return TActionProblem::ReplacedByLink;
    case TFileCheck::Missing:
    case TFileCheck::Failed:
        return TActionProblem::SystemError;
    case TFileCheck::Unchanged:
        break;
    }
    return TActionProblem::None;
}

} // namespace

TReplaceResult ReplaceRecordedFile(const TDuplicateFile& Record, TReplaceKind Kind,
                                   const std::vector<const TDuplicateFile*>& Staying,
                                   const TProofTick& Tick) {
    TReplaceResult result;
    const auto fail = [&result](TActionProblem problem, int error = 0) {
        result.ok = false;
        result.problem = problem;
        result.error = problem == TActionProblem::SystemError && error == 0 ? EIO : error;
        return result;
    };

    int error = 0;
    if (const TFileCheck check = CheckFileUnchanged(Record, error); check != TFileCheck::Unchanged)
        return fail(problemOfCheck(check), error);

    // The copies on the file's own file system are tried first. A hard link cannot
    // cross file systems; a clone sometimes can (two subvolumes of one Btrfs volume
    // report different devices), so the others follow for it.
    std::vector<const TDuplicateFile*> candidates;
    bool anyOther = false;
    for (const TDuplicateFile* copy : Staying) {
        if (copy == nullptr || copy == &Record || copy->FileName == Record.FileName)
            continue;
        if (copy->Device == Record.Device)
            candidates.push_back(copy);
        else
            anyOther = true;
    }
    if (Kind == TReplaceKind::Clone)
        for (const TDuplicateFile* copy : Staying)
            if (copy != nullptr && copy != &Record && copy->FileName != Record.FileName &&
                copy->Device != Record.Device)
                candidates.push_back(copy);
    if (candidates.empty())
        return fail(anyOther ? TActionProblem::OtherFileSystem : TActionProblem::NoStayingCopy);

    const TProofResult proof = ProveByStayingCopy(Record, candidates, Tick);
    if (const TActionProblem problem = ProofProblem(proof); problem != TActionProblem::None)
        return fail(problem, proof.error);
    const TDuplicateFile& copy = *proof.copy;
    result.copy = &copy;

    if (Kind == TReplaceKind::HardLink && copy.Device == Record.Device &&
        copy.Inode == Record.Inode) {
        // Two entries of one file already: the path shares the copy's bytes.
        result.ok = true;
        result.alreadyShared = true;
        return result;
    }

    // Made under a temporary name beside the file; whatever goes wrong from here on,
    // the temporary file goes again and the file stays as it is.
    platform::StagedFile staged;
    if (Kind == TReplaceKind::HardLink) {
        staged = platform::StagedFile::hardLink(copy.FileName, Record.FileName, &error);
        if (!staged.valid())
            return fail(error == EXDEV ? TActionProblem::OtherFileSystem
                                       : TActionProblem::SystemError,
                        error);
        // The link must be the copy that was proven, not a file put at its path since.
        platform::FileStatus linked;
        if (!staged.status(linked, &error)) {
            result.leftOver = staged.discard() ? std::string() : staged.path();
            return fail(TActionProblem::SystemError, error);
        }
        if (!isRecorded(linked, copy)) {
            result.leftOver = staged.discard() ? std::string() : staged.path();
            return fail(TActionProblem::NoStayingCopy);
        }
    } else {
        platform::FileStatus before, after;
        staged = platform::StagedFile::clone(copy.FileName, Record.FileName, before, after, &error);
        if (!staged.valid()) {
            if (error == EXDEV)
                return fail(TActionProblem::OtherFileSystem, error);
            if (error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL || error == ENOTTY ||
                error == ENOSYS)
                return fail(TActionProblem::NoClones, error);
            return fail(TActionProblem::SystemError, error);
        }
        // The clone holds the proven bytes only when the copy stayed the recorded file
        // from before the clone until after it.
        if (!isRecorded(before, copy) || !isRecorded(after, copy)) {
            result.leftOver = staged.discard() ? std::string() : staged.path();
            return fail(TActionProblem::NoStayingCopy);
        }
        // The clone keeps the file's own permissions, owner, attributes and times.
        platform::FileStatus original;
        if (!staged.copyMetadata(Record.FileName, original, &error)) {
            result.leftOver = staged.discard() ? std::string() : staged.path();
            return fail(TActionProblem::SystemError, error);
        }
        if (!isRecorded(original, Record)) {
            result.leftOver = staged.discard() ? std::string() : staged.path();
            return fail(TActionProblem::Changed);
        }
    }

    // The last look before the rename: the moment between the two is as short as it can
    // be (a file replaced just then is not caught, as with the removal).
    if (const TFileCheck check = CheckFileUnchanged(Record, error);
        check != TFileCheck::Unchanged) {
        result.leftOver = staged.discard() ? std::string() : staged.path();
        return fail(problemOfCheck(check), error);
    }
    uint64_t links = 0;
    if (!staged.renameOver(Record.FileName, &links, &error)) {
        const int renameError = error;
        result.leftOver = staged.discard() ? std::string() : staged.path();
        return fail(TActionProblem::SystemError, renameError);
    }
    result.ok = true;
    result.problem = TActionProblem::None;
    result.freedBytes = links == 1 ? Record.FileSize : 0;
    return result;
}

} // namespace pelidor
