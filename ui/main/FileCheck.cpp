#include "ui/main/FileCheck.h"

#include "config/uLanguage.h"

namespace pelidor {
namespace {

QString messageText(const char* Key, const char* English) {
    return QString::fromStdString(ReadLangString("Message", Key, English));
}

} // namespace

QString FileCheckReason(TFileCheck Check) {
    switch (Check) {
    case TFileCheck::Changed:
        return ActionProblemReason(TActionProblem::Changed);
    case TFileCheck::ReplacedByLink:
        return ActionProblemReason(TActionProblem::ReplacedByLink);
    case TFileCheck::Unchanged:
    case TFileCheck::Missing:
    case TFileCheck::Failed:
        break;
    }
    return {};
}

QString ActionProblemReason(TActionProblem Problem) {
    switch (Problem) {
    case TActionProblem::Changed:
        return messageText("FileChangedSinceSearch", "The file has changed since the search");
    case TActionProblem::ReplacedByLink:
        return messageText("FileReplacedByLink", "The file was replaced by a link");
    case TActionProblem::CopiesDiffer:
        return messageText("ProofCopiesDiffer",
                           "Its content differs from every copy that stays, so it is not a "
                           "duplicate");
    case TActionProblem::NoStayingCopy:
        return messageText("ProofNoCopyLeft",
                           "No copy that stays is unchanged since the search, so nothing "
                           "proves that it is a duplicate");
    case TActionProblem::OtherFileSystem:
        return messageText("ReplaceOtherFileSystem",
                           "No copy that stays is on the same file system");
    case TActionProblem::NoClones:
        return messageText("ReplaceNoClones", "This file system cannot clone files");
    case TActionProblem::InReference:
        return messageText("ReferenceNeverActedOn",
                           "It lies in a reference folder, whose files are never changed");
    case TActionProblem::None:
    case TActionProblem::SystemError:
        break;
    }
    return {};
}

} // namespace pelidor
