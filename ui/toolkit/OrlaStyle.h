// The program's look: light and flat, white backgrounds, dark grey text, light grey
// lines. One call, ApplyOrlaLook, sets the style and the palette for the whole
// application; ApplyLangFont gives a window the active language's font.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QProxyStyle>

class QApplication;
class QWidget;

namespace pelidor {

// The colours of the look (0xAARRGGBB).
inline constexpr QRgb kOrlaBackground = 0xFFFFFFFF; // windows, lists, edits, menus
inline constexpr QRgb kOrlaText = 0xFF383838;       // 3684408: every text
inline constexpr QRgb kOrlaLine = 0xFFDFDFDF;       // 14671839: lines and frames
inline constexpr QRgb kOrlaLineHover = 0xFFB9D3EC;  // a frame under the mouse
inline constexpr QRgb kOrlaAccent = 0xFF2F80CC;     // focus, ticks, filled buttons, bars
inline constexpr QRgb kOrlaAccentHover = 0xFF3C8DD6;
inline constexpr QRgb kOrlaAccentPressed = 0xFF1D5C9E;
inline constexpr QRgb kOrlaLink = 0xFF1F6FB5; // link-style text
inline constexpr QRgb kOrlaLinkHover = 0xFF2F80CC;
inline constexpr QRgb kOrlaLinkPressed = 0xFF1D5C9E;
inline constexpr QRgb kOrlaHoverFill = 0xFFEEF5FC;   // a row, item or button under the mouse
inline constexpr QRgb kOrlaPressedFill = 0xFFDCEAF7; // ... pressed, and selected text
inline constexpr QRgb kOrlaDisabledText = 0xFFA8A8A8;
inline constexpr QRgb kOrlaDisabledFill = 0xFFF5F5F5;
inline constexpr QRgb kOrlaMutedText = 0xFF8A8A8A;     // secondary texts, arrows
inline constexpr QRgb kOrlaIndicatorLine = 0xFFBDBDBD; // frame of an unticked check box
inline constexpr QRgb kOrlaTrack = 0xFFEDF1F5;         // empty part of a progress bar

// Qt's Fusion style with the flat look drawn over it: buttons, check boxes, edits,
// combo boxes, frames, menus (items 20 pixels high, at least 160 wide, "-" entries
// as lines), tooltips, scroll bars without arrows, headers and progress bars.
class TOrlaStyle : public QProxyStyle {
    Q_OBJECT

public:
    // Height of a menu entry and the least width of a menu, in pixels.
    static constexpr int kMenuItemHeight = 20;
    static constexpr int kMenuSeparatorHeight = 9;
    static constexpr int kMenuMinWidth = 160;
    // How far a header caption starts right of its section's own margin.
    static constexpr int kHeaderTextIndent = 8;
    // Edge of a check box.
    static constexpr int kIndicatorSize = 14;

    TOrlaStyle();

    QPalette standardPalette() const override;
    void polish(QWidget* widget) override;
    using QProxyStyle::polish;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

// The palette of the look: white backgrounds, text 3684408, lines 14671839.
QPalette OrlaPalette();

// Makes the look the application's: the style, the palette, tooltips alike. Call
// once, after the QApplication exists and before the first window is created.
void ApplyOrlaLook(QApplication& app);

// The window font of the active language pack (GetLangFontName, GetLangFontSize).
QFont LangFont();

// Gives window the active language's font; its controls inherit it, except image
// buttons with a Tag above 0, whose caption is Tag points larger. Tooltips take the
// font too. Windows call it each time they translate their texts.
void ApplyLangFont(QWidget* window);

// Draws the look's check box in rect: unticked, ticked or partly ticked
// (Qt::CheckState), dimmed when disabled, with a hover frame when hovered.
void DrawOrlaCheckBox(QPainter* painter, const QRect& rect, Qt::CheckState state, bool enabled,
                      bool hovered);

} // namespace pelidor
