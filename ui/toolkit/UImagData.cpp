#include "ui/toolkit/UImagData.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <iterator>

namespace pelidor {
namespace {

TImgData* gImgData = nullptr;

const char* const kMsgPictures[] = {"msg-warning", "msg-error", "msg-information",
                                    "msg-confirmation"};

qreal screenRatio() {
    return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

} // namespace

QString OrlaPicturePath(const QString& name) {
    QString file = name;
    if (!file.endsWith(QStringLiteral(".svg")))
        file += QStringLiteral(".svg");
    return QStringLiteral(":/pelidor/images/") + file;
}

QIcon OrlaPicture(const QString& name) {
    const QString path = OrlaPicturePath(name);
    if (name.isEmpty() || !QFile::exists(path))
        return QIcon();
    return QIcon(path);
}

QPixmap OrlaPixmap(const QString& name, const QSize& size) {
    if (name.isEmpty() || size.isEmpty())
        return QPixmap();
    const qreal ratio = screenRatio();
    const QString key = QStringLiteral("pelidor:%1:%2x%3@%4")
                            .arg(name)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    const QString path = OrlaPicturePath(name);
    if (!QFile::exists(path))
        return QPixmap();
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return QPixmap();
    pixmap = QPixmap(size * ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // Keep the picture's proportions, centred in the size asked for.
        QSizeF drawn = renderer.defaultSize();
        drawn.scale(QSizeF(pixmap.size()), Qt::KeepAspectRatio);
        const QPointF origin((pixmap.width() - drawn.width()) / 2,
                             (pixmap.height() - drawn.height()) / 2);
        renderer.render(&painter, QRectF(origin, drawn));
    }
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

TImgData::TImgData(QObject* parent)
    : QObject(parent), appIcon_(QStringLiteral(":/pelidor/pelidor.svg")) {
    setObjectName(QStringLiteral("ImgData"));
    if (gImgData == nullptr)
        gImgData = this;
}

TImgData::~TImgData() {
    if (gImgData == this)
        gImgData = nullptr;
}

QIcon TImgData::Picture(const QString& name) const {
    auto it = icons_.constFind(name);
    if (it != icons_.constEnd())
        return *it;
    QIcon icon = OrlaPicture(name);
    if (!icon.isNull())
        icons_.insert(name, icon);
    return icon;
}

QPixmap TImgData::Pixmap(const QString& name, const QSize& size) const {
    return OrlaPixmap(name, size);
}

QIcon TImgData::MsgIcon(int DlgType) const {
    if (DlgType < 0 || DlgType >= int(std::size(kMsgPictures)))
        return QIcon();
    return Picture(QString::fromLatin1(kMsgPictures[DlgType]));
}

QStringList TImgData::PictureNames() {
    return {QStringLiteral("logo"),
            QStringLiteral("msg-warning"),
            QStringLiteral("msg-error"),
            QStringLiteral("msg-information"),
            QStringLiteral("msg-confirmation"),
            QStringLiteral("busy"),
            QStringLiteral("hint-background"),
            QStringLiteral("search"),
            QStringLiteral("folder"),
            QStringLiteral("add"),
            QStringLiteral("add-hover"),
            QStringLiteral("add-pressed"),
            QStringLiteral("remove"),
            QStringLiteral("remove-hover"),
            QStringLiteral("remove-pressed"),
            QStringLiteral("empty-list"),
            QStringLiteral("caption-menu"),
            QStringLiteral("caption-news"),
            QStringLiteral("caption-support"),
            QStringLiteral("share-email"),
            QStringLiteral("share-twitter"),
            QStringLiteral("share-facebook"),
            QStringLiteral("share-tieba"),
            QStringLiteral("share-weibo"),
            QStringLiteral("share-qzone"),
            QStringLiteral("caption-marker"),
            QStringLiteral("reference"),
            QStringLiteral("folder-list")};
}

TImgData* ImgData() {
    return gImgData;
}

} // namespace pelidor
