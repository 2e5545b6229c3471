#include "services/uAbout.h"

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "services/ServiceAddresses.h"
#include "shell/SharedHelpers.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShowEvent>
#include <QUrl>

#include <algorithm>

namespace pelidor {

namespace {

const QString kWindowName = QStringLiteral("frmAbout");

// The labels that take their captions from the language pack, with their design captions.
struct DesignCaption {
    const char* name;
    const char* caption;
};
constexpr DesignCaption kDesignCaptions[] = {
    {"lblver", "Version:"},        {"lblverinfo", ""},      {"lblemail", "Support:"},
    {"lblemailinfo", ""},          {"lblhome", "Website:"}, {"lblhomeinfo", ""},
    {"lblthanks", "Translators:"},
};

constexpr int kCaptionLeft = 84;
constexpr int kCaptionWidth = 116;
constexpr int kInfoLeft = 204;
constexpr int kInfoWidth = 266;

QString lang(const QString& key, const QString& def = QString()) {
    return QString::fromStdString(
        ReadLangString("Translation", key.toStdString(), def.toStdString()));
}

// "www.corvane.example" of "http://www.corvane.example:8080/prefix".
QString hostName(const std::string& address) {
    const QUrl url(QString::fromStdString(address));
    const QString host = url.host();
    return host.isEmpty() ? QString::fromStdString(address) : host;
}

} // namespace

QString AboutSupportEmail() {
    return QStringLiteral("support@corvane.example");
}

QString AboutCredits() {
    // The packs that come with the program, and who made them.
    return QStringLiteral("Deutsch, Français, Español, 简体中文, 日本語: the Pelidor team");
}

TfrmAbout::TfrmAbout(QWidget* Owner, bool Japanese)
    : QDialog(Owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FJapanese(Japanese) {
    setObjectName(kWindowName);
    setFixedSize(kClientSize);
    setSizeGripEnabled(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);

    OrlaImage1 = PlaceControl(new QLabel, this, "OrlaImage1", 20, 20, kLogoSize, kLogoSize);
    OrlaImage1->setPixmap(OrlaPixmap(QStringLiteral("logo"), QSize(kLogoSize, kLogoSize)));

    // The product name: not translated, larger than the window font.
    lbl1 = PlaceControl(new QLabel(QStringLiteral("Pelidor")), this, "lbl1", kCaptionLeft, 24, 380,
                        42);
    QFont nameFont;
    nameFont.setPointSize(18);
    nameFont.setBold(true);
    lbl1->setFont(nameFont);

    lblver = PlaceControl(new QLabel, this, "lblver", kCaptionLeft, 86, kCaptionWidth, 22);
    lblverinfo = PlaceControl(new QLabel, this, "lblverinfo", kInfoLeft, 86, kInfoWidth, 22);
    lblverinfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblemail = PlaceControl(new QLabel, this, "lblemail", kCaptionLeft, 110, kCaptionWidth, 22);
    lblemailinfo =
        PlaceControl(new TOrlaLinkButton, this, "lblemailinfo", kInfoLeft - 2, 110, kInfoWidth, 22);
    lblhome = PlaceControl(new QLabel, this, "lblhome", kCaptionLeft, 134, kCaptionWidth, 22);
    lblhomeinfo =
        PlaceControl(new TOrlaLinkButton, this, "lblhomeinfo", kInfoLeft - 2, 134, kInfoWidth, 22);
    for (TOrlaLinkButton* link : {lblemailinfo, lblhomeinfo})
        link->setCursor(Qt::PointingHandCursor);
    connect(lblemailinfo, &QAbstractButton::clicked, this, [this] { lblemailinfoClick(); });
    connect(lblhomeinfo, &QAbstractButton::clicked, this, [this] { lblhomeinfoClick(); });

    lblthanks = PlaceControl(new QLabel, this, "lblthanks", kCaptionLeft, 166, 386, 22);
    // The credits: a read-only text on a panel that takes no input.
    pnl1 = PlaceControl(new TOrlaPanel, this, "pnl1", kCaptionLeft, 190, 386, 58);
    pnl1->setColor(Qt::white);
    pnl1->setBorderColor(QColor::fromRgb(kOrlaLine));
    pnl1->setBorders(Qt::TopEdge | Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge);
    Memo1 = PlaceControl(new QPlainTextEdit, pnl1, "Memo1", 1, 1, 384, 56);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette memoPal = Memo1->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        memoPal.setColor(group, QPalette::Text, QColor::fromRgb(kOrlaText));
        memoPal.setColor(group, QPalette::Base, Qt::white);
    }
    Memo1->setPalette(memoPal);
    pnl1->setEnabled(false);

    // The notice line: not translated.
    lblnotice = PlaceControl(new QLabel(QStringLiteral("© Corvane. All rights reserved.")), this,
                             "lblnotice", 20, 260, 450, 18);
    QPalette noticePal = lblnotice->palette();
    noticePal.setColor(QPalette::WindowText, QColor::fromRgb(kOrlaMutedText));
    lblnotice->setPalette(noticePal);

    localize();
    lblverinfo->setText(QString::fromStdString(VersionText(ProgramVersionInfo())));
    Memo1->setPlainText(AboutCredits());
}

void TfrmAbout::localize() {
    ApplyLangFont(this);
    // No default: a pack without the key leaves the caption empty.
    setWindowTitle(lang(kWindowName + QStringLiteral(".caption")));
    for (const DesignCaption& design : kDesignCaptions) {
        const QString name = QLatin1String(design.name);
        const QString text =
            lang(kWindowName + QLatin1Char('.') + name + QStringLiteral(".Caption"),
                 QString::fromUtf8(design.caption));
        QWidget* w = findChild<QWidget*>(name);
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(text);
    }
    // The credits are named by the label above them (which is not their buddy: they sit
    // on a panel of their own).
    QString credits = lblthanks->text().trimmed();
    while (credits.endsWith(QLatin1Char(':')) || credits.endsWith(QChar(0xFF1A)))
        credits.chop(1);
    Memo1->setAccessibleName(credits.trimmed());

    const TServiceAddresses addresses = ServiceAddresses();
    if (FJapanese) {
        lblemailinfo->setText(QString::fromStdString(addresses.JapanSite + "/support"));
        lblhomeinfo->setText(QString::fromStdString(addresses.JapanSite));
    } else {
        lblemailinfo->setText(AboutSupportEmail());
        lblhomeinfo->setText(hostName(addresses.WebSite));
    }
    // The links are as wide as their texts, so only the text takes the click.
    for (TOrlaLinkButton* link : {lblemailinfo, lblhomeinfo})
        link->resize(std::min(link->sizeHint().width(), kInfoWidth), link->height());
}

QString TfrmAbout::ContactUrl() const {
    if (FJapanese)
        return lblemailinfo->text();
    return QStringLiteral("mailto:") + AboutSupportEmail();
}

QString TfrmAbout::HomePageUrl() const {
    if (FJapanese)
        return lblhomeinfo->text();
    return QString::fromStdString(ServiceAddresses().WebSite) + QLatin1Char('/');
}

void TfrmAbout::lblemailinfoClick() {
    OpenUrl(ContactUrl());
}

void TfrmAbout::lblhomeinfoClick() {
    OpenUrl(HomePageUrl());
}

void TfrmAbout::showEvent(QShowEvent* event) {
    // Centred over the owner's window (QDialog would place it there too, but only on
    // its first showing and not for every kind of owner).
    if (!event->spontaneous()) {
        if (QWidget* owner = parentWidget()) {
            const QRect area = owner->window()->frameGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::showEvent(event);
}

void ShowAbout(QWidget* Owner, bool Japanese) {
    // The owner may go away while the window is open; the window then goes with it.
    QPointer<TfrmAbout> form = new TfrmAbout(Owner, Japanese);
    form->exec();
    delete form.data();
}

void ShowAbout(QWidget* Owner) {
    const bool japanese =
        ReadRegInteger(TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "IsJP", true, -1) == 1;
    ShowAbout(Owner, japanese);
}

} // namespace pelidor
