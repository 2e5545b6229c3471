// The main window's account of its state: the summary line after a deletion, the space
// the listed duplicates take beyond one copy per group, the ticked-files line and the
// enabled state of btnDel, and the removal of groups a deletion left with one row.
#include "ui/main/uQdxMain.h"

#include <QAccessible>
#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <map>

#include "config/uLanguage.h"
#include "shell/SharedHelpersGui.h"
#include "ui/main/ResultsList.h"

namespace pelidor {
namespace {

QString langText(const char* Section, const char* Key, const char* English) {
    return QString::fromStdString(ReadLangString(Section, Key, English));
}

bool fullWidth(QChar c) {
    return c.unicode() >= 0x3000;
}

} // namespace

QString JoinSentences(const QStringList& Sentences) {
    // Each sentence ends in a full stop: a full-width one after a full-width text.
    QString line;
    for (const QString& sentence : Sentences) {
        if (sentence.isEmpty())
            continue;
        const bool wide = std::any_of(sentence.begin(), sentence.end(), fullWidth);
        if (!line.isEmpty() && !fullWidth(line.back()))
            line += u' ';
        line += sentence;
        const QChar last = sentence.back();
        if (last != u'.' && last != QChar(0x3002) && last != u'!' && last != u'?')
            line += wide ? QChar(0x3002) : QChar(u'.');
    }
    return line;
}

QString TfrmQdxMain::DeletionSummaryText(const TDeletionSummary& Summary) {
    QStringList line;
    QString done = Summary.toTrash ? FormatMessageText("DeletedToTrash", {Summary.done})
                                   : FormatMessageText("DeletedPermanently", {Summary.done});
    line << (done);
    line << (TextFollowedBy(Summary.toTrash
                                ? langText("Message", "DeletedSize", "Size:")
                                : langText("Message", "PermanentDeleteSize", "Space freed:"),
                            FormatFileSize(Summary.bytes)));
    if (Summary.failed > 0)
        line << (FormatMessageText("DeleteFailedCount", {Summary.failed}));
    if (!Summary.archivePath.empty())
        line << (TextFollowedBy(
            langText("Message", "DeleteBackupArchive", "Backup archive:"),
            QFileInfo(QFile::decodeName(QByteArray::fromStdString(Summary.archivePath)))
                .fileName()));
    return JoinSentences(line);
}

int64_t TfrmQdxMain::ExtraCopiesBytes() const {
    // Per group: every copy but the largest one.
    std::map<int32_t, std::pair<int64_t, int64_t>> groups; // total, largest
    for (int i = 0; i < model->RowCount(); ++i) {
        const TFileRow* r = model->Row(i);
        if (r == nullptr || r->FileInfo == nullptr || model->IsRemoved(i))
            continue;
        auto& g = groups[r->GroupNo];
        g.first += r->FileInfo->FileSize;
        g.second = std::max(g.second, r->FileInfo->FileSize);
    }
    int64_t extra = 0;
    for (const auto& [group, sizes] : groups)
        extra += sizes.first - sizes.second;
    return extra;
}

void TfrmQdxMain::SetSummaryLine(const QString& Text) {
    lblcaption->setText(Text);
    lblcaption->setToolTip(Text);
    QAccessibleEvent changed(lblcaption, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void TfrmQdxMain::DropLoneRows() {
    // Rows left per group; a ticked lone row stays, because the deletion did not
    // finish with it (the user answered No to a failure).
    std::map<int32_t, int> left;
    for (int i = 0; i < model->RowCount(); ++i)
        if (const TFileRow* r = model->Row(i); r && r->FileInfo && !model->IsRemoved(i))
            ++left[r->GroupNo];
    for (int i = 0; i < model->RowCount(); ++i) {
        const TFileRow* r = model->Row(i);
        if (r && r->FileInfo && !model->IsRemoved(i) && left[r->GroupNo] == 1 &&
            !model->IsChecked(i))
            model->RemoveRow(i);
    }
}

void TfrmQdxMain::RefreshDeleteButton() {
    int ticked = 0;
    int64_t bytes = 0;
    for (const int row : model->CheckedRows()) {
        ++ticked;
        if (const TFileRow* r = model->Row(row); r && r->FileInfo)
            bytes += r->FileInfo->FileSize;
    }
    btnDel->setEnabled(ticked > 0 && !FDeleting && FBackupThread == nullptr &&
                       FState != TMainState::Searching);
    RefreshReplaceButton();
    if (lblTicked == nullptr)
        return;
    const QString text = ticked == 0
                             ? QString()
                             : TextFollowedBy(FormatMessageText("TickedFiles", {ticked}),
                                              QStringLiteral("(") + FormatFileSize(bytes) + u')');
    if (text != lblTicked->text()) {
        lblTicked->setText(text);
        QAccessibleEvent changed(lblTicked, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

} // namespace pelidor
