// The busy window: a borderless, translucent window with a running animation and one
// line of text, shown while a background thread works. It never takes the keyboard
// focus. Shown modally, it drops the user's input to the program's other windows (they
// keep their focus and look) until CloseOrlaHint:
//
//     hint->ShowOrlaHint(true, 0, 0, true); // returns after the worker's end handler
//                                           // has called hint->CloseOrlaHint()
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class QEventLoop;
class QTimer;

namespace pelidor {

class THintWindow;
class TInputGuard;

class TOrlaWindowHint : public QObject {
    Q_OBJECT

public:
    // Owner: the form the window is centred over and kept above (may be null).
    explicit TOrlaWindowHint(QWidget* Owner = nullptr);
    ~TOrlaWindowHint() override;
    TOrlaWindowHint(const TOrlaWindowHint&) = delete;
    TOrlaWindowHint& operator=(const TOrlaWindowHint&) = delete;

    // Shows the window with NewHint (isnew) or RestoreHint, centred over the owner when
    // x and Y are both 0, else with its top-left corner at (x, Y) on the screen. With
    // isShowModal the call returns only once the window has been closed.
    void ShowOrlaHint(bool isnew, int x, int Y, bool isShowModal);
    // Closes the window when it is shown; does nothing otherwise.
    void CloseOrlaHint();

    // Takes NewHint and RestoreHint from the keys WaitBackup and WaitRestore of section
    // Message (no default) and the font from the active language.
    void Localize();

    // Settings. ImgForm: the background, whose size is the window's; when the text needs
    // more room its middle is stretched, up to 640 pixels in all, and a longer text is
    // cut with an ellipsis (default: the program's picture, or a painted rounded
    // rectangle). ImgAni: a strip of FrameCount
    // frames; a strip whose width is not a whole multiple of FrameCount gives no frames
    // (default: the program's spinner turned by 30 degrees per frame).
    QFont Font;
    QColor FontColor{0x38, 0x38, 0x38};
    int Alpha = 255;    // constant opacity over the pictures' own alpha
    int AlphaWidth = 4; // inner margin left of the animation
    int DrawInterval = 33;
    Qt::CursorShape WorkCusor = Qt::BusyCursor;
    QString NewHint;
    QString RestoreHint;
    bool ShowPrecent = false; // not used
    QPixmap ImgForm;
    void setImgAni(const QPixmap& Strip, int FrameCount);
    int FrameCount() const { return int(frames_.size()); }

    // State, for callers that wait on it.
    bool isShowing() const;
    bool isModal() const { return !loops_.isEmpty(); }
    // The busy window (null before the first ShowOrlaHint), the text as drawn (cut with
    // an ellipsis when too long) and the current frame.
    QWidget* window() const;
    QString shownText() const { return shownText_; }
    int frame() const { return frame_; }

    // The default pictures, 12 frames of the spinner and the background.
    static QVector<QPixmap> defaultFrames();
    static QPixmap defaultBackground();

private:
    friend class THintWindow;
    void composePicture(const QString& text);
    void nextFrame();
    void paintWindow(QWidget* target);
    // Stops the animation, gives the cursor back and ends the modal waits.
    void release();

    QPointer<QWidget> owner_;
    QPointer<THintWindow> window_;
    QTimer* timer_ = nullptr;
    QVector<QPixmap> frames_;
    QPixmap picture_;
    QString shownText_;
    int frame_ = 0;
    bool cursorSet_ = false;
    QList<QPointer<QEventLoop>> loops_;
    QPointer<TInputGuard> guard_;
};

} // namespace pelidor
