#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaAccessible.h"

#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QAccessible>
#include <QAction>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pelidor {
namespace {

QColor col(QRgb rgb) {
    return QColor::fromRgba(rgb);
}

// The width a text needs in font, rounded up, so that it is never cut.
int textWidth(const QFont& font, const QString& text) {
    return text.isEmpty() ? 0 : int(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
}

void drawRounded(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& line,
                 qreal radius) {
    painter.setPen(line.isValid() ? QPen(line, 1) : QPen(Qt::NoPen));
    painter.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

constexpr int kIconSpacing = 6;

} // namespace

// --- TOrlaButton -------------------------------------------------------------------

TOrlaButton::TOrlaButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::pressed, this, &TOrlaButton::checkState);
    connect(this, &QAbstractButton::released, this, &TOrlaButton::checkState);
}

TOrlaButton::State TOrlaButton::drawState() const {
    if (!isEnabled())
        return Disabled;
    if (isDown())
        return Pressed;
    if (hovered_)
        return Hover;
    if (keyboardFocus_ && hasFocus())
        return Focused;
    return Normal;
}

bool TOrlaButton::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        hovered_ = true;
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
    case QEvent::Hide:
        hovered_ = false;
        break;
    case QEvent::FocusIn: {
        // Only focus reached from the keyboard is shown; a click leaves no mark.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        keyboardFocus_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                         reason == Qt::ShortcutFocusReason;
        break;
    }
    case QEvent::FocusOut:
        keyboardFocus_ = false;
        break;
    default:
        break;
    }
    const bool result = QAbstractButton::event(event);
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::Hide:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        checkState();
        break;
    default:
        break;
    }
    return result;
}

void TOrlaButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        checkState();
}

void TOrlaButton::checkState() {
    const State state = drawState();
    if (state == lastState_)
        return;
    lastState_ = state;
    update();
    emit drawStateChanged(state);
}

// --- TOrlaImageButton ----------------------------------------------------------------

TOrlaImageButton::TOrlaImageButton(QWidget* parent) : TOrlaButton(parent) {
    setIconSize(QSize(16, 16));
}

TOrlaImageButton::TOrlaImageButton(const QString& text, QWidget* parent)
    : TOrlaImageButton(parent) {
    setText(text);
}

void TOrlaImageButton::setKind(Kind kind) {
    kind_ = kind;
    update();
}

void TOrlaImageButton::setStatePicture(State state, const QIcon& picture) {
    pictures_[size_t(state)] = picture;
    update();
}

QIcon TOrlaImageButton::statePicture(State state) const {
    return pictures_[size_t(state)];
}

void TOrlaImageButton::setStatePictures(const QString& name) {
    setStatePicture(Normal, OrlaPicture(name));
    setStatePicture(Hover, OrlaPicture(name + QStringLiteral("-hover")));
    setStatePicture(Pressed, OrlaPicture(name + QStringLiteral("-pressed")));
}

QSize TOrlaImageButton::sizeHint() const {
    const QFontMetrics metrics(font());
    int width = 0;
    if (!icon().isNull())
        width += iconSize().width();
    if (!text().isEmpty())
        width += textWidth(font(), text()) + (width > 0 ? kIconSpacing : 0);
    const bool iconOnly = text().isEmpty();
    if (iconOnly) {
        const int side = std::max(iconSize().width(), iconSize().height()) + 8;
        return {side, side};
    }
    return {std::max(width + 28, 80), std::max(metrics.height() + 12, 26)};
}

QSize TOrlaImageButton::minimumSizeHint() const {
    return text().isEmpty() ? sizeHint() : QSize(24, 20);
}

void TOrlaImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const State state = drawState();
    const QRectF face = rect();

    QIcon picture = pictures_[size_t(state)];
    if (picture.isNull())
        picture = pictures_[Normal];
    QColor textColor = col(state == Disabled ? kOrlaDisabledText : kOrlaText);
    if (!picture.isNull()) {
        picture.paint(&painter, rect(), Qt::AlignCenter,
                      state == Disabled ? QIcon::Disabled : QIcon::Normal);
    } else {
        switch (kind_) {
        case Plain: {
            QColor fill = col(kOrlaBackground), line = col(kOrlaLine);
            if (state == Disabled)
                fill = col(kOrlaDisabledFill);
            else if (state == Pressed)
                fill = col(kOrlaPressedFill), line = col(kOrlaAccent);
            else if (state == Hover)
                fill = col(kOrlaHoverFill), line = col(kOrlaLineHover);
            else if (state == Focused)
                line = col(kOrlaAccent);
            drawRounded(painter, face, fill, line, 3);
            break;
        }
        case Accent: {
            QColor fill = col(kOrlaAccent);
            if (state == Disabled)
                fill = QColor(0xA9, 0xC9, 0xE8);
            else if (state == Pressed)
                fill = col(kOrlaAccentPressed);
            else if (state == Hover)
                fill = col(kOrlaAccentHover);
            drawRounded(painter, face, fill, state == Focused ? col(kOrlaAccentPressed) : fill, 3);
            if (state == Focused)
                drawRounded(painter, face.adjusted(1, 1, -1, -1), QColor(),
                            QColor(255, 255, 255, 140), 2);
            textColor = Qt::white;
            break;
        }
        case Flat:
            if (state == Pressed)
                drawRounded(painter, face, col(kOrlaPressedFill), QColor(), 3);
            else if (state == Hover)
                drawRounded(painter, face, col(kOrlaHoverFill), QColor(), 3);
            else if (state == Focused)
                drawRounded(painter, face, QColor(), col(kOrlaAccent), 3);
            break;
        }
    }

    // Icon and caption, centred together; the caption cut with an ellipsis.
    const QIcon glyph = icon();
    const QSize glyphSize = glyph.isNull() ? QSize() : iconSize();
    const QFontMetrics metrics(font());
    int available = width() - 12;
    if (!glyph.isNull())
        available -= glyphSize.width() + (text().isEmpty() ? 0 : kIconSpacing);
    const QString caption =
        metrics.elidedText(text(), Qt::ElideRight, std::max(0, available), Qt::TextShowMnemonic);
    const int captionWidth = textWidth(font(), caption);
    int contentWidth = captionWidth;
    if (!glyph.isNull())
        contentWidth += glyphSize.width() + (caption.isEmpty() ? 0 : kIconSpacing);
    int x = (width() - contentWidth) / 2;
    if (!glyph.isNull()) {
        const QRect glyphRect(x, (height() - glyphSize.height()) / 2, glyphSize.width(),
                              glyphSize.height());
        glyph.paint(&painter, glyphRect, Qt::AlignCenter,
                    state == Disabled ? QIcon::Disabled : QIcon::Normal);
        x += glyphSize.width() + kIconSpacing;
    }
    if (!caption.isEmpty()) {
        painter.setPen(textColor);
        painter.setFont(font());
        painter.drawText(QRect(x, 0, captionWidth, height()),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, caption);
    }
}

// --- TOrlaLinkButton ----------------------------------------------------------------

TOrlaLinkButton::TOrlaLinkButton(QWidget* parent) : TOrlaButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setIconSize(QSize(16, 16));
}

TOrlaLinkButton::TOrlaLinkButton(const QString& text, QWidget* parent) : TOrlaLinkButton(parent) {
    setText(text);
}

QSize TOrlaLinkButton::sizeHint() const {
    const QFontMetrics metrics(font());
    int width = textWidth(font(), text()) + 4;
    int height = metrics.height() + 6;
    if (!icon().isNull()) {
        width += iconSize().width() + (text().isEmpty() ? 0 : kIconSpacing);
        height = std::max(height, iconSize().height() + 4);
    }
    return {width, height};
}

QSize TOrlaLinkButton::minimumSizeHint() const {
    return sizeHint();
}

void TOrlaLinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const State state = drawState();
    QRgb color = kOrlaLink;
    if (state == Disabled)
        color = kOrlaDisabledText;
    else if (state == Pressed)
        color = kOrlaLinkPressed;
    else if (state == Hover)
        color = kOrlaLinkHover;

    int x = 2;
    if (!icon().isNull()) {
        const QSize size = iconSize();
        icon().paint(&painter,
                     QRect(x, (height() - size.height()) / 2, size.width(), size.height()),
                     Qt::AlignCenter, state == Disabled ? QIcon::Disabled : QIcon::Normal);
        x += size.width() + kIconSpacing;
    }
    if (text().isEmpty())
        return;
    QFont textFont = font();
    textFont.setUnderline(state == Hover || state == Pressed);
    painter.setFont(textFont);
    painter.setPen(col(color));
    const QFontMetrics metrics(textFont);
    const QString caption = metrics.elidedText(text(), Qt::ElideRight, std::max(0, width() - x - 2),
                                               Qt::TextShowMnemonic);
    const QRect textRect(x, 0, width() - x, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, caption);
    if (state == Focused) {
        // A dotted underline marks the keyboard focus.
        const int base = (height() + metrics.ascent() - metrics.descent()) / 2 + 2;
        painter.setPen(QPen(col(color), 1, Qt::DotLine));
        painter.drawLine(x, base, x + metrics.horizontalAdvance(caption), base);
    }
}

// --- TOrlaPanel ----------------------------------------------------------------------

TOrlaPanel::TOrlaPanel(QWidget* parent)
    : QWidget(parent), color_(col(kOrlaBackground)), borderColor_(col(kOrlaLine)) {
    InstallOrlaAccessibility();
}

void TOrlaPanel::setColor(const QColor& color) {
    color_ = color;
    update();
}

void TOrlaPanel::setBorderColor(const QColor& color) {
    borderColor_ = color;
    update();
}

void TOrlaPanel::setBorders(Qt::Edges edges) {
    borders_ = edges;
    update();
}

void TOrlaPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), color_);
    painter.setPen(borderColor_);
    const QRect r = rect();
    if (borders_ & Qt::TopEdge)
        painter.drawLine(r.topLeft(), r.topRight());
    if (borders_ & Qt::BottomEdge)
        painter.drawLine(r.bottomLeft(), r.bottomRight());
    if (borders_ & Qt::LeftEdge)
        painter.drawLine(r.topLeft(), r.bottomLeft());
    if (borders_ & Qt::RightEdge)
        painter.drawLine(r.topRight(), r.bottomRight());
}

void TOrlaPanel::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit pressed();
}

// --- TOrlaProgressBar ----------------------------------------------------------------

TOrlaProgressBar::TOrlaProgressBar(QWidget* parent) : QWidget(parent) {
    InstallOrlaAccessibility();
    timer_.setInterval(kFrameInterval);
    connect(&timer_, &QTimer::timeout, this, [this] {
        ++frame_;
        update();
    });
}

void TOrlaProgressBar::setMaximum(int maximum) {
    maximum_ = std::max(0, maximum);
    update();
}

void TOrlaProgressBar::setValue(int value) {
    if (value != value_ && QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, value);
        QAccessible::updateAccessibility(&changed);
    }
    value_ = value;
    update();
}

double TOrlaProgressBar::fraction() const {
    // A bar whose maximum is 0 has nothing left to do: it counts as full.
    if (maximum_ <= 0)
        return 1.0;
    return std::clamp(double(value_) / double(maximum_), 0.0, 1.0);
}

void TOrlaProgressBar::setRunning(bool running) {
    if (running == timer_.isActive())
        return;
    if (running)
        timer_.start();
    else
        timer_.stop();
    update();
}

QSize TOrlaProgressBar::sizeHint() const {
    return {200, 12};
}

void TOrlaProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = rect();
    const qreal radius = std::min(track.height(), track.width()) / 2;
    drawRounded(painter, track, col(kOrlaTrack), QColor(), radius);
    const qreal filled = std::round(track.width() * fraction());
    if (filled <= 0)
        return;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(track.left(), track.top(), filled, track.height()), radius, radius);
    painter.setClipPath(shape);
    painter.fillRect(track, col(kOrlaAccent));
    if (!isRunning())
        return;
    // Slanted light stripes, moved 2 pixels each frame.
    const qreal period = 2 * kStripeWidth;
    const qreal offset = std::fmod(frame_ * 2.0, period);
    const qreal h = track.height();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 70));
    for (qreal x = -period - h + offset; x < filled + h; x += period) {
        QPolygonF stripe;
        stripe << QPointF(x, track.bottom() + 1) << QPointF(x + h, track.top())
               << QPointF(x + h + kStripeWidth, track.top())
               << QPointF(x + kStripeWidth, track.bottom() + 1);
        painter.drawPolygon(stripe);
    }
}

// --- TOrlaAnimation ------------------------------------------------------------------

TOrlaAnimation::TOrlaAnimation(QWidget* parent)
    : QWidget(parent),
      renderer_(new QSvgRenderer(OrlaPicturePath(QStringLiteral("search")), this)) {
    timer_.setInterval(kFrameInterval);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrameCount;
        update();
    });
}

void TOrlaAnimation::setState(State state) {
    state_ = state;
    frame_ = 0;
    if (state == Running)
        timer_.start();
    else
        timer_.stop();
    update();
}

void TOrlaAnimation::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer& renderer = *renderer_;
    if (!renderer.isValid())
        return;
    // Fit the picture's view box into the widget, keeping its proportions.
    const QRectF box = renderer.viewBoxF();
    QSizeF size = box.size();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    const qreal scale = size.width() / box.width();
    painter.translate((width() - size.width()) / 2, (height() - size.height()) / 2);
    painter.scale(scale, scale);
    painter.translate(-box.topLeft());

    // The lens circles 4 units off its place, one eighth of a turn per frame.
    const double angle = frame_ * (2 * std::numbers::pi / kFrameCount);
    const QPointF lensOffset =
        state_ == Running ? QPointF(4 * std::cos(angle) - 4, 4 * std::sin(angle)) : QPointF();
    const QString base = QStringLiteral("base"), lens = QStringLiteral("lens");
    if (renderer.elementExists(base) && renderer.elementExists(lens)) {
        renderer.render(&painter, base, renderer.boundsOnElement(base));
        renderer.render(&painter, lens, renderer.boundsOnElement(lens).translated(lensOffset));
    } else {
        painter.translate(lensOffset);
        renderer.render(&painter, box);
        painter.translate(-lensOffset);
    }

    if (state_ == Complete) {
        // A tick in the corner: the search is done.
        const QRectF badge(box.right() - 17, box.bottom() - 17, 16, 16);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(QColor(0x17, 0xA5, 0x92));
        painter.drawEllipse(badge);
        QPainterPath tick;
        tick.moveTo(badge.left() + 4.2, badge.top() + 8.4);
        tick.lineTo(badge.left() + 7, badge.top() + 11.2);
        tick.lineTo(badge.left() + 12, badge.top() + 5.4);
        painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
}

// --- Popup menus ---------------------------------------------------------------------

void BuildOrlaPopupMenu(QMenu& menu, const QStringList& captions) {
    menu.clear();
    for (qsizetype i = 0; i < captions.size(); ++i) {
        QAction* action =
            captions[i] == QStringLiteral("-") ? menu.addSeparator() : menu.addAction(captions[i]);
        action->setData(int(i));
    }
}

int OrlaMenuTag(const QAction* action) {
    if (action == nullptr)
        return -1;
    bool ok = false;
    const int tag = action->data().toInt(&ok);
    return ok ? tag : -1;
}

TOrlaPopupMenu::TOrlaPopupMenu(QWidget* parent) : QMenu(parent) {
    // Follow the owner window's font (a language switch changes it).
    setAttribute(Qt::WA_WindowPropagation);
    setMinimumWidth(TOrlaStyle::kMenuMinWidth);
    connect(this, &QMenu::triggered, this, [this](QAction* action) {
        if (action->parent() == this && !action->isSeparator()) {
            const int tag = OrlaMenuTag(action);
            if (tag >= 0)
                emit itemClicked(tag);
        }
    });
}

} // namespace pelidor
