// The program's message dialog: a title, an icon for the kind of message, the text and
// a row of buttons; the dialog is modal and returns the result of the button pressed.
//
//     TOrlaMsgBox box;
//     if (box.OrlaMessageDlg(title, text, mtInformation, {mbYes, mbNo}, mainWindow) == mrYes)
//         ...
#pragma once

#include <QDialog>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

class QPushButton;
class QLabel;

namespace pelidor {

// The kind of message; kinds 0 to 3 show their icon, mtCustom none.
enum TMsgDlgType { mtWarning = 0, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons, in the order the dialog shows them (left to right).
enum TMsgDlgBtn {
    mbYes = 0,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};
inline constexpr int kMsgDlgBtnCount = 12;

// Modal results (the numbers the program compares with).
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrClose = 8;
inline constexpr int mrAll = 12;
inline constexpr int mrNoToAll = 13;
inline constexpr int mrYesToAll = 14;

// The result a button returns. mbHelp returns mrNone, which does not close the dialog.
int ModalResultOf(TMsgDlgBtn Btn);

// A set of buttons: {mbYes, mbNo}. Values outside the enumeration are ignored.
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> Btns) {
        for (TMsgDlgBtn b : Btns)
            include(b);
    }
    constexpr void include(TMsgDlgBtn Btn) {
        if (Btn >= 0 && Btn < kMsgDlgBtnCount)
            bits_ |= uint16_t(1u << Btn);
    }
    constexpr bool contains(TMsgDlgBtn Btn) const {
        return Btn >= 0 && Btn < kMsgDlgBtnCount && (bits_ & (1u << Btn)) != 0;
    }
    constexpr int count() const {
        int n = 0;
        for (int i = 0; i < kMsgDlgBtnCount; ++i)
            n += (bits_ >> i) & 1;
        return n;
    }
    constexpr bool operator==(const TMsgDlgButtons&) const = default;

private:
    uint16_t bits_ = 0;
};

class TMessageText;

// The dialog shown by OrlaMessageDlg. It lives only while the call runs.
class TMessageForm : public QDialog {
    Q_OBJECT

public:
    explicit TMessageForm(QWidget* parent = nullptr);

    // The text, the icon (null for mtCustom), the first and the last button (null when
    // the dialog has no buttons).
    TMessageText* Message = nullptr;
    QLabel* Img = nullptr;
    QPushButton* FBtnFirst = nullptr;
    QPushButton* FBtnLast = nullptr;
    // The button Enter presses and that has the focus first: FBtnFirst unless the
    // caller named another.
    QPushButton* FBtnDefault = nullptr;

    // The modal result of a button of this dialog.
    static int resultOf(const QPushButton* button);

    // Ends the dialog with `result`; mrNone leaves it open.
    void finish(int result);
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool handleKey(QKeyEvent* event);
};

// The message text: plain text in one font, wrapped at word boundaries (or inside a word
// longer than the line), tabs expanded to eight average characters, line breaks kept.
class TMessageText : public QWidget {
    Q_OBJECT

public:
    explicit TMessageText(QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    void setTabStop(qreal tabStop);

    // The size of `text` in `font`: on one line per line break when `wrapWidth` is 0 or
    // less, else wrapped at `wrapWidth`.
    static QSize measure(const QString& text, const QFont& font, int wrapWidth, qreal tabStop);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    qreal tabStop_ = 0;
};

class TOrlaMsgBox : public QObject {
    Q_OBJECT

public:
    explicit TOrlaMsgBox(QObject* parent = nullptr);
    ~TOrlaMsgBox() override;
    TOrlaMsgBox(const TOrlaMsgBox&) = delete;
    TOrlaMsgBox& operator=(const TOrlaMsgBox&) = delete;

    // Shows the dialog modally over DstForm (centred over it; over the screen when
    // null) and returns the result of the button pressed, mrCancel when the dialog was
    // closed by its close box, or mrCancel at once when a dialog of this component is
    // still open (that one is brought to the front). ShowCenter is not used.
    // DefaultBtn, when given and among Buttons, is the button Enter presses and that has
    // the focus when the dialog opens (a question whose safe answer is No); otherwise
    // that is the first button.
    int OrlaMessageDlg(const QString& Title, const QString& Msg, TMsgDlgType DlgType,
                       TMsgDlgButtons Buttons, QWidget* DstForm = nullptr, bool ShowCenter = false,
                       std::optional<TMsgDlgBtn> DefaultBtn = std::nullopt);

    // The dialog shown at this moment, or null.
    TMessageForm* OpenDialog() const { return dialog_; }

    // The caption of each button kind. Defaults: "Yes", "No", "Ok", then the English
    // names of the other kinds.
    QString BtnCaption(TMsgDlgBtn Btn) const;
    void setBtnCaption(TMsgDlgBtn Btn, const QString& Caption);
    QString BtnCaptionYes() const { return BtnCaption(mbYes); }
    QString BtnCaptionNo() const { return BtnCaption(mbNo); }
    QString BtnCaptionOk() const { return BtnCaption(mbOK); }
    void setBtnCaptionYes(const QString& Caption) { setBtnCaption(mbYes, Caption); }
    void setBtnCaptionNo(const QString& Caption) { setBtnCaption(mbNo, Caption); }
    void setBtnCaptionOk(const QString& Caption) { setBtnCaption(mbOK, Caption); }

    // Message text font and button caption font; both start as the active language's
    // window font ("Tahoma", 8 points without a language file).
    QFont FontMsg() const { return fontMsg_; }
    void setFontMsg(const QFont& Font) { fontMsg_ = Font; }
    QFont FontBtn() const { return fontBtn_; }
    void setFontBtn(const QFont& Font) { fontBtn_ = Font; }

    // The smallest size of one button; a button grows to fit the widest caption.
    QSize ButtonSize() const { return buttonSize_; }
    void setButtonSize(const QSize& Size) { buttonSize_ = Size; }

    // The icon of a message kind (32 x 32; null for mtCustom or a missing picture).
    QPixmap ImgMsg(TMsgDlgType DlgType) const;
    static constexpr int kIconSize = 32;

    // Takes the texts of the active language: Yes, No, OK and Cancel from the keys
    // ButtonYes, ButtonNo, ButtonOK and ButtonCancel of section GUI (a missing key
    // gives an empty caption, except Cancel, which keeps its caption), and the
    // language's window font for both fonts.
    void Localize();

private:
    std::array<QString, kMsgDlgBtnCount> captions_;
    QFont fontMsg_;
    QFont fontBtn_;
    QSize buttonSize_{80, 26};
    QPointer<TMessageForm> dialog_;
};

} // namespace pelidor
