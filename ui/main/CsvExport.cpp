#include "ui/main/CsvExport.h"

#include "config/uLanguage.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "ui/main/ResultsList.h"

#include <QFile>

#include <cerrno>
#include <string>

namespace pelidor {
namespace {

constexpr int kExportedColumns[] = {colFileName, colFileSize, colLastDate, colCreateDate};

void appendLine(QByteArray& out, const QByteArray (&fields)[4]) {
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            out += ',';
        out += CsvField(fields[i]);
    }
    out += "\r\n";
}

} // namespace

QByteArray CsvField(const QByteArray& value) {
    QByteArray field;
    field.reserve(value.size() + 2);
    field += '"';
    for (const char c : value) {
        field += c;
        if (c == '"')
            field += '"';
    }
    field += '"';
    return field;
}

QByteArray ResultsCsv(const TResultsModel& model) {
    QByteArray out;
    QByteArray fields[4];
    for (int i = 0; i < 4; ++i)
        fields[i] = model.headerData(kExportedColumns[i], Qt::Horizontal, Qt::DisplayRole)
                        .toString()
                        .toUtf8();
    appendLine(out, fields);

    const int rows = model.RowCount();
    for (int row = 0; row < rows; ++row) {
        const TFileRow* fileRow = model.Row(row);
        if (fileRow == nullptr || fileRow->FileInfo == nullptr || model.IsRemoved(row))
            continue;
        const std::string& path = fileRow->FileInfo->FileName;
        fields[0] = QByteArray(path.data(), qsizetype(path.size()));
        for (int i = 1; i < 4; ++i)
            fields[i] = model.CellText(row, kExportedColumns[i]).toUtf8();
        appendLine(out, fields);
    }
    return out;
}

bool WriteFileReplacing(const QString& fileName, const QByteArray& content, QString* error) {
    const QByteArray encoded = QFile::encodeName(fileName);
    const std::string path(encoded.constData(), size_t(encoded.size()));
    // A new file is first made empty here, so that it gets the permissions the user's
    // file-creation mask gives every new file; the replacement keeps them.
    bool created = false;
    if (!path.empty() && !platform::pathExists(path)) {
        QFile file(fileName);
        created = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    errno = 0;
    const bool ok =
        !path.empty() && platform::replaceFileAtomically(
                             path, std::string(content.constData(), size_t(content.size())), 0644);
    // The failed step leaves its reason in errno; a target that is not a regular file is
    // refused without one.
    int reason = errno;
    if (!ok) {
        if (created)
            QFile::remove(fileName);
        if (reason == 0) {
            platform::FileStatus st;
            reason = path.empty() ? ENOENT
                     : platform::statPath(path, st) && st.kind == platform::EntryKind::Directory
                         ? EISDIR
                         : EIO;
        }
        if (error != nullptr)
            *error = QString::fromLocal8Bit(platform::errorText(reason));
    }
    return ok;
}

bool ExportResultsToCsv(const TResultsModel& model, const QString& fileName, QString* error) {
    return WriteFileReplacing(fileName, ResultsCsv(model), error);
}

QString CsvExportErrorMessage(const QString& fileName, const QString& reason) {
    const QString title = QString::fromStdString(
        ReadLangString("Message", "exportcsverr", "Unable to save the list to the file"));
    QString why = reason;
    while (!why.isEmpty() && QStringLiteral(" \r\n.").contains(why.back()))
        why.chop(1);
    QString text = QStringLiteral("%1: \"%2\".").arg(title, fileName);
    if (!why.isEmpty())
        text += QLatin1Char(' ') + why + QLatin1Char('.');
    return text;
}

} // namespace pelidor
