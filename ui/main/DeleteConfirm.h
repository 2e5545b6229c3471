// The deletion failure dialog: shown when a ticked file cannot be deleted, it tells
// which file and why, and asks whether to go on with the other files. Yes ends it
// with 6, No with 7, the close box (or Escape) with 2. "Do not show this notice
// again" is read by the caller afterwards; nothing stores it.
//
//     TfrmDeleteComfirm dlg(mainWindow);
//     dlg.wslbl1->setText(DeleteFailureMessage(path, error));
//     const bool goOn = dlg.exec() == mrYes;
//     askOnError = !dlg.chkNoConfirm->isChecked();
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <string>

class QCheckBox;
class QShowEvent;

namespace pelidor {

class TMessageText;
class TOrlaImageButton;

class TfrmDeleteComfirm : public QDialog {
    Q_OBJECT

public:
    // The client area at design size; it grows downwards only when the message needs
    // more lines than the label's design height holds.
    static constexpr QSize kClientSize{358, 189};
    static constexpr int kLabelHeight = 83;

    explicit TfrmDeleteComfirm(QWidget* owner = nullptr);
    ~TfrmDeleteComfirm() override;

    // The message (wrapped at word boundaries, inside a word longer than a line).
    TMessageText* wslbl1 = nullptr;
    // "Do not show this notice again"; unticked each time the dialog opens.
    QCheckBox* chkNoConfirm = nullptr;
    TOrlaImageButton* btnOk = nullptr;     // Yes: result 6
    TOrlaImageButton* btnCancel = nullptr; // No: result 7

    // Sets the message and fits the label (and the dialog) to it.
    void setMessage(const QString& text);

    // Applies the active language's texts and font. Runs each time the dialog is shown.
    void localize();

    void reject() override; // the close box and Escape: result 2

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void btnOkClick();
    void btnCancelClick();
    void layoutMessage();
};

// The failure message for a file that could not be deleted:
//     <deletefileerr>: "<path>". <system text of error>. CR LF <continueText>
// The system text (left out when error is 0) loses trailing blanks, line breaks and
// full stops before its own ". " is added.
QString ComposeDeleteFailureMessage(const QString& deleteFileErr, const QString& path, int error,
                                    const QString& continueText);
// The same with the texts "deletefileerr" and "Continuedelete" of section Message of
// the active language. A path that is not valid UTF-8 shows replacement characters.
QString DeleteFailureMessage(const std::string& path, int error);
// The same message with a reason of the program's own instead of the system's text:
//     <deletefileerr>: "<path>". <reason>. CR LF <Continuedelete>
QString DeleteFailureMessage(const std::string& path, const QString& reason);

// The error text of the row menu's permanent delete: "deletefileerr", a colon, a blank
// and the system's text for error.
QString RowDeleteFailureMessage(int error);
// The same with a reason of the program's own.
QString RowDeleteFailureMessage(const QString& reason);

// The system's text for an error number without trailing blanks, line breaks and full
// stops; empty for 0.
QString SystemErrorText(int error);

} // namespace pelidor
