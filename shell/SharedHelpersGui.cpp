#include "shell/SharedHelpersGui.h"

#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QLocale>
#include <QTime>
#include <QUrl>

#include <cmath>

#include "platform/DateTime.h"

namespace pelidor {

namespace {

// The locale's long time format without its time-zone part: every run of "t" outside
// quoted text goes, together with the blank that separated it from the rest and the
// brackets round it.
QString timeFormatWithoutZone(const QString& format) {
    QString out;
    out.reserve(format.size());
    bool quoted = false;
    bool dropBlanks = false; // a zone token was just dropped with nothing blank before it
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            dropBlanks = false;
            out += c;
            continue;
        }
        if (!quoted && c == u't') {
            while (i + 1 < format.size() && format.at(i + 1) == u't')
                ++i;
            // A zone in brackets, "(t)", goes with its brackets.
            if (out.endsWith(u'(') && i + 1 < format.size() && format.at(i + 1) == u')') {
                out.chop(1);
                ++i;
            }
            qsizetype end = out.size();
            while (end > 0 && out.at(end - 1).isSpace())
                --end;
            dropBlanks = end == out.size();
            out.truncate(end);
            continue;
        }
        if (dropBlanks && !quoted && c.isSpace())
            continue;
        dropBlanks = false;
        out += c;
    }
    return out.trimmed();
}

struct DateTimeFormats {
    QLocale locale;
    QString date;
    QString time;
};

const DateTimeFormats& formatsFor(const QLocale& locale) {
    thread_local DateTimeFormats cache{QLocale::c(), {}, {}};
    thread_local bool filled = false;
    if (!filled || !(cache.locale == locale)) {
        cache.locale = locale;
        cache.date = locale.dateFormat(QLocale::ShortFormat);
        cache.time = timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
        filled = true;
    }
    return cache;
}

} // namespace

void OpenUrl(const QString& Url) {
    const QString text = Url.trimmed();
    if (text.isEmpty())
        return;
    // A plain path is a local file; relative paths count from the current folder.
    const QUrl url = QUrl::fromUserInput(text, QDir::currentPath(),
                                         QUrl::UserInputResolutionOption::AssumeLocalFile);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

bool IsWebAddress(const QString& Url) {
    const QUrl url(Url.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool OpenWebAddress(const QString& Url) {
    if (!IsWebAddress(Url)) {
        qWarning("pelidor: refused to open an address that is not a web address: %s",
                 qUtf8Printable(Url.left(200)));
        return false;
    }
    QDesktopServices::openUrl(QUrl(Url.trimmed(), QUrl::StrictMode));
    return true;
}

QString FormatFileSize(int64_t Size) {
    return FormatFileSize(Size, QLocale::system());
}

QString FormatFileSize(int64_t Size, const QLocale& locale) {
    if (Size < 1024)
        return locale.toString(static_cast<qlonglong>(Size)) + QStringLiteral(" Bytes");
    static constexpr struct {
        int64_t divisor;
        const char* unit;
    } units[] = {
        {int64_t{1} << 40, " TB"},
        {int64_t{1} << 30, " GB"},
        {int64_t{1} << 20, " MB"},
        {int64_t{1} << 10, " KB"},
    };
    for (const auto& u : units) {
        if (Size < u.divisor)
            continue;
        // Extended precision; the tenths digit rounds half away from zero.
        const long double value = static_cast<long double>(Size) / u.divisor;
        const auto tenths = static_cast<int64_t>(std::floor(value * 10.0L + 0.5L));
        return locale.toString(static_cast<qlonglong>(tenths / 10)) + locale.decimalPoint() +
               locale.toString(static_cast<int>(tenths % 10)) + QLatin1String(u.unit);
    }
    return {}; // not reached: Size >= 1024 matches the last unit
}

void CopyFontAttrs(QFont& Dest, const QFont& Source) {
    Dest.setFamilies(Source.families().isEmpty() ? QStringList{Source.family()}
                                                 : Source.families());
    if (Source.pointSizeF() > 0)
        Dest.setPointSizeF(Source.pointSizeF());
    else if (Source.pixelSize() > 0)
        Dest.setPixelSize(Source.pixelSize());
}

bool BrowseForFolder(QWidget* Owner, const QString& Title, const QString& Root, QString& Folder) {
    Folder.clear();
    const QString start = !Root.isEmpty() && QFileInfo(Root).isDir() ? Root : QString();
    const QString chosen =
        QFileDialog::getExistingDirectory(Owner, Title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    Folder = QDir::toNativeSeparators(chosen);
    return true;
}

QString DateTimeText(double Value, const QLocale& Locale) {
    platform::DateTimeFields f;
    if (!platform::decodeDateTime(Value, f))
        return QString();
    const QDate date(f.year, f.month, f.day);
    if (!date.isValid())
        return QString();
    const DateTimeFormats& formats = formatsFor(Locale);
    QString text = Locale.toString(date, formats.date);
    if (f.hour == 0 && f.minute == 0 && f.second == 0 && f.millisecond == 0)
        return text;
    text += u' ';
    text += Locale.toString(QTime(f.hour, f.minute, f.second, f.millisecond), formats.time);
    return text;
}

} // namespace pelidor
