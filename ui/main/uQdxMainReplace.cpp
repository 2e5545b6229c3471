// Replacing ticked files by hard links to, or clones of, a copy of their group that
// stays (the button beside btnDel with its menu, and two entries of the row menu), and
// the reference folders' part of the window: the rows inside them are marked and never
// ticked, Keep One keeps them, and no command acts on them. The steps that act on the
// files are those of actions/; the window only asks, shows and reports.
#include "ui/main/uQdxMain.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "shell/SharedHelpersGui.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/main/FileCheck.h"
#include "ui/main/ResultsList.h"

namespace pelidor {
namespace {

QString langText(const char* Section, const char* Key, const char* English) {
    return QString::fromStdString(ReadLangString(Section, Key, English));
}

// A "Message" text with one integer, the English text when the pack's does not take one.
// With `EnglishOne`, a count the language says in the singular takes the text of the key
// followed by "One".
QString countText(const char* Key, const char* English, int64_t Count,
                  const char* EnglishOne = nullptr) {
    std::string singular;
    if (EnglishOne != nullptr && CountIsSingular(Count)) {
        // A pack without the singular text keeps its own plural one rather than English.
        singular = std::string(Key) + "One";
        if (!langText("Message", singular.c_str(), "").isEmpty()) {
            Key = singular.c_str();
            English = EnglishOne;
        }
    }
    QString text = langText("Message", Key, English);
    if (!FormatTextFits(text, 1))
        text = QLatin1String(English);
    return FormatIntegers(text, {Count});
}

const char* const kHardLinkQuestionOne =
    "Replace %d file by a hard link to a copy that stays? Hard-linked paths share one set of "
    "permissions, owner and times: a change to one is a change to all.";
const char* const kCloneQuestionOne =
    "Replace %d file by a clone of a copy that stays? It keeps its own permissions, owner and "
    "times; the file system stores the content once.";

QString pathText(const std::string& Path) {
    return QString::fromUtf8(Path.data(), qsizetype(Path.size()));
}

// The reason of a failed replacement: the program's own, or the system's text.
QString replaceReason(const TReplaceResult& Result) {
    const QString own = ActionProblemReason(Result.problem);
    QString reason = own.isEmpty() ? SystemErrorText(Result.error) : own;
    if (!Result.leftOver.empty())
        reason += QStringLiteral(" (") + pathText(Result.leftOver) + u')';
    return reason;
}

// <ReplaceFileErr>: "<path>". <reason>.
QString replaceFailure(const std::string& Path, const TReplaceResult& Result) {
    QString reason = replaceReason(Result);
    while (reason.endsWith(u'.') || reason.endsWith(u' '))
        reason.chop(1);
    QString text = langText("Message", "ReplaceFileErr", "Unable to replace the file") +
                   QStringLiteral(": \"") + pathText(Path) + QStringLiteral("\".");
    if (!reason.isEmpty())
        text += u' ' + reason + u'.';
    return text;
}

} // namespace

void TfrmQdxMain::CreateReplaceControls(QBoxLayout* Operations) {
    btnReplace = new TOrlaLinkButton(pnlOp);
    btnReplace->setObjectName(QStringLiteral("btnReplace"));
    btnReplace->setText(QStringLiteral("Replace Selected"));
    btnReplace->setEnabled(false);
    Operations->addWidget(btnReplace);
    connect(btnReplace, &QAbstractButton::clicked, this, [this] {
        if (FDeleting || !btnReplace->isEnabled() || pmReplace == nullptr)
            return;
        // Directly above the button, as the keep-one menu opens above the panel.
        const QPoint corner = btnReplace->mapToGlobal(QPoint(0, 0));
        pmReplace->popup(QPoint(corner.x(), corner.y() - pmReplace->sizeHint().height()));
    });
}

void TfrmQdxMain::BuildReplaceMenus() {
    // Made once, after the row menu exists.
    if (pmReplace == nullptr) {
        pmReplace = new TOrlaPopupMenu(this);
        pmReplace->setObjectName(QStringLiteral("pmReplace"));
        connect(pmReplace, &TOrlaPopupMenu::itemClicked, this, [this](int Tag) {
            ReplaceCheckedFiles(Tag == rtClones ? TReplaceKind::Clone : TReplaceKind::HardLink);
        });
        // The row menu's entries act only on a row of a content mode outside the
        // reference folders.
        connect(pmPop, &QMenu::aboutToShow, this, [this] {
            const TFileRow* record = model->Row(vtFile->selectedRow());
            const bool can = ModeNeedsContentProof(FResultMode) && record != nullptr &&
                             record->FileInfo != nullptr && !record->Reference;
            for (QAction* a : pmPop->actions())
                if (const int tag = a->data().toInt();
                    tag == kRowMenuHardLink || tag == kRowMenuClone)
                    a->setEnabled(can);
        });
    }
    btnReplace->setText(langText("Translation", "frmQdxMain.btnReplace.Caption",
                                 btnReplace->text().toUtf8().constData()));
    btnReplace->setToolTip(langText("Translation", "frmQdxMain.btnReplace.hint",
                                    btnReplace->toolTip().toUtf8().constData()));
    btnReplace->setAccessibleName(btnReplace->text());
    const QString link = langText("Translation", "ppmReplaceLink", "Replace with Hard Links");
    const QString clone = langText("Translation", "ppmReplaceClone", "Replace with Clones");
    pmReplace->Build({link, clone});
    const QList<QAction*> entries = pmReplace->actions();
    for (qsizetype i = 0; i < entries.size(); ++i)
        entries[i]->setData(int(i + 1));
    // The row menu (built just before): a separator and the two entries after its last.
    pmPop->addSeparator()->setData(kRowMenuHardLink - 1);
    pmPop->addAction(link)->setData(kRowMenuHardLink);
    pmPop->addAction(clone)->setData(kRowMenuClone);
    model->setReferenceHint(langText("Message", "ReferenceMark",
                                     "In a reference folder: never ticked, deleted or replaced"));
}

void TfrmQdxMain::RefreshReplaceButton() {
    if (btnReplace != nullptr)
        btnReplace->setEnabled(ModeNeedsContentProof(FResultMode) && CheckedCount() > 0 &&
                               !FDeleting && FBackupThread == nullptr &&
                               FState != TMainState::Searching);
}

// --- Reference folders ------------------------------------------------------------------

void TfrmQdxMain::MarkReferenceRows() {
    const TReferenceFolders folders(AppConfig.referencePath);
    model->BeginUpdate();
    for (int i = 0; i < model->RowCount(); ++i) {
        TFileRow* record = model->Row(i);
        if (record == nullptr || record->FileInfo == nullptr)
            continue;
        record->Reference = folders.Contains(record->FileInfo->FileName);
        if (record->Reference)
            model->SetChecked(i, false);
    }
    model->EndUpdate();
    vtFile->viewport()->update();
    RefreshDeleteButton();
}

bool TfrmQdxMain::KeepReferenceCopiesRule() {
    model->BeginUpdate();
    // Groups without a reference copy keep their newest by modification time; the
    // groups with one are decided again below.
    if (!KeepOneRows(*model, koLastWrite)) {
        model->EndUpdate();
        return false;
    }
    std::vector<TListedFile> list = ListedFiles();
    const std::vector<bool> decided = KeepReferenceCopies(list);
    for (size_t i = 0; i < list.size(); ++i)
        if (decided[i])
            model->SetChecked(int(i), list[i].Ticked);
    model->EndUpdate();
    return true;
}

bool TfrmQdxMain::RefuseReferenceRow(int Row) {
    const TFileRow* record = model->Row(Row);
    if (record == nullptr || !record->Reference)
        return false;
    ShowMessageDlg(mtError,
                   pathText(record->FileInfo->FileName) + QStringLiteral("\r\n") +
                       ActionProblemReason(TActionProblem::InReference),
                   {mbOK});
    return true;
}

// --- Replacing --------------------------------------------------------------------------

void TfrmQdxMain::ReplaceCheckedFiles(TReplaceKind Kind) {
    if (FDeleting || FState == TMainState::Searching || !ModeNeedsContentProof(FResultMode))
        return;
    const TActionPlan plan(ListedFiles());
    if (plan.Ticked().empty()) {
        RefreshDeleteButton();
        return;
    }
    // A group with every copy ticked has no copy to link or clone to.
    if (!plan.EveryCopyGroups().empty()) {
        ShowMessageDlg(mtWarning,
                       countText("ReplaceEveryCopyRefused",
                                 "Every copy is ticked in %d groups: no copy stays to link or "
                                 "clone to. Untick one copy in each of them first.",
                                 int64_t(plan.EveryCopyGroups().size()),
                                 "Every copy is ticked in %d group: no copy stays to link or "
                                 "clone to. Untick one copy in it first."),
                       {mbOK});
        return;
    }
    const int64_t count = int64_t(plan.Ticked().size());
    const QString question =
        Kind == TReplaceKind::HardLink
            ? countText("HardLinkQuestion",
                        "Replace %d files by hard links to a copy that stays? Hard-linked paths "
                        "share one set of permissions, owner and times: a change to one is a "
                        "change to all.",
                        count, kHardLinkQuestionOne)
            : countText("CloneQuestion",
                        "Replace %d files by clones of a copy that stays? Each keeps its own "
                        "permissions, owner and times; the file system stores their content "
                        "once.",
                        count, kCloneQuestionOne);
    if (ShowMessageDlg(mtConfirmation, question, {mbYes, mbNo}, mbNo) != mrYes)
        return;

    FDeleting = true;
    FReplacedPaths = 0;
    FFreedBytes = 0;
    bool askOnError = true;
    vtFile->setEnabled(false);
    model->BeginUpdate();
    struct RunEnd {
        TfrmQdxMain* w;
        ~RunEnd() {
            w->vtFile->setEnabled(true);
            w->model->EndUpdate();
            w->FDeleting = false;
            w->RefreshDeleteButton();
            w->lblcaption->setText(
                countText("ReplaceDone", "Paths replaced: %d.", w->FReplacedPaths) + u' ' +
                TextFollowedBy(langText("Message", "PermanentDeleteSize", "Space freed:"),
                               FormatFileSize(w->FFreedBytes)));
        }
    } runEnd{this};

    const TProofTick tick = [] { QCoreApplication::processEvents(); };
    for (const size_t index : plan.Ticked()) {
        const int row = int(index);
        const TFileRow* record = model->Row(row);
        if (record == nullptr || record->FileInfo == nullptr || model->IsRemoved(row) ||
            record->Reference)
            continue;
        const TDuplicateFile& file = *record->FileInfo;
        const TReplaceResult result =
            ReplaceRecordedFile(file, Kind, plan.Staying(record->GroupNo), tick);
        if (result.ok) {
            ++FReplacedPaths;
            FFreedBytes += result.freedBytes;
            model->RemoveRow(row);
        } else if (askOnError) {
            // The row stays, ticked; the user decides whether the others go on.
            TfrmDeleteComfirm dlg(this);
            dlg.setMessage(replaceFailure(file.FileName, result) + QStringLiteral("\r\n") +
                           langText("Message", "ContinueReplace",
                                    "Do you want to continue with the other files?"));
            const int answer = dlg.exec();
            askOnError = !dlg.chkNoConfirm->isChecked();
            if (answer != mrYes)
                break;
        }
        QCoreApplication::processEvents();
    }
}

void TfrmQdxMain::ReplaceRowFile(int Row, TReplaceKind Kind) {
    if (FDeleting || !ModeNeedsContentProof(FResultMode))
        return;
    const TFileRow* record = model->Row(Row);
    if (record == nullptr || record->FileInfo == nullptr || RefuseReferenceRow(Row))
        return;
    const TDuplicateFile& file = *record->FileInfo;
    // The copies of its group that stay in the list.
    std::vector<const TDuplicateFile*> others;
    for (int i = 0; i < model->RowCount(); ++i) {
        const TFileRow* r = model->Row(i);
        if (i != Row && r != nullptr && r->FileInfo != nullptr && !model->IsRemoved(i) &&
            r->GroupNo == record->GroupNo)
            others.push_back(r->FileInfo);
    }
    const QString question =
        (Kind == TReplaceKind::HardLink
             ? countText("HardLinkQuestion",
                         "Replace %d files by hard links to a copy that stays? Hard-linked "
                         "paths share one set of permissions, owner and times: a change to one "
                         "is a change to all.",
                         1, kHardLinkQuestionOne)
             : countText("CloneQuestion",
                         "Replace %d files by clones of a copy that stays? Each keeps its own "
                         "permissions, owner and times; the file system stores their content "
                         "once.",
                         1, kCloneQuestionOne)) +
        QStringLiteral("\r\n") + pathText(file.FileName);
    if (ShowMessageDlg(mtConfirmation, question, {mbYes, mbNo}, mbNo) != mrYes)
        return;
    const TReplaceResult result =
        ReplaceRecordedFile(file, Kind, others, [] { QCoreApplication::processEvents(); });
    if (!result.ok) {
        ShowMessageDlg(mtError, replaceFailure(file.FileName, result), {mbOK});
        return;
    }
    FReplacedPaths = 1;
    FFreedBytes = result.freedBytes;
    // The comparison let events through: the row is found again by its file.
    model->RemoveRow(model->RowOf(&file));
    lblcaption->setText(countText("ReplaceDone", "Paths replaced: %d.", 1) + u' ' +
                        TextFollowedBy(langText("Message", "PermanentDeleteSize", "Space freed:"),
                                       FormatFileSize(FFreedBytes)));
    RefreshDeleteButton();
}

} // namespace pelidor
