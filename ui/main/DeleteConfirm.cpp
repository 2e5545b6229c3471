#include "ui/main/DeleteConfirm.h"

#include "config/uLanguage.h"
#include "platform/FileSystem.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

namespace pelidor {
namespace {

const QString kWindowName = QStringLiteral("frmDeleteComfirm");
const QColor kTextColor(0x38, 0x38, 0x38);

QString lang(const char* section, const char* key, const char* def) {
    return QString::fromStdString(ReadLangString(section, key, def));
}

} // namespace

TfrmDeleteComfirm::TfrmDeleteComfirm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(kWindowName);
    setSizeGripEnabled(false);
    setFixedSize(kClientSize);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, kTextColor);
    setPalette(pal);
    setWindowTitle(QStringLiteral("Confirmation"));

    wslbl1 = PlaceControl(new TMessageText, this, "wslbl1", 23, 13, 311, kLabelHeight);
    wslbl1->setText(QStringLiteral("Unable to delete"));
    chkNoConfirm = PlaceControl(new QCheckBox(QStringLiteral("Do not show this notice again")),
                                this, "chkNoConfirm", 23, 122, 311, 17);
    btnOk =
        PlaceControl(new TOrlaImageButton(QStringLiteral("Yes")), this, "btnOk", 137, 150, 100, 26);
    btnOk->setKind(TOrlaImageButton::Accent);
    btnCancel = PlaceControl(new TOrlaImageButton(QStringLiteral("No")), this, "btnCancel", 240,
                             150, 94, 26);
    connect(btnOk, &QAbstractButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QAbstractButton::clicked, this, [this] { btnCancelClick(); });
    // A stray Enter or Space must not go on deleting: the focus starts on No.
    btnCancel->setFocus(Qt::OtherFocusReason);
}

TfrmDeleteComfirm::~TfrmDeleteComfirm() = default;

void TfrmDeleteComfirm::setMessage(const QString& text) {
    wslbl1->setText(text);
    // Assistive technology reads the message with the title and the buttons.
    setAccessibleDescription(text);
    layoutMessage();
}

void TfrmDeleteComfirm::localize() {
    ApplyLangFont(this);
    setWindowTitle(lang("Translation", "Confirm", "Confirmation"));
    chkNoConfirm->setText(
        lang("Translation", "frmDeleteComfirm.chkNever.caption", "Do not show this notice again"));
    btnOk->setText(lang("GUI", "ButtonYes", "Yes"));
    btnCancel->setText(lang("GUI", "ButtonNo", "No"));
    layoutMessage();
}

void TfrmDeleteComfirm::reject() {
    done(mrCancel);
}

void TfrmDeleteComfirm::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfrmDeleteComfirm::FormShow() {
    localize();
    chkNoConfirm->setChecked(false);
    btnCancel->setFocus(Qt::OtherFocusReason);

    // The client area centred over the owner's window (over the screen without one), kept
    // on the screen.
    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    const QRect area = owner != nullptr ? owner->geometry() : available;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    if (available.isValid()) {
        frame.moveLeft(std::max(available.left(),
                                std::min(frame.left(), available.right() + 1 - frame.width())));
        frame.moveTop(std::max(available.top(),
                               std::min(frame.top(), available.bottom() + 1 - frame.height())));
    }
    setGeometry(frame);
}

void TfrmDeleteComfirm::btnOkClick() {
    done(mrYes);
}

void TfrmDeleteComfirm::btnCancelClick() {
    done(mrNo);
}

// The label keeps its design width; a message with more lines than the design height
// holds (a long path) makes the label and the dialog taller, so the question at its end
// is never cut off.
void TfrmDeleteComfirm::layoutMessage() {
    const QSize needed = TMessageText::measure(wslbl1->text(), wslbl1->font(), wslbl1->width(), 0);
    const int extra = std::max(0, needed.height() - kLabelHeight);
    wslbl1->resize(wslbl1->width(), kLabelHeight + extra);
    chkNoConfirm->move(chkNoConfirm->x(), 122 + extra);
    btnOk->move(btnOk->x(), 150 + extra);
    btnCancel->move(btnCancel->x(), 150 + extra);
    setFixedSize(kClientSize.width(), kClientSize.height() + extra);
}

// ---------------------------------------------------------------------------------------

QString SystemErrorText(int error) {
    if (error == 0)
        return {};
    QString text = QString::fromLocal8Bit(platform::errorText(error));
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == QLatin1Char(' ') || text[end - 1] == QLatin1Char('\r') ||
                       text[end - 1] == QLatin1Char('\n') || text[end - 1] == QLatin1Char('.')))
        --end;
    text.truncate(end);
    return text;
}

namespace {

QString composeWithReason(const QString& deleteFileErr, const QString& path, const QString& reason,
                          const QString& continueText) {
    QString text = QStringLiteral("%1: \"%2\". ").arg(deleteFileErr, path);
    if (!reason.isEmpty())
        text += reason + QStringLiteral(". ");
    text += QStringLiteral("\r\n") + continueText;
    return text;
}

QString failureMessage(const std::string& path, const QString& reason) {
    return composeWithReason(QString::fromStdString(ReadLangString("Message", "deletefileerr")),
                             QString::fromUtf8(path.data(), qsizetype(path.size())), reason,
                             QString::fromStdString(ReadLangString("Message", "Continuedelete")));
}

} // namespace

QString ComposeDeleteFailureMessage(const QString& deleteFileErr, const QString& path, int error,
                                    const QString& continueText) {
    return composeWithReason(deleteFileErr, path, SystemErrorText(error), continueText);
}

QString DeleteFailureMessage(const std::string& path, int error) {
    return failureMessage(path, SystemErrorText(error));
}

QString DeleteFailureMessage(const std::string& path, const QString& reason) {
    return failureMessage(path, reason);
}

QString RowDeleteFailureMessage(int error) {
    // The pack's text cannot end in a blank: the blank after the colon is added here.
    return QString::fromStdString(ReadLangString("Message", "deletefileerr")) +
           QStringLiteral(": ") + SystemErrorText(error);
}

QString RowDeleteFailureMessage(const QString& reason) {
    return QString::fromStdString(ReadLangString("Message", "deletefileerr")) +
           QStringLiteral(": ") + reason;
}

} // namespace pelidor
