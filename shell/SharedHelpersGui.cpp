#include "shell/SharedHelpersGui.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QLocale>
#include <QUrl>

#include <cmath>

namespace pelidor {

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

} // namespace pelidor
