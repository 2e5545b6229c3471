// The CSV export of the results list.
//
// Format: a header line with the captions of columns 0, 2, 3 and 4 (the folder column
// is left out), then one line per row in list order, ticked or not: the file's full
// path, its size text, its last-write time and its creation time as the list shows
// them. Every field is between double quotes, fields are separated by commas, and every
// line (the last one too) ends with CR LF. The text is UTF-8 without a byte-order mark;
// the path field holds the file name's bytes as the file system stores them, so a name
// that is not UTF-8 reaches the user's tools unchanged. A double quote inside a field is
// doubled; commas and line breaks stay inside the quotes. Rows without a record, and
// rows removed inside an open update bracket, give no line.
#pragma once

#include <QByteArray>
#include <QString>

namespace pelidor {

class TResultsModel;

// One field between double quotes, a double quote inside doubled.
QByteArray CsvField(const QByteArray& value);

// The whole export of the list.
QByteArray ResultsCsv(const TResultsModel& model);

// Writes `content` as the whole content of the file `fileName`, creating it or
// replacing an existing file in one step: the text goes into a temporary file beside it
// that is forced to the disk and renamed over it once complete, so a failed write (a
// full disk, a folder the user may not write into) never truncates or changes the
// existing file. An existing file keeps its permissions, a new one gets those of the
// user's file-creation mask; a symbolic link stays and its target is replaced. False
// with the system's reason in `error` (when given).
bool WriteFileReplacing(const QString& fileName, const QByteArray& content,
                        QString* error = nullptr);

// ResultsCsv written with WriteFileReplacing.
bool ExportResultsToCsv(const TResultsModel& model, const QString& fileName,
                        QString* error = nullptr);

// The text of the error box for an export that failed:
//     <exportcsverr>: "<fileName>". <reason>.
// ("exportcsverr" of section Message; the reason loses trailing blanks, line breaks and
// full stops before its own full stop.)
QString CsvExportErrorMessage(const QString& fileName, const QString& reason);

} // namespace pelidor
