// Shared routines that need Qt: the size text of every list, opening an address or
// document, copying font attributes and the folder picker.
#pragma once

#include <QString>

#include <cstdint>

class QFont;
class QLocale;
class QWidget;

namespace pelidor {

// Asks the desktop to open Url: a web address, a "mailto:" address or a local file
// or folder (a plain path is taken as a file). Empty or blank text does nothing.
void OpenUrl(const QString& Url);

// True when Url is an absolute "http" or "https" address with a host.
bool IsWebAddress(const QString& Url);
// Opens an address that came from the network (a service's answer, a page's request):
// only web addresses are opened (OpenUrl); anything else ("file:", plain paths, other
// schemes and their handlers) is refused with a warning on the log. True when opened.
bool OpenWebAddress(const QString& Url);

// The size as the lists show it: "#,##0 Bytes" below 1024 bytes (negative sizes
// included), else one decimal with KB, MB, GB or TB (1024-based), the digit after
// the decimal separator rounded half away from zero. Separators are those of the
// user's locale; the unit words are never translated.
QString FormatFileSize(int64_t Size);
// The same with the separators of `locale`.
QString FormatFileSize(int64_t Size, const QLocale& locale);

// A date-time value as the locale's short date, a space and its long time (without a
// time-zone name); the date alone when the time of day is exactly midnight. Empty for
// a value that is not a date.
QString DateTimeText(double Value, const QLocale& Locale);

// Gives Dest the family and the size of Source (the character set has no meaning
// for Qt fonts); Dest keeps its weight, style and colour.
void CopyFontAttrs(QFont& Dest, const QFont& Source);

// Shows the folder picker owned by Owner with Title, starting in Root when it is a
// folder. True and the chosen folder in Folder when the user chose one; false and
// an empty Folder when the user cancelled.
bool BrowseForFolder(QWidget* Owner, const QString& Title, const QString& Root, QString& Folder);

} // namespace pelidor
