// The screen-capture window: it freezes the primary screen and lets the user drag a
// rectangle over the still picture; the chosen region becomes NewPng.
//
// Shown modally (exec), it ends with kCatchOk (1) when a region was captured and with
// kCatchCancel (2) when the user pressed Escape or released the right mouse button, or
// when the session does not allow reading the screen (some Wayland compositors). A click
// without dragging, or a drag of zero width or height, captures nothing and the window
// stays. Cancelling leaves NewPng as it was.
#pragma once

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QShowEvent;

namespace pelidor {

inline constexpr int kCatchOk = 1;
inline constexpr int kCatchCancel = 2;
// The selection's outline: 16316664 (very light grey).
inline constexpr QRgb kCatchOutlineColor = 0xFFF8F8F8;

// The whole primary screen (QScreen::grabWindow(0)) as a 32-bit picture; a null picture
// when there is no screen or the session refuses the capture.
QImage GrabPrimaryScreen();

// The surface the frozen screen and the selection are drawn on.
class TCatchPaintBox : public QWidget {
    Q_OBJECT

public:
    explicit TCatchPaintBox(QWidget* Parent = nullptr);
    void setPicture(const QImage& Picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

class TFrmCatch : public QDialog {
    Q_OBJECT

public:
    explicit TFrmCatch(QWidget* Parent = nullptr);

    // Where the frozen screen comes from (default: GrabPrimaryScreen), called each time
    // the window is shown; a null picture cancels the capture.
    std::function<QImage()> ScreenGrabber;

    // The captured region after a successful selection.
    QImage NewPng;
    // NewPng as PNG bytes (empty when nothing was captured).
    QByteArray NewPngBytes() const;
    // Writes NewPng as a PNG file (the file appears whole or not at all). False when
    // nothing was captured or the file could not be written.
    bool SaveNewPng(const QString& FileName) const;

    // The frozen screen of this showing (null before the first showing).
    const QImage& Capture() const { return capture_; }
    TCatchPaintBox* PaintBox() const { return pb1; }
    // The tint laid over the selection.
    const QImage& MaskPng() const { return maskPng_; }
    // The selection as it stands (start point and current point, in screen pixels).
    QPoint StartPoint() const { return start_; }
    QPoint CurrentPoint() const { return current_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void tmr1Timer();
    void drawSelection(const QPoint& To);
    // A window point in capture pixels (the capture may have more pixels than the
    // window has logical ones), kept inside the picture.
    QPoint toCapture(const QPoint& Point) const;

    TCatchPaintBox* pb1 = nullptr;
    QTimer tmr1;
    QImage maskPng_;
    QImage capture_;
    QPoint start_;
    QPoint current_;
    bool selecting_ = false;
};

} // namespace pelidor
