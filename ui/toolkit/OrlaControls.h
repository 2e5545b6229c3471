// The toolkit's own controls, where Qt has no control of the same kind: image and
// link buttons with state looks, panels, the progress bar with a running animation,
// the search animation and the popup menu built from a list of captions. They draw
// themselves in the look of OrlaStyle.h.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QMenu>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>

class QAction;
class QSvgRenderer;

namespace pelidor {

// Gives a control its parent, its component name and its design-time place and size in
// pixels; returns the control.
template <typename W>
W* PlaceControl(W* w, QWidget* parent, const char* name, int x, int y, int width, int height) {
    w->setParent(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(x, y, width, height);
    return w;
}

// A button that tells its look's state (normal, under the mouse, pressed, disabled,
// focused) and carries a Tag, the number that tells buttons sharing one click
// handler apart.
class TOrlaButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(State drawState READ drawState NOTIFY drawStateChanged)

public:
    enum State { Normal, Hover, Pressed, Disabled, Focused };
    Q_ENUM(State)

    explicit TOrlaButton(QWidget* parent = nullptr);

    int Tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // The state the button is drawn in: disabled first, then pressed (the mouse
    // button held on it), under the mouse, focused (reached with Tab, Shift+Tab or a
    // shortcut; a click gives the focus without showing it), else normal.
    State drawState() const;

signals:
    void drawStateChanged(pelidor::TOrlaButton::State state);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void checkState();

private:
    int tag_ = 0;
    bool hovered_ = false;
    bool keyboardFocus_ = false;
    State lastState_ = Normal;
};

// The image button: a framed, rounded button with an optional icon and caption.
// With state pictures it draws the picture of its state over its whole face
// instead (a state without a picture uses the normal one).
class TOrlaImageButton : public TOrlaButton {
    Q_OBJECT

public:
    enum Kind {
        Plain,  // white face, grey frame
        Accent, // filled in the accent colour, white caption (the main action)
        Flat    // no face until the mouse is over it (icon buttons)
    };
    Q_ENUM(Kind)

    explicit TOrlaImageButton(QWidget* parent = nullptr);
    explicit TOrlaImageButton(const QString& text, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    void setKind(Kind kind);

    void setStatePicture(State state, const QIcon& picture);
    QIcon statePicture(State state) const;
    // Sets the pictures of the normal, hover and pressed states from the shared
    // pictures name, name-hover and name-pressed (e.g. "add").
    void setStatePictures(const QString& name);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_ = Plain;
    std::array<QIcon, 5> pictures_;
};

// The link button: text in the link colour, underlined under the mouse, darker
// while pressed, grey when disabled, a dotted underline when focused. An icon is
// drawn left of the text when set. A non-empty tooltip is shown as its hint.
class TOrlaLinkButton : public TOrlaButton {
    Q_OBJECT

public:
    explicit TOrlaLinkButton(QWidget* parent = nullptr);
    explicit TOrlaLinkButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A panel: a filled area (white unless told) with frame lines on the chosen edges.
// A press of the left mouse button is reported, so that a panel serves as a colour
// swatch too.
class TOrlaPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    explicit TOrlaPanel(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& color);
    // The edges that get a 1-pixel line; none at first.
    Qt::Edges borders() const { return borders_; }
    void setBorders(Qt::Edges edges);

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QColor color_;
    QColor borderColor_;
    Qt::Edges borders_;
};

// The progress bar: a position between 0 and a maximum, drawn as a filled part of a
// rounded track, and a running mode in which light stripes move across the filled
// part, one step every 25 ms (the bar full and running shows activity without a
// known end).
class TOrlaProgressBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(bool running READ isRunning WRITE setRunning)

public:
    static constexpr int kFrameInterval = 25;
    static constexpr int kStripeWidth = 16;

    explicit TOrlaProgressBar(QWidget* parent = nullptr);

    int maximum() const { return maximum_; }
    // A maximum below 0 counts as 0.
    void setMaximum(int maximum);
    int value() const { return value_; }
    // Values are kept as given; the bar shows them within 0 and the maximum.
    void setValue(int value);
    // The share of the track that is filled, 0 to 1; 1 when the maximum is 0 (nothing
    // is left to do).
    double fraction() const;

    bool isRunning() const { return timer_.isActive(); }
    void setRunning(bool running);
    // The frame of the running animation, counting up while it runs.
    int frame() const { return frame_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int maximum_ = 100;
    int value_ = 0;
    int frame_ = 0;
    QTimer timer_;
};

// The search animation: the picture "search" whose lens circles over the papers,
// 8 frames 300 ms apart, looping. At the start it shows the picture at rest; while
// running it moves; when complete it shows the picture at rest with a tick.
class TOrlaAnimation : public QWidget {
    Q_OBJECT

public:
    enum State { Start, Running, Complete };
    Q_ENUM(State)
    static constexpr int kFrameCount = 8;
    static constexpr int kFrameInterval = 300;

    explicit TOrlaAnimation(QWidget* parent = nullptr);

    State state() const { return state_; }
    void setState(State state);
    int frame() const { return frame_; }

    QSize sizeHint() const override { return {50, 50}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer* renderer_;
    State state_ = Start;
    int frame_ = 0;
    QTimer timer_;
};

// Fills menu from captions: each caption one entry whose data (its Tag) is its
// position in the list; a caption "-" makes a separator line, which keeps its
// position too. The menu is emptied first.
void BuildOrlaPopupMenu(QMenu& menu, const QStringList& captions);
// The Tag of an entry made by BuildOrlaPopupMenu; -1 for none.
int OrlaMenuTag(const QAction* action);

// The popup menu: entries 20 pixels high, at least 160 pixels wide, following its
// parent window's font. itemClicked reports the chosen entry's Tag.
class TOrlaPopupMenu : public QMenu {
    Q_OBJECT

public:
    explicit TOrlaPopupMenu(QWidget* parent = nullptr);

    void Build(const QStringList& captions) { BuildOrlaPopupMenu(*this, captions); }

signals:
    void itemClicked(int tag);
};

} // namespace pelidor
