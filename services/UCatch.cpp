#include "services/UCatch.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

namespace pelidor {

namespace {

// The tint picture: a small square of the look's accent colour at a quarter opacity,
// stretched over the selection.
QImage makeMaskPicture() {
    QImage mask(4, 4, QImage::Format_ARGB32_Premultiplied);
    mask.fill(QColor(0x2F, 0x80, 0xCC, 64));
    return mask;
}

} // namespace

QImage GrabPrimaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return QImage();
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull())
        return QImage();
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

// ---------------------------------------------------------------------------- pb1

TCatchPaintBox::TCatchPaintBox(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TCatchPaintBox::setPicture(const QImage& Picture) {
    picture_ = Picture;
    update();
}

void TCatchPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(rect(), picture_);
}

// ---------------------------------------------------------------------------- window

TFrmCatch::TFrmCatch(QWidget* Parent)
    : QDialog(Parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ScreenGrabber(&GrabPrimaryScreen), pb1(new TCatchPaintBox(this)),
      maskPng_(makeMaskPicture()) {
    setObjectName(QStringLiteral("FrmCatch"));
    setCursor(Qt::CrossCursor);
    setSizeGripEnabled(false);
    // The whole primary screen, from its top-left corner.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        setGeometry(area);
        setFixedSize(area.size());
    }
    pb1->setObjectName(QStringLiteral("pb1"));
    pb1->setGeometry(rect());

    tmr1.setInterval(10);
    tmr1.setSingleShot(true);
    connect(&tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
}

QByteArray TFrmCatch::NewPngBytes() const {
    QByteArray bytes;
    if (NewPng.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!NewPng.save(&buffer, "PNG"))
        bytes.clear();
    return bytes;
}

bool TFrmCatch::SaveNewPng(const QString& FileName) const {
    const QByteArray bytes = NewPngBytes();
    if (bytes.isEmpty())
        return false;
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

void TFrmCatch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    pb1->setGeometry(rect());
    selecting_ = false;
    start_ = current_ = QPoint();
    // Freeze the screen before this window covers it.
    capture_ = ScreenGrabber ? ScreenGrabber() : QImage();
    if (capture_.isNull()) {
        // The session refuses the capture: nothing can be selected.
        QMetaObject::invokeMethod(
            this, [this] { done(kCatchCancel); }, Qt::QueuedConnection);
        return;
    }
    if (capture_.format() != QImage::Format_RGB32 &&
        capture_.format() != QImage::Format_ARGB32_Premultiplied)
        capture_ = capture_.convertToFormat(QImage::Format_RGB32);
    pb1->setPicture(QImage());
    tmr1.start();
}

void TFrmCatch::tmr1Timer() {
    tmr1.stop();
    if (!selecting_)
        pb1->setPicture(capture_);
}

void TFrmCatch::reject() {
    done(kCatchCancel);
}

void TFrmCatch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPoint TFrmCatch::toCapture(const QPoint& Point) const {
    if (capture_.isNull() || width() <= 0 || height() <= 0)
        return Point;
    // The capture is in device pixels; the window in logical ones.
    const int x = static_cast<int>(static_cast<long long>(Point.x()) * capture_.width() / width());
    const int y =
        static_cast<int>(static_cast<long long>(Point.y()) * capture_.height() / height());
    return QPoint(std::clamp(x, 0, capture_.width()), std::clamp(y, 0, capture_.height()));
}

void TFrmCatch::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton || capture_.isNull())
        return;
    start_ = current_ = toCapture(event->position().toPoint());
    selecting_ = true;
}

void TFrmCatch::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint to = toCapture(event->position().toPoint());
    drawSelection(to);
    current_ = to;
}

void TFrmCatch::drawSelection(const QPoint& To) {
    QImage frame = capture_.copy();
    QPainter painter(&frame);
    // The outline: four lines from the start corner round and back to it.
    painter.setPen(QPen(QColor::fromRgb(kCatchOutlineColor), 1));
    const QPoint corners[] = {start_, QPoint(To.x(), start_.y()), To, QPoint(start_.x(), To.y())};
    painter.drawPolygon(corners, 4);
    // The tint over the inside.
    const int left = std::min(start_.x(), To.x()), right = std::max(start_.x(), To.x());
    const int top = std::min(start_.y(), To.y()), bottom = std::max(start_.y(), To.y());
    const QRect inside(QPoint(left + 1, top + 1), QPoint(right - 1, bottom - 1));
    if (inside.isValid())
        painter.drawImage(inside.topLeft(), maskPng_.scaled(inside.size(), Qt::IgnoreAspectRatio,
                                                            Qt::FastTransformation));
    painter.end();
    pb1->setPicture(frame);
}

void TFrmCatch::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        reject();
        return;
    }
    if (event->button() != Qt::LeftButton || !selecting_)
        return;
    selecting_ = false;
    pb1->setPicture(capture_);
    const QPoint to = toCapture(event->position().toPoint());
    // The region between the two points; the far edges lie outside it, so a drag of
    // n pixels captures n pixels, in whichever direction it went.
    const QRect region(QPoint(std::min(start_.x(), to.x()), std::min(start_.y(), to.y())),
                       QSize(std::abs(to.x() - start_.x()), std::abs(to.y() - start_.y())));
    current_ = to;
    if (region.width() == 0 || region.height() == 0)
        return;
    NewPng = capture_.copy(region).convertToFormat(QImage::Format_RGB32);
    done(kCatchOk);
}

} // namespace pelidor
