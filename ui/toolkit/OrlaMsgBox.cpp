#include "ui/toolkit/OrlaMsgBox.h"

#include "config/uLanguage.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace pelidor {
namespace {

const char* const kResultProperty = "modalResult";
const QColor kTextColor(0x38, 0x38, 0x38);

// The English caption of each kind, used until the program sets its own.
constexpr std::array<const char*, kMsgDlgBtnCount> kDesignCaptions = {
    "Yes",    "No",  "Ok",        "Cancel",     "Abort", "Retry",
    "Ignore", "All", "No to All", "Yes to All", "Help",  "Close"};
constexpr std::array<const char*, kMsgDlgBtnCount> kButtonNames = {
    "btnYes",    "btnNo",  "btnOK",      "btnCancel",   "btnAbort", "btnRetry",
    "btnIgnore", "btnAll", "btnNoToAll", "btnYesToAll", "btnHelp",  "btnClose"};

// a * b / c rounded to the nearest integer (all positive here).
int mulDiv(int a, int b, int c) {
    return int(std::lround(double(a) * b / c));
}

QFont languageFont() {
    QFont font(QString::fromStdString(GetLangFontName()));
    font.setPointSize(GetLangFontSize());
    return font;
}

// Line breaks as QTextLayout understands them.
QString layoutText(const QString& text) {
    QString s = text;
    s.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    s.replace(QLatin1Char('\r'), QChar::LineSeparator);
    s.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return s;
}

// Lays the lines out from the top; returns the bounding size.
QSizeF runLayout(QTextLayout& layout, int wrapWidth, qreal tabStop) {
    QTextOption option;
    option.setWrapMode(wrapWidth > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                     : QTextOption::NoWrap);
    if (tabStop > 0)
        option.setTabStopDistance(tabStop);
    layout.setTextOption(option);
    qreal y = 0;
    qreal width = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrapWidth > 0 ? wrapWidth : 1e6);
        line.setPosition(QPointF(0, y));
        y += line.height();
        width = std::max(width, line.naturalTextWidth());
    }
    layout.endLayout();
    return {width, y};
}

// The top-left corner that centres `size` over `area`, kept inside `screen` as far as
// the window fits.
QPoint centredPosition(const QRect& area, const QSize& size, const QRect& screen) {
    int x = area.x() + (area.width() - size.width()) / 2;
    int y = area.y() + (area.height() - size.height()) / 2;
    if (screen.isValid()) {
        x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
        y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    }
    return {x, y};
}

} // namespace

int ModalResultOf(TMsgDlgBtn Btn) {
    static constexpr std::array<int, kMsgDlgBtnCount> results = {
        mrYes,    mrNo,  mrOk,      mrCancel,   mrAbort, mrRetry,
        mrIgnore, mrAll, mrNoToAll, mrYesToAll, mrNone,  mrClose};
    return Btn >= 0 && Btn < kMsgDlgBtnCount ? results[Btn] : mrNone;
}

// ---------------------------------------------------------------------------------------

TMessageText::TMessageText(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Message"));
}

void TMessageText::setText(const QString& text) {
    text_ = text;
    // The text is painted: assistive technology gets it as the name.
    setAccessibleName(text);
    update();
}

void TMessageText::setTabStop(qreal tabStop) {
    tabStop_ = tabStop;
    update();
}

QSize TMessageText::measure(const QString& text, const QFont& font, int wrapWidth, qreal tabStop) {
    QTextLayout layout(layoutText(text), font);
    const QSizeF size = runLayout(layout, wrapWidth, tabStop);
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void TMessageText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    QTextLayout layout(layoutText(text_), font());
    // The widget is exactly as wide as the longest line measured for it, so wrapping at
    // its width gives the same lines (a one-line text does not wrap at all).
    const QSize natural = measure(text_, font(), 0, tabStop_);
    runLayout(layout, natural.width() > width() ? width() : 0, tabStop_);
    layout.draw(&painter, QPointF(0, 0));
}

// ---------------------------------------------------------------------------------------

TMessageForm::TMessageForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("MessageForm"));
    setSizeGripEnabled(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, kTextColor);
    setPalette(pal);
    setAutoFillBackground(true);
}

int TMessageForm::resultOf(const QPushButton* button) {
    return button != nullptr ? button->property(kResultProperty).toInt() : mrNone;
}

void TMessageForm::finish(int result) {
    if (result != mrNone)
        done(result);
}

void TMessageForm::reject() {
    finish(mrCancel);
}

bool TMessageForm::handleKey(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        finish(FBtnDefault != nullptr ? resultOf(FBtnDefault)
               : FBtnFirst != nullptr ? resultOf(FBtnFirst)
                                      : mrCancel);
        return true;
    case Qt::Key_Escape:
        finish(FBtnLast != nullptr ? resultOf(FBtnLast) : mrCancel);
        return true;
    default:
        return false;
    }
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event) {
    // The form sees Enter and Escape before the focused button does.
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event))
        QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------

TOrlaMsgBox::TOrlaMsgBox(QObject* parent)
    : QObject(parent), fontMsg_(languageFont()), fontBtn_(languageFont()) {
    for (int i = 0; i < kMsgDlgBtnCount; ++i)
        captions_[i] = QString::fromLatin1(kDesignCaptions[i]);
}

TOrlaMsgBox::~TOrlaMsgBox() {
    delete dialog_.data();
}

QString TOrlaMsgBox::BtnCaption(TMsgDlgBtn Btn) const {
    return Btn >= 0 && Btn < kMsgDlgBtnCount ? captions_[Btn] : QString();
}

void TOrlaMsgBox::setBtnCaption(TMsgDlgBtn Btn, const QString& Caption) {
    if (Btn >= 0 && Btn < kMsgDlgBtnCount)
        captions_[Btn] = Caption;
}

void TOrlaMsgBox::Localize() {
    auto gui = [](const char* key, const QString& fallback = QString()) {
        return QString::fromStdString(ReadLangString("GUI", key, fallback.toStdString()));
    };
    setBtnCaptionYes(gui("ButtonYes"));
    setBtnCaptionNo(gui("ButtonNo"));
    setBtnCaptionOk(gui("ButtonOK"));
    setBtnCaption(mbCancel, gui("ButtonCancel", BtnCaption(mbCancel)));
    fontMsg_ = languageFont();
    fontBtn_ = languageFont();
}

QPixmap TOrlaMsgBox::ImgMsg(TMsgDlgType DlgType) const {
    static const char* const files[] = {"msg-warning", "msg-error", "msg-information",
                                        "msg-confirmation"};
    if (DlgType < mtWarning || DlgType > mtConfirmation)
        return {};
    QSvgRenderer svg(QStringLiteral(":/pelidor/images/%1.svg").arg(QLatin1String(files[DlgType])));
    if (!svg.isValid())
        return {};
    const qreal dpr = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    const int side = int(std::ceil(kIconSize * dpr));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter);
    painter.end();
    image.setDevicePixelRatio(dpr);
    return QPixmap::fromImage(image);
}

// The room the caption bar's buttons and icon take beside the title.
constexpr int kTitleBarButtonsWidth = 120;

int TOrlaMsgBox::OrlaMessageDlg(const QString& Title, const QString& Msg, TMsgDlgType DlgType,
                                TMsgDlgButtons Buttons, QWidget* DstForm, bool ShowCenter,
                                std::optional<TMsgDlgBtn> DefaultBtn) {
    Q_UNUSED(ShowCenter);
    if (dialog_ != nullptr) {
        dialog_->raise();
        dialog_->activateWindow();
        return mrCancel;
    }

    // Parented to the target's window so that the window manager keeps it on top of
    // that window; freed here after the call (or with that window, see below).
    auto* form = new TMessageForm(DstForm != nullptr ? DstForm->window() : nullptr);
    dialog_ = form;
    form->setWindowTitle(Title);
    form->setFont(fontMsg_);

    // Margins and spacings from the average character size of the form's font.
    const QFontMetrics fm(form->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int charWidth = fm.horizontalAdvance(letters) / 52;
    const int charHeight = fm.height();
    const int horzMargin = mulDiv(8, charWidth, 4);
    const int vertMargin = mulDiv(8, charHeight, 8);
    const int horzSpacing = mulDiv(10, charWidth, 4);
    const int vertSpacing = mulDiv(10, charHeight, 8);

    // The buttons, in the order of the kinds; all as wide as the widest caption needs.
    QList<QPushButton*> buttons;
    for (int i = 0; i < kMsgDlgBtnCount; ++i) {
        const auto kind = TMsgDlgBtn(i);
        if (!Buttons.contains(kind))
            continue;
        auto* button = new QPushButton(captions_[i], form);
        button->setObjectName(QLatin1String(kButtonNames[i]));
        button->setFont(fontBtn_);
        button->setAutoDefault(false);
        button->setProperty(kResultProperty, ModalResultOf(kind));
        button->installEventFilter(form);
        QObject::connect(button, &QPushButton::clicked, form,
                         [form, button] { form->finish(TMessageForm::resultOf(button)); });
        buttons.append(button);
        if (DefaultBtn && *DefaultBtn == kind)
            form->FBtnDefault = button;
    }
    QSize buttonSize = buttonSize_;
    for (QPushButton* button : buttons)
        buttonSize = buttonSize.expandedTo(button->sizeHint());
    const int count = int(buttons.size());
    const int rowWidth = count > 0 ? count * buttonSize.width() + (count - 1) * horzSpacing : 0;
    if (count > 0) {
        form->FBtnFirst = buttons.first();
        form->FBtnLast = buttons.last();
        if (form->FBtnDefault == nullptr)
            form->FBtnDefault = form->FBtnFirst;
    }

    // The text on one line (line breaks kept); wrapped at twice the button row when
    // wider (at least twice one button, so that a dialog without buttons wraps too).
    const qreal tabStop = 8.0 * charWidth;
    const int wrapWidth = 2 * std::max(rowWidth, buttonSize.width());
    QSize textSize = TMessageText::measure(Msg, fontMsg_, 0, tabStop);
    if (textSize.width() > wrapWidth)
        textSize = TMessageText::measure(Msg, fontMsg_, wrapWidth, tabStop);

    QPixmap icon;
    QSize iconSize(0, 0);
    int iconSpacing = 0;
    if (DlgType >= mtWarning && DlgType <= mtConfirmation) {
        icon = ImgMsg(DlgType);
        iconSize = QSize(kIconSize, kIconSize);
        iconSpacing = horzSpacing;
    }

    const int bodyHeight = std::max(iconSize.height(), textSize.height());
    // At least as wide as the title with room for the caption bar's buttons.
    const int titleWidth =
        Title.isEmpty()
            ? 0
            : QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(Title) +
                  kTitleBarButtonsWidth;
    const int clientWidth =
        std::max({iconSize.width() + iconSpacing + textSize.width() + 2 * horzMargin,
                  rowWidth + 2 * horzMargin, titleWidth});
    const int clientHeight = buttonSize.height() + bodyHeight + vertSpacing + 2 * vertMargin;

    if (!iconSize.isEmpty()) {
        form->Img = new QLabel(form);
        form->Img->setObjectName(QStringLiteral("Img"));
        form->Img->setPixmap(icon); // a missing picture leaves the place empty
        form->Img->setGeometry(horzMargin,
                               vertMargin + std::max(0, (textSize.height() - kIconSize) / 2),
                               kIconSize, kIconSize);
    }
    form->Message = new TMessageText(form);
    form->Message->setFont(fontMsg_);
    form->Message->setTabStop(tabStop);
    form->Message->setText(Msg);
    // Assistive technology reads the message with the title and the buttons.
    form->setAccessibleDescription(Msg);
    form->Message->setGeometry(horzMargin + iconSize.width() + iconSpacing,
                               vertMargin +
                                   std::max(0, (iconSize.height() - textSize.height()) / 2),
                               textSize.width(), textSize.height());

    int x = (clientWidth - rowWidth) / 2;
    const int y = bodyHeight + vertMargin + vertSpacing;
    for (QPushButton* button : buttons) {
        button->setGeometry(x, y, buttonSize.width(), buttonSize.height());
        x += buttonSize.width() + horzSpacing;
    }

    const QSize clientSize(clientWidth, clientHeight);
    form->setFixedSize(clientSize);
    QScreen* screen = DstForm != nullptr ? DstForm->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    const QRect area =
        DstForm != nullptr ? QRect(DstForm->mapToGlobal(QPoint(0, 0)), DstForm->size()) : available;
    // The client area is centred: the frame's size is not known before it is shown.
    form->setGeometry(QRect(centredPosition(area, clientSize, available), clientSize));
    if (form->FBtnDefault != nullptr)
        form->FBtnDefault->setFocus(Qt::OtherFocusReason);
    form->setWindowModality(Qt::ApplicationModal);

    // A loop ended from outside (the program quitting) counts as the close box.
    form->setResult(mrCancel);
    const QPointer<TMessageForm> guard = form;
    const int result = form->exec();
    if (guard == nullptr) // freed with the window it was shown over
        return mrCancel;
    delete form;
    return result;
}

} // namespace pelidor
