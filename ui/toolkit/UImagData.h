// The shared pictures of the program's windows. One object is created at start-up,
// before the main window, and lives until the program ends.
//
// Every picture is an SVG embedded as ":/pelidor/images/<name>.svg"; PictureNames()
// lists them. The free functions OrlaPicture and OrlaPixmap give the same pictures
// when no TImgData exists (tests, controls created before it).
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace pelidor {

class TImgData : public QObject {
    Q_OBJECT

public:
    explicit TImgData(QObject* parent = nullptr);
    ~TImgData() override;
    TImgData(const TImgData&) = delete;
    TImgData& operator=(const TImgData&) = delete;

    // The program's icon (scalable).
    QIcon AppIcon() const { return appIcon_; }

    // The picture called name ("folder" or "folder.svg"); a null icon for an unknown
    // name. Icons are kept once made.
    QIcon Picture(const QString& name) const;
    // The picture rendered at size (logical pixels, for the screen's pixel ratio);
    // a null pixmap for an unknown name or an empty size.
    QPixmap Pixmap(const QString& name, const QSize& size) const;
    QPixmap Pixmap(const QString& name, int size) const { return Pixmap(name, QSize(size, size)); }

    // The icon of a message kind: 0 warning, 1 error, 2 information, 3 confirmation;
    // null for any other kind (a custom message has none).
    QIcon MsgIcon(int DlgType) const;
    // Shorthands for pictures several windows show.
    QIcon LogoIcon() const { return Picture(QStringLiteral("logo")); }
    QIcon FolderIcon() const { return Picture(QStringLiteral("folder")); }

    // The names of all shared pictures, without ".svg".
    static QStringList PictureNames();

private:
    QIcon appIcon_;
    mutable QHash<QString, QIcon> icons_;
};

// The object created at start-up; null before it exists and after it is gone.
TImgData* ImgData();

// The resource path of a picture: ":/pelidor/images/<name>.svg".
QString OrlaPicturePath(const QString& name);
// The picture called name, whether or not a TImgData exists; null when unknown.
QIcon OrlaPicture(const QString& name);
// The picture rendered at size for the primary screen's pixel ratio, kept in
// QPixmapCache; null when the name is unknown or the size empty.
QPixmap OrlaPixmap(const QString& name, const QSize& size);

} // namespace pelidor
