#include "actions/FileSteps.h"

#include "actions/FileCheck.h"
#include "engine/uSearchHolper.h"
#include "platform/FileOps.h"
#include "platform/Trash.h"

#include <cerrno>

namespace pelidor {

bool RecycleFileStep(const std::string& Path, int& Error) {
    Error = 0;
    errno = 0;
    if (!platform::pathExists(Path)) {
        Error = errno != 0 ? errno : ENOENT;
        return false;
    }
    platform::addOwnerWrite(Path);
    errno = 0;
    if (platform::isFileLocked(Path)) {
        Error = errno != 0 ? errno : EBUSY;
        return false;
    }
    return platform::moveToTrash(Path, nullptr, &Error);
}

bool DeleteFileStep(const std::string& Path, int& Error, bool* WasGone) {
    Error = 0;
    if (WasGone != nullptr)
        *WasGone = false;
    platform::addOwnerWrite(Path);
    int code = 0;
    if (platform::removeFile(Path, &code))
        return true;
    if (code == ENOENT || code == ENOTDIR) {
        if (WasGone != nullptr)
            *WasGone = true;
        return true;
    }
    Error = code != 0 ? code : EIO;
    return false;
}

TActionProblem ProofProblem(const TProofResult& Proof) {
    switch (Proof.proof) {
    case TProof::Proven:
        return TActionProblem::None;
    case TProof::CopiesDiffer:
        return TActionProblem::CopiesDiffer;
    case TProof::NoStayingCopy:
        return TActionProblem::NoStayingCopy;
    case TProof::Unreadable:
        return TActionProblem::SystemError;
    case TProof::Changed:
        return TActionProblem::Changed;
    }
    return TActionProblem::SystemError;
}

TActionResult RemoveRecordedFile(const TDuplicateFile& Record, bool ToTrash,
                                 const std::vector<const TDuplicateFile*>* Staying,
                                 const TProofTick& Tick) {
    TActionResult result;
    const auto fail = [&result](TActionProblem problem, int error = 0) {
        result.ok = false;
        result.problem = problem;
        result.error = error;
        return result;
    };
    // The check and the removal are two steps: a file replaced in the moment between
    // them is not caught. That moment is kept as short as it can be. The removal never
    // follows a link at the path (unlink, and a rename into the trash, act on the link).
    int error = 0;
    const TFileCheck check = CheckFileUnchanged(Record, error);
    switch (check) {
    case TFileCheck::Changed:
        return fail(TActionProblem::Changed);
    case TFileCheck::ReplacedByLink:
        return fail(TActionProblem::ReplacedByLink);
    case TFileCheck::Failed:
        return fail(TActionProblem::SystemError, error);
    case TFileCheck::Missing:
        // Nothing left to prove: the trash step reports the missing file, the
        // deletion for good counts it as done.
        break;
    case TFileCheck::Unchanged:
        if (Staying != nullptr) {
            const TProofResult proof = ProveByStayingCopy(Record, *Staying, Tick);
            if (const TActionProblem problem = ProofProblem(proof); problem != TActionProblem::None)
                return fail(problem, proof.error);
        }
        break;
    }
    if (ToTrash) {
        if (!RecycleFileStep(Record.FileName, error))
            return fail(TActionProblem::SystemError, error);
    } else if (!DeleteFileStep(Record.FileName, error, &result.wasGone)) {
        return fail(TActionProblem::SystemError, error);
    }
    result.ok = true;
    result.problem = TActionProblem::None;
    return result;
}

} // namespace pelidor
