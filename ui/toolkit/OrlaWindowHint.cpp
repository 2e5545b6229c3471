#include "ui/toolkit/OrlaWindowHint.h"

#include "config/uLanguage.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSvgRenderer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace pelidor {
namespace {

constexpr int kFrameSide = 32;            // one animation frame, logical pixels
constexpr QSize kBackgroundSize{300, 60}; // the painted background
constexpr int kDefaultFrames = 12;
constexpr int kMaxHintWidth = 640; // the background grows up to this for a text

qreal pixelRatio() {
    return qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
}

// A transparent image of `size` logical pixels at the screen's pixel ratio.
QImage blankImage(const QSize& size) {
    const qreal dpr = pixelRatio();
    QImage image(int(std::ceil(size.width() * dpr)), int(std::ceil(size.height() * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(dpr);
    return image;
}

QSize logicalSize(const QPixmap& pixmap) {
    return pixmap.deviceIndependentSize().toSize();
}

// Draws `picture` at the top left, `width` wide: both ends (half the height each, at
// most) as they are, the middle stretched, so that rounded corners keep their shape.
void drawStretched(QPainter& painter, const QPixmap& picture, int width) {
    const QSize size = logicalSize(picture);
    if (width <= size.width()) {
        painter.drawPixmap(0, 0, picture);
        return;
    }
    const qreal dpr = picture.devicePixelRatio();
    const int end = std::min(size.height() / 2, (size.width() - 1) / 2);
    const int h = size.height();
    auto source = [dpr, h](int x, int w) { return QRectF(x * dpr, 0, w * dpr, h * dpr); };
    painter.drawPixmap(QRectF(0, 0, end, h), picture, source(0, end));
    painter.drawPixmap(QRectF(end, 0, width - 2 * end, h), picture,
                       source(end, size.width() - 2 * end));
    painter.drawPixmap(QRectF(width - end, 0, end, h), picture, source(size.width() - end, end));
}

} // namespace

// The window itself: frameless, translucent, never focused; paints what its component
// composed.
class THintWindow : public QWidget {
public:
    THintWindow(TOrlaWindowHint* hint, QWidget* owner)
        : QWidget(owner != nullptr ? owner->window() : nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                                    Qt::WindowDoesNotAcceptFocus |
                                                                    Qt::NoDropShadowWindowHint),
          hint_(hint) {
        setObjectName(QStringLiteral("OrlaWindowHint"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (hint_ != nullptr)
            hint_->paintWindow(this);
    }
    // Window systems that activate every window shown (Qt's offscreen platform does)
    // get the activation handed back to the owner, whose focus stays where it was.
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && isActiveWindow() &&
            parentWidget() != nullptr && parentWidget()->isVisible())
            parentWidget()->activateWindow();
    }

private:
    QPointer<TOrlaWindowHint> hint_;
};

// While a modal wait runs, the user's input to the program's windows is dropped: clicks,
// keys, shortcuts, wheel, context menus, drops, and the window manager's close requests.
// Qt's own modality would do the blocking but makes the platform activate the modal
// window, taking the focus from the owner; this guard leaves focus and activation alone.
// Windows that become modal while the wait runs (a question the work asks) and popups
// keep their input, as do events the program sends itself. A modal window that was
// already open when the wait began (the window whose work this is, such as the backup
// manager during its restore) is held like the others.
class TInputGuard : public QObject {
public:
    explicit TInputGuard(QWidget* hintWindow) : hintWindow_(hintWindow) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top != hintWindow && top->isVisible() && top->windowModality() != Qt::NonModal)
                heldModal_.append(top);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!event->spontaneous() || !watched->isWidgetType())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::InputMethod:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        QWidget* top = static_cast<QWidget*>(watched)->window();
        if (top == hintWindow_ || top->windowType() == Qt::Popup ||
            (top->windowModality() != Qt::NonModal && !heldModal_.contains(top)))
            return false;
        // An accepted shortcut override tells the shortcut map that the key is taken,
        // so no shortcut fires; an ignored close event keeps the window open.
        if (event->type() == QEvent::ShortcutOverride)
            event->accept();
        else if (event->type() == QEvent::Close)
            event->ignore();
        return true;
    }

private:
    QPointer<QWidget> hintWindow_;
    QList<QPointer<QWidget>> heldModal_;
};

TOrlaWindowHint::TOrlaWindowHint(QWidget* Owner)
    : QObject(Owner), owner_(Owner), timer_(new QTimer(this)), frames_(defaultFrames()) {
    Font = QFont(QString::fromStdString(GetLangFontName()));
    Font.setPointSize(GetLangFontSize());
    ImgForm = defaultBackground();
    connect(timer_, &QTimer::timeout, this, &TOrlaWindowHint::nextFrame);
}

TOrlaWindowHint::~TOrlaWindowHint() {
    CloseOrlaHint();
    delete window_.data();
}

void TOrlaWindowHint::Localize() {
    NewHint = QString::fromStdString(ReadLangString("Message", "WaitBackup"));
    RestoreHint = QString::fromStdString(ReadLangString("Message", "WaitRestore"));
    Font = QFont(QString::fromStdString(GetLangFontName()));
    Font.setPointSize(GetLangFontSize());
}

void TOrlaWindowHint::setImgAni(const QPixmap& Strip, int FrameCount) {
    frames_.clear();
    frame_ = 0;
    if (Strip.isNull() || FrameCount <= 0 || Strip.width() % FrameCount != 0)
        return;
    const int width = Strip.width() / FrameCount;
    for (int i = 0; i < FrameCount; ++i)
        frames_.append(Strip.copy(i * width, 0, width, Strip.height()));
}

QVector<QPixmap> TOrlaWindowHint::defaultFrames() {
    QVector<QPixmap> frames;
    const QSize side(kFrameSide, kFrameSide);
    QSvgRenderer svg(QStringLiteral(":/pelidor/images/busy.svg"));
    for (int i = 0; i < kDefaultFrames; ++i) {
        QImage image = blankImage(side);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(kFrameSide / 2.0, kFrameSide / 2.0);
        painter.rotate(30.0 * i);
        painter.translate(-kFrameSide / 2.0, -kFrameSide / 2.0);
        if (svg.isValid()) {
            svg.render(&painter, QRectF(QPointF(0, 0), side));
        } else {
            // Twelve dots, the leading one darkest, the others fading behind it.
            for (int dot = 0; dot < kDefaultFrames; ++dot) {
                QColor colour(0x38, 0x38, 0x38);
                colour.setAlphaF(0.15 + 0.85 * dot / (kDefaultFrames - 1));
                painter.save();
                painter.translate(kFrameSide / 2.0, kFrameSide / 2.0);
                painter.rotate(30.0 * dot);
                painter.setPen(Qt::NoPen);
                painter.setBrush(colour);
                painter.drawEllipse(QPointF(0, -kFrameSide * 0.36), 2.4, 2.4);
                painter.restore();
            }
        }
        painter.end();
        frames.append(QPixmap::fromImage(image));
    }
    return frames;
}

QPixmap TOrlaWindowHint::defaultBackground() {
    QSvgRenderer svg(QStringLiteral(":/pelidor/images/hint-background.svg"));
    QSize size = kBackgroundSize;
    if (svg.isValid() && !svg.defaultSize().isEmpty())
        size = svg.defaultSize();
    QImage image = blankImage(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (svg.isValid()) {
        svg.render(&painter, QRectF(QPointF(0, 0), size));
    } else {
        QPainterPath path;
        path.addRoundedRect(QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.fillPath(path, QColor(255, 255, 255, 240));
        painter.setPen(QColor(0xDF, 0xDF, 0xDF));
        painter.drawPath(path);
    }
    painter.end();
    return QPixmap::fromImage(image);
}

bool TOrlaWindowHint::isShowing() const {
    return window_ != nullptr && window_->isVisible();
}

QWidget* TOrlaWindowHint::window() const {
    return window_;
}

// Where the animation sits: AlphaWidth in from the left plus the same gap as above and
// below it; the text follows after half that gap.
namespace {
struct HintLayout {
    QRect animation;
    QRect text;
};

HintLayout hintLayout(const QSize& picture, const QSize& frame, int alphaWidth) {
    const int gap = std::max(0, (picture.height() - frame.height()) / 2);
    HintLayout layout;
    layout.animation = QRect(QPoint(alphaWidth + gap, gap), frame);
    const int textLeft = layout.animation.right() + 1 + std::max(gap * 2 / 3, 6);
    const int textRight = picture.width() - alphaWidth - gap;
    layout.text = QRect(textLeft, 0, std::max(0, textRight - textLeft), picture.height());
    return layout;
}
} // namespace

void TOrlaWindowHint::composePicture(const QString& text) {
    const QPixmap background = ImgForm.isNull() ? defaultBackground() : ImgForm;
    const QSize frame = frames_.isEmpty() ? QSize(0, 0) : logicalSize(frames_.first());
    const QFontMetrics fm(Font);

    // The background grows to fit the text, up to kMaxHintWidth; a longer text is cut.
    QSize size = logicalSize(background);
    const int textWidth = int(std::ceil(QFontMetricsF(Font).horizontalAdvance(text))) + 1;
    const int missing = textWidth - hintLayout(size, frame, AlphaWidth).text.width();
    if (missing > 0)
        size.setWidth(std::max(size.width(), std::min(size.width() + missing, kMaxHintWidth)));
    const QRect textRect = hintLayout(size, frame, AlphaWidth).text;

    QImage image = blankImage(size);
    QPainter painter(&image);
    drawStretched(painter, background, size.width());
    painter.setFont(Font);
    painter.setPen(FontColor);
    shownText_ = fm.elidedText(text, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText_);
    painter.end();
    picture_ = QPixmap::fromImage(image);
}

void TOrlaWindowHint::paintWindow(QWidget* target) {
    QPainter painter(target);
    painter.setOpacity(std::clamp(Alpha, 0, 255) / 255.0);
    painter.drawPixmap(0, 0, picture_);
    if (!frames_.isEmpty()) {
        const QPixmap& frame = frames_[frame_ % frames_.size()];
        const QRect place =
            hintLayout(logicalSize(picture_), logicalSize(frame), AlphaWidth).animation;
        painter.drawPixmap(place.topLeft(), frame);
    }
}

void TOrlaWindowHint::nextFrame() {
    if (frames_.isEmpty())
        return;
    frame_ = (frame_ + 1) % int(frames_.size());
    if (window_ != nullptr)
        window_->update();
}

void TOrlaWindowHint::ShowOrlaHint(bool isnew, int x, int Y, bool isShowModal) {
    composePicture(isnew ? NewHint : RestoreHint);
    if (window_ == nullptr) {
        window_ = new THintWindow(this, owner_);
        // Freed with its owner: whoever waits on it is released.
        connect(window_, &QObject::destroyed, this, &TOrlaWindowHint::release);
    }
    THintWindow* window = window_;

    const QSize size = logicalSize(picture_);
    window->setFixedSize(size);
    if (x == 0 && Y == 0) {
        QScreen* screen = owner_ != nullptr ? owner_->screen() : QGuiApplication::primaryScreen();
        const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
        const QRect area = owner_ != nullptr
                               ? QRect(owner_->mapToGlobal(QPoint(0, 0)), owner_->size())
                               : available;
        window->move(area.x() + (area.width() - size.width()) / 2,
                     area.y() + (area.height() - size.height()) / 2);
    } else {
        window->move(x, Y);
    }

    frame_ = 0;
    if (DrawInterval > 0 && frames_.size() > 1)
        timer_->start(DrawInterval);
    if (!cursorSet_) {
        QApplication::setOverrideCursor(QCursor(WorkCusor));
        cursorSet_ = true;
    }
    window->show();
    window->raise();
    window->update();

    if (isShowModal && window->isVisible()) {
        const QPointer<TOrlaWindowHint> self = this;
        QEventLoop loop;
        loops_.append(&loop);
        if (guard_ == nullptr) {
            guard_ = new TInputGuard(window);
            qApp->installEventFilter(guard_);
        }
        loop.exec(QEventLoop::DialogExec);
        if (self != nullptr)
            loops_.removeAll(&loop);
    }
}

void TOrlaWindowHint::CloseOrlaHint() {
    // Callable from any thread: the work is done on the component's own.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &TOrlaWindowHint::CloseOrlaHint, Qt::QueuedConnection);
        return;
    }
    if (window_ != nullptr)
        window_->hide();
    release();
}

void TOrlaWindowHint::release() {
    timer_->stop();
    delete guard_.data();
    if (cursorSet_) {
        cursorSet_ = false;
        QApplication::restoreOverrideCursor();
    }
    for (const QPointer<QEventLoop>& loop : std::as_const(loops_)) {
        if (loop != nullptr)
            loop->quit();
    }
}

} // namespace pelidor
