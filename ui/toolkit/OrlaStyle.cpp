#include "ui/toolkit/OrlaStyle.h"

#include "config/uLanguage.h"
#include "ui/toolkit/OrlaControls.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

#include <algorithm>

namespace pelidor {
namespace {

QColor col(QRgb rgb) {
    return QColor::fromRgba(rgb);
}

// A rounded rectangle whose 1-pixel outline sits on whole pixels.
void drawBox(QPainter* painter, const QRect& rect, const QColor& fill, const QColor& line,
             qreal radius) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(line.isValid() ? QPen(line, 1) : QPen(Qt::NoPen));
    painter->setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    painter->drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter->restore();
}

// A small chevron pointing in direction, centred in rect.
void drawChevron(QPainter* painter, const QRect& rect, Qt::ArrowType direction,
                 const QColor& color) {
    const qreal size = std::min<qreal>(8, std::min(rect.width(), rect.height()) - 2);
    if (size < 3)
        return;
    const QPointF c = QRectF(rect).center();
    const qreal h = size / 2, q = size / 4;
    QPolygonF points;
    switch (direction) {
    case Qt::UpArrow:
        points << QPointF(c.x() - h, c.y() + q) << QPointF(c.x(), c.y() - q)
               << QPointF(c.x() + h, c.y() + q);
        break;
    case Qt::LeftArrow:
        points << QPointF(c.x() + q, c.y() - h) << QPointF(c.x() - q, c.y())
               << QPointF(c.x() + q, c.y() + h);
        break;
    case Qt::RightArrow:
        points << QPointF(c.x() - q, c.y() - h) << QPointF(c.x() + q, c.y())
               << QPointF(c.x() - q, c.y() + h);
        break;
    default:
        points << QPointF(c.x() - h, c.y() - q) << QPointF(c.x(), c.y() + q)
               << QPointF(c.x() + h, c.y() - q);
        break;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPolyline(points);
    painter->restore();
}

void drawTick(QPainter* painter, const QRectF& box, const QColor& color, qreal width) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(box.left() + box.width() * 0.24, box.top() + box.height() * 0.52);
    path.lineTo(box.left() + box.width() * 0.43, box.top() + box.height() * 0.71);
    path.lineTo(box.left() + box.width() * 0.77, box.top() + box.height() * 0.31);
    painter->drawPath(path);
    painter->restore();
}

// The face of a push button, a tool button or a combo box.
void drawButtonFace(QPainter* painter, const QRect& rect, QStyle::State state, bool isDefault) {
    const bool enabled = state & QStyle::State_Enabled;
    const bool pressed = state & (QStyle::State_Sunken | QStyle::State_On);
    const bool hover = state & QStyle::State_MouseOver;
    const bool focus = state & QStyle::State_HasFocus;
    QColor fill = col(kOrlaBackground), line = col(kOrlaLine);
    if (!enabled) {
        fill = col(kOrlaDisabledFill);
    } else {
        if (pressed)
            fill = col(kOrlaPressedFill);
        else if (hover)
            fill = col(kOrlaHoverFill);
        if (focus || isDefault || pressed)
            line = col(kOrlaAccent);
        else if (hover)
            line = col(kOrlaLineHover);
    }
    drawBox(painter, rect, fill, line, 3);
}

QRect centredSquare(const QRect& rect, int size) {
    size = std::min({size, rect.width(), rect.height()});
    return QRect(rect.x() + (rect.width() - size) / 2, rect.y() + (rect.height() - size) / 2, size,
                 size);
}

void drawMenuItem(const QStyle* style, const QStyleOptionMenuItem* item, QPainter* painter,
                  const QWidget* widget) {
    const QRect r = item->rect;
    painter->fillRect(r, col(kOrlaBackground));
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = r.top() + r.height() / 2;
        painter->setPen(col(kOrlaLine));
        painter->drawLine(r.left() + 8, y, r.right() - 8, y);
        return;
    }
    if (item->menuItemType == QStyleOptionMenuItem::EmptyArea ||
        item->menuItemType == QStyleOptionMenuItem::Margin)
        return;
    const bool enabled = item->state & QStyle::State_Enabled;
    const bool selected = enabled && (item->state & QStyle::State_Selected);
    if (selected)
        painter->fillRect(r, col(kOrlaHoverFill));
    const bool inCombo = qobject_cast<const QComboBox*>(widget) != nullptr;
    const QColor textColor = col(enabled ? kOrlaText : kOrlaDisabledText);

    int textLeft = r.left() + 10;
    if (!inCombo && (item->maxIconWidth > 0 || item->menuHasCheckableItems)) {
        const QRect column(r.left() + 6, r.top(), 18, r.height());
        if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) {
            const QRect box = centredSquare(column, 14);
            if (item->checkType == QStyleOptionMenuItem::Exclusive) {
                painter->save();
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setPen(Qt::NoPen);
                painter->setBrush(col(enabled ? kOrlaAccent : kOrlaDisabledText));
                painter->drawEllipse(QRectF(box).center(), 3, 3);
                painter->restore();
            } else {
                drawTick(painter, box, col(enabled ? kOrlaAccent : kOrlaDisabledText), 1.8);
            }
        } else if (!item->icon.isNull()) {
            const QRect iconRect = centredSquare(column, 16);
            item->icon.paint(painter, iconRect, Qt::AlignCenter,
                             enabled ? QIcon::Normal : QIcon::Disabled);
        }
        textLeft = r.left() + 30;
    }

    QString text = item->text;
    QString shortcut;
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0) {
        shortcut = text.mid(tab + 1);
        text = text.left(tab);
    }
    QFont font = item->font;
    if (item->menuItemType == QStyleOptionMenuItem::DefaultItem)
        font.setBold(true);
    painter->save();
    painter->setFont(font);
    const int rightEdge = r.right() - (inCombo ? 8 : 22);
    const QRect textRect(textLeft, r.top(), std::max(0, rightEdge - textLeft), r.height());
    int flags = Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine;
    flags |= style->styleHint(QStyle::SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic
                                                                          : Qt::TextHideMnemonic;
    painter->setPen(textColor);
    const QFontMetrics metrics(font);
    painter->drawText(
        textRect, flags,
        metrics.elidedText(text, Qt::ElideRight, textRect.width(), Qt::TextShowMnemonic));
    if (!shortcut.isEmpty()) {
        painter->setPen(col(enabled ? kOrlaMutedText : kOrlaDisabledText));
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine,
                          shortcut);
    }
    painter->restore();
    if (item->menuItemType == QStyleOptionMenuItem::SubMenu)
        drawChevron(painter, QRect(r.right() - 18, r.top(), 12, r.height()), Qt::RightArrow,
                    col(enabled ? kOrlaMutedText : kOrlaDisabledText));
}

} // namespace

void DrawOrlaCheckBox(QPainter* painter, const QRect& rect, Qt::CheckState state, bool enabled,
                      bool hovered) {
    const QRect box = centredSquare(rect, std::min(rect.width(), rect.height()));
    if (box.isEmpty())
        return;
    if (state == Qt::Unchecked) {
        const QColor line = col(!enabled ? kOrlaLine : hovered ? kOrlaAccent : kOrlaIndicatorLine);
        drawBox(painter, box, col(enabled ? kOrlaBackground : kOrlaDisabledFill), line, 2);
        return;
    }
    const QColor fill = col(!enabled ? kOrlaLine : hovered ? kOrlaAccentHover : kOrlaAccent);
    drawBox(painter, box, fill, fill, 2);
    const QColor mark = enabled ? QColor(Qt::white) : col(kOrlaDisabledFill);
    if (state == Qt::PartiallyChecked) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(mark, 2, Qt::SolidLine, Qt::RoundCap));
        const QRectF b(box);
        painter->drawLine(QPointF(b.left() + b.width() * 0.27, b.center().y()),
                          QPointF(b.right() - b.width() * 0.27, b.center().y()));
        painter->restore();
        return;
    }
    drawTick(painter, box, mark, std::max(1.6, box.width() / 8.0));
}

TOrlaStyle::TOrlaStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {
    setObjectName(QStringLiteral("orla"));
}

QPalette TOrlaStyle::standardPalette() const {
    return OrlaPalette();
}

void TOrlaStyle::polish(QWidget* widget) {
    QProxyStyle::polish(widget);
    if (qobject_cast<QAbstractButton*>(widget) != nullptr ||
        qobject_cast<QComboBox*>(widget) != nullptr ||
        qobject_cast<QLineEdit*>(widget) != nullptr ||
        qobject_cast<QAbstractSpinBox*>(widget) != nullptr ||
        qobject_cast<QScrollBar*>(widget) != nullptr ||
        qobject_cast<QHeaderView*>(widget) != nullptr)
        widget->setAttribute(Qt::WA_Hover);
    if (auto* menu = qobject_cast<QMenu*>(widget))
        menu->setMinimumWidth(std::max(menu->minimumWidth(), kMenuMinWidth));
}

void TOrlaStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    const bool enabled = option->state & State_Enabled;
    switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel: {
        bool isDefault = false;
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option))
            isDefault = button->features & QStyleOptionButton::DefaultButton;
        drawButtonFace(painter, option->rect, option->state, isDefault);
        return;
    }
    case PE_PanelButtonTool:
        if ((option->state & State_AutoRaise) &&
            !(option->state & (State_MouseOver | State_Sunken | State_On)))
            return;
        drawButtonFace(painter, option->rect, option->state, false);
        return;
    case PE_FrameDefaultButton:
    case PE_FrameButtonBevel:
    case PE_FrameButtonTool:
        return;
    case PE_FrameFocusRect:
        // Buttons, edits and lists show focus in their own frames; check boxes and
        // radio buttons get a thin accent line round the caption.
        if (qobject_cast<const QCheckBox*>(widget) == nullptr &&
            qobject_cast<const QRadioButton*>(widget) == nullptr)
            return;
        {
            QColor line = col(kOrlaAccent);
            line.setAlpha(150);
            drawBox(painter, option->rect, QColor(), line, 2);
        }
        return;
    case PE_IndicatorCheckBox:
    case PE_IndicatorItemViewItemCheck: {
        Qt::CheckState state = Qt::Unchecked;
        if (option->state & State_On)
            state = Qt::Checked;
        else if (option->state & State_NoChange)
            state = Qt::PartiallyChecked;
        DrawOrlaCheckBox(painter, centredSquare(option->rect, kIndicatorSize), state, enabled,
                         option->state & State_MouseOver);
        return;
    }
    case PE_IndicatorRadioButton: {
        const QRect box = centredSquare(option->rect, kIndicatorSize);
        const bool on = option->state & State_On;
        const bool hover = option->state & State_MouseOver;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF b = QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5);
        if (on) {
            const QColor fill = col(!enabled ? kOrlaLine : hover ? kOrlaAccentHover : kOrlaAccent);
            painter->setPen(QPen(fill, 1));
            painter->setBrush(fill);
            painter->drawEllipse(b);
            painter->setPen(Qt::NoPen);
            painter->setBrush(enabled ? QColor(Qt::white) : col(kOrlaDisabledFill));
            painter->drawEllipse(b.center(), b.width() / 5, b.height() / 5);
        } else {
            painter->setPen(QPen(col(!enabled ? kOrlaLine
                                     : hover  ? kOrlaAccent
                                              : kOrlaIndicatorLine),
                                 1));
            painter->setBrush(col(enabled ? kOrlaBackground : kOrlaDisabledFill));
            painter->drawEllipse(b);
        }
        painter->restore();
        return;
    }
    case PE_PanelLineEdit: {
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        const QColor fill = col(enabled ? kOrlaBackground : kOrlaDisabledFill);
        if (frame != nullptr && frame->lineWidth > 0) {
            QColor line = col(kOrlaLine);
            if (enabled && (option->state & State_HasFocus))
                line = col(kOrlaAccent);
            else if (enabled && (option->state & State_MouseOver))
                line = col(kOrlaLineHover);
            drawBox(painter, option->rect, fill, line, 2);
        } else {
            painter->fillRect(option->rect, fill);
        }
        return;
    }
    case PE_FrameLineEdit:
        drawBox(painter, option->rect, QColor(),
                col((enabled && (option->state & State_HasFocus)) ? kOrlaAccent : kOrlaLine), 2);
        return;
    case PE_Frame:
    case PE_FrameGroupBox:
    case PE_FrameWindow:
    case PE_FrameDockWidget:
    case PE_FrameStatusBarItem:
        painter->save();
        painter->setPen(col(kOrlaLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    case PE_PanelMenu:
    case PE_FrameMenu:
    case PE_PanelTipLabel:
        painter->save();
        painter->setPen(col(kOrlaLine));
        painter->setBrush(element == PE_PanelTipLabel ? option->palette.toolTipBase()
                          : element == PE_PanelMenu   ? QBrush(col(kOrlaBackground))
                                                      : QBrush(Qt::NoBrush));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    case PE_PanelMenuBar:
        painter->fillRect(option->rect, col(kOrlaBackground));
        return;
    case PE_PanelScrollAreaCorner:
        painter->fillRect(option->rect, col(kOrlaBackground));
        return;
    case PE_PanelItemViewItem:
        if (option->state & State_Selected)
            painter->fillRect(option->rect, col(kOrlaPressedFill));
        else if ((option->state & State_MouseOver) && enabled)
            painter->fillRect(option->rect, col(kOrlaHoverFill));
        return;
    case PE_IndicatorArrowDown:
    case PE_IndicatorArrowUp:
    case PE_IndicatorArrowLeft:
    case PE_IndicatorArrowRight:
    case PE_IndicatorSpinDown:
    case PE_IndicatorSpinUp: {
        const Qt::ArrowType direction =
            (element == PE_IndicatorArrowUp || element == PE_IndicatorSpinUp) ? Qt::UpArrow
            : element == PE_IndicatorArrowLeft                                ? Qt::LeftArrow
            : element == PE_IndicatorArrowRight                               ? Qt::RightArrow
                                                                              : Qt::DownArrow;
        drawChevron(painter, option->rect, direction,
                    col(enabled ? kOrlaMutedText : kOrlaDisabledText));
        return;
    }
    case PE_IndicatorHeaderArrow:
        if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
            if (header->sortIndicator == QStyleOptionHeader::None)
                return;
            drawChevron(painter, option->rect,
                        header->sortIndicator == QStyleOptionHeader::SortUp ? Qt::UpArrow
                                                                            : Qt::DownArrow,
                        col(kOrlaMutedText));
        }
        return;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TOrlaStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    switch (element) {
    case CE_MenuItem:
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            drawMenuItem(this, item, painter, widget);
            return;
        }
        break;
    case CE_MenuEmptyArea:
    case CE_MenuBarEmptyArea:
    case CE_MenuHMargin:
    case CE_MenuVMargin:
        painter->fillRect(option->rect, col(kOrlaBackground));
        return;
    case CE_MenuBarItem:
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            const bool active = (item->state & State_Selected) && (item->state & State_Enabled);
            painter->fillRect(item->rect, col(active ? kOrlaHoverFill : kOrlaBackground));
            painter->setPen(col((item->state & State_Enabled) ? kOrlaText : kOrlaDisabledText));
            painter->drawText(item->rect, Qt::AlignCenter | Qt::TextShowMnemonic, item->text);
            return;
        }
        break;
    case CE_HeaderSection: {
        const bool hover = (option->state & State_MouseOver) && (option->state & State_Enabled);
        painter->fillRect(option->rect, col(hover ? kOrlaHoverFill : kOrlaBackground));
        painter->save();
        painter->setPen(col(kOrlaLine));
        const QRect r = option->rect;
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter->drawLine(r.right(), r.top() + 4, r.right(), r.bottom() - 4);
        painter->restore();
        return;
    }
    case CE_HeaderLabel:
        // Captions start where the cells' texts start, not at the section's edge.
        if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
            QStyleOptionHeader label(*header);
            if (!(label.textAlignment & (Qt::AlignRight | Qt::AlignHCenter)))
                label.rect.adjust(kHeaderTextIndent, 0, 0, 0);
            QProxyStyle::drawControl(element, &label, painter, widget);
            return;
        }
        break;
    case CE_HeaderEmptyArea: {
        painter->fillRect(option->rect, col(kOrlaBackground));
        painter->save();
        painter->setPen(col(kOrlaLine));
        const QRect r = option->rect;
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter->restore();
        return;
    }
    case CE_ProgressBarGroove: {
        const QRect r = option->rect;
        drawBox(painter, r, col(kOrlaTrack), QColor(), std::min(r.height(), r.width()) / 2.0);
        return;
    }
    case CE_ProgressBarContents:
        if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option)) {
            const qint64 range = qint64(bar->maximum) - bar->minimum;
            double share = 1.0;
            if (range > 0)
                share = std::clamp(double(qint64(bar->progress) - bar->minimum) / double(range),
                                   0.0, 1.0);
            QRect r = bar->rect;
            const int filled = int(r.width() * share + 0.5);
            if (filled <= 0)
                return;
            r.setWidth(filled);
            if (bar->invertedAppearance)
                r.moveRight(bar->rect.right());
            drawBox(painter, r, col(kOrlaAccent), QColor(), std::min(r.height(), r.width()) / 2.0);
            return;
        }
        break;
    case CE_ShapedFrame:
        if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option)) {
            if (frame->frameShape == QFrame::HLine || frame->frameShape == QFrame::VLine) {
                painter->save();
                painter->setPen(col(kOrlaLine));
                const QRect r = frame->rect;
                if (frame->frameShape == QFrame::HLine)
                    painter->drawLine(r.left(), r.center().y(), r.right(), r.center().y());
                else
                    painter->drawLine(r.center().x(), r.top(), r.center().x(), r.bottom());
                painter->restore();
                return;
            }
            if (frame->frameShape == QFrame::Box || frame->frameShape == QFrame::Panel ||
                frame->frameShape == QFrame::WinPanel) {
                drawPrimitive(PE_Frame, option, painter, widget);
                return;
            }
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void TOrlaStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
    switch (control) {
    case CC_ComboBox:
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
            const bool enabled = combo->state & State_Enabled;
            QColor line = col(kOrlaLine);
            if (enabled && (combo->state & (State_HasFocus | State_On)))
                line = col(kOrlaAccent);
            else if (enabled && (combo->state & State_MouseOver))
                line = col(kOrlaLineHover);
            if (combo->frame)
                drawBox(painter, combo->rect, col(enabled ? kOrlaBackground : kOrlaDisabledFill),
                        line, 2);
            else
                painter->fillRect(combo->rect, col(enabled ? kOrlaBackground : kOrlaDisabledFill));
            if (combo->subControls & SC_ComboBoxArrow) {
                const QRect arrow = subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
                drawChevron(painter, arrow, Qt::DownArrow,
                            col(enabled ? kOrlaMutedText : kOrlaDisabledText));
            }
            return;
        }
        break;
    case CC_ScrollBar:
        if (const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            painter->fillRect(bar->rect, QColor(0xFA, 0xFA, 0xFA));
            if (bar->maximum <= bar->minimum || !(bar->state & State_Enabled))
                return;
            const bool horizontal = bar->orientation == Qt::Horizontal;
            QRect slider = subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget);
            slider = horizontal ? slider.adjusted(1, 2, -1, -2) : slider.adjusted(2, 1, -2, -1);
            const bool onSlider = bar->activeSubControls & SC_ScrollBarSlider;
            QColor fill(0xCC, 0xCC, 0xCC);
            if (onSlider && (bar->state & State_Sunken))
                fill = QColor(0x9A, 0x9A, 0x9A);
            else if (onSlider && (bar->state & State_MouseOver))
                fill = QColor(0xB2, 0xB2, 0xB2);
            drawBox(painter, slider, fill, QColor(),
                    std::min(slider.width(), slider.height()) / 2.0);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect TOrlaStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                 SubControl sub, const QWidget* widget) const {
    if (control == CC_ScrollBar) {
        if (const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            // Scroll bars without arrow buttons: the whole length is the groove.
            const QRect r = bar->rect;
            const bool horizontal = bar->orientation == Qt::Horizontal;
            const int length = horizontal ? r.width() : r.height();
            const qint64 range = qint64(bar->maximum) - bar->minimum;
            int sliderLength = length;
            if (range > 0) {
                const qint64 page = std::max(1, bar->pageStep);
                sliderLength = int(page * length / (range + page));
                sliderLength =
                    std::max(sliderLength, pixelMetric(PM_ScrollBarSliderMin, bar, widget));
                sliderLength = std::min(sliderLength, length);
            }
            const int start =
                sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                        length - sliderLength, bar->upsideDown);
            QRect result;
            auto span = [&](int from, int size) {
                return horizontal ? QRect(r.x() + from, r.y(), size, r.height())
                                  : QRect(r.x(), r.y() + from, r.width(), size);
            };
            switch (sub) {
            case SC_ScrollBarGroove:
                result = r;
                break;
            case SC_ScrollBarSlider:
                result = span(start, sliderLength);
                break;
            case SC_ScrollBarSubPage:
                result = span(0, start);
                break;
            case SC_ScrollBarAddPage:
                result = span(start + sliderLength, length - start - sliderLength);
                break;
            default:
                return QRect();
            }
            return visualRect(bar->direction, r, result);
        }
    }
    return QProxyStyle::subControlRect(control, option, sub, widget);
}

QSize TOrlaStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
    switch (type) {
    case CT_MenuItem:
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::Separator)
                return {std::max(size.width(), 20), kMenuSeparatorHeight};
            const bool inCombo = qobject_cast<const QComboBox*>(widget) != nullptr;
            int width = size.width() + (inCombo ? 18 : 52);
            const QFontMetrics metrics(item->font);
            const int height = std::max(kMenuItemHeight, metrics.height() + 4);
            if (qobject_cast<const QMenu*>(widget) != nullptr)
                width = std::max(width, kMenuMinWidth - 2 * pixelMetric(PM_MenuPanelWidth) -
                                            2 * pixelMetric(PM_MenuHMargin));
            return {width, height};
        }
        break;
    case CT_ComboBox:
    case CT_LineEdit: {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        result.setHeight(std::max(result.height(), 24));
        return result;
    }
    case CT_PushButton: {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        result.setHeight(std::max(result.height(), 26));
        return result;
    }
    default:
        break;
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int TOrlaStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                            const QWidget* widget) const {
    switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
        return kIndicatorSize;
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing:
        return 6;
    case PM_MenuPanelWidth:
    case PM_DefaultFrameWidth:
        return 1;
    case PM_MenuHMargin:
        return 0;
    case PM_MenuVMargin:
        return 4;
    case PM_MenuDesktopFrameWidth:
        return 0;
    case PM_SubMenuOverlap:
        return 0;
    case PM_ScrollBarExtent:
        return 10;
    case PM_ScrollBarSliderMin:
        return 24;
    case PM_ToolTipLabelFrameWidth:
        return 4;
    case PM_ButtonShiftHorizontal:
    case PM_ButtonShiftVertical:
        return 0;
    default:
        break;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int TOrlaStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const {
    switch (hint) {
    case SH_ComboBox_Popup:
        return 1;
    case SH_ToolTipLabel_Opacity:
        return 255;
    case SH_Menu_FlashTriggeredItem:
    case SH_EtchDisabledText:
    case SH_DitherDisabledText:
    case SH_ScrollBar_ContextMenu:
        return 0;
    case SH_ScrollBar_Transient:
        return 0;
    default:
        break;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QPalette OrlaPalette() {
    QPalette palette;
    auto set = [&palette](QPalette::ColorRole role, QRgb rgb) {
        palette.setColor(QPalette::All, role, col(rgb));
    };
    set(QPalette::Window, kOrlaBackground);
    set(QPalette::WindowText, kOrlaText);
    set(QPalette::Base, kOrlaBackground);
    set(QPalette::AlternateBase, 0xFFF7F9FB);
    set(QPalette::ToolTipBase, kOrlaBackground);
    set(QPalette::ToolTipText, kOrlaText);
    set(QPalette::PlaceholderText, 0xFFA0A0A0);
    set(QPalette::Text, kOrlaText);
    set(QPalette::Button, kOrlaBackground);
    set(QPalette::ButtonText, kOrlaText);
    set(QPalette::BrightText, 0xFFFFFFFF);
    set(QPalette::Light, 0xFFFFFFFF);
    set(QPalette::Midlight, 0xFFF2F2F2);
    set(QPalette::Mid, kOrlaLine);
    set(QPalette::Dark, 0xFFBDBDBD);
    set(QPalette::Shadow, 0xFF9A9A9A);
    set(QPalette::Highlight, kOrlaPressedFill);
    set(QPalette::HighlightedText, kOrlaText);
    set(QPalette::Link, kOrlaLink);
    set(QPalette::LinkVisited, kOrlaLink);
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, col(kOrlaDisabledText));
    palette.setColor(QPalette::Disabled, QPalette::Base, col(kOrlaDisabledFill));
    palette.setColor(QPalette::Disabled, QPalette::Button, col(kOrlaDisabledFill));
    return palette;
}

void ApplyOrlaLook(QApplication& app) {
    app.setStyle(new TOrlaStyle);
    app.setPalette(OrlaPalette());
    QToolTip::setPalette(OrlaPalette());
}

QFont LangFont() {
    QFont font(QString::fromStdString(GetLangFontName()));
    font.setPointSize(GetLangFontSize());
    return font;
}

void ApplyLangFont(QWidget* window) {
    if (window == nullptr)
        return;
    const QFont font = LangFont();
    window->setFont(font);
    QToolTip::setFont(font);
    static const char* const kTagFont = "pelidorTagFont";
    for (TOrlaImageButton* button : window->findChildren<TOrlaImageButton*>()) {
        if (button->Tag() > 0) {
            QFont larger = font;
            larger.setPointSize(font.pointSize() + button->Tag());
            button->setFont(larger);
            button->setProperty(kTagFont, true);
        } else if (button->property(kTagFont).toBool()) {
            // The Tag went back to 0: follow the window font again.
            button->setFont(QFont());
            button->setProperty(kTagFont, false);
        }
    }
}

} // namespace pelidor
