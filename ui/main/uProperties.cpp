#include "ui/main/uProperties.h"

#include "config/uLanguage.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "shell/FileManager.h"
#include "shell/SharedHelpersGui.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/main/ResultsList.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <utility>

namespace pelidor {
namespace {

const QString kWindowName = QStringLiteral("frmProperties");
const QColor kTextColor(0x38, 0x38, 0x38);
const QString kUnknown = QStringLiteral("-");
// Width limits of the value column, in pixels.
constexpr int kMinValueWidth = 300;
constexpr int kMaxValueWidth = 640;

QString lang(const QString& key, const QString& def) {
    return QString::fromStdString(
        ReadLangString("Translation", key.toStdString(), def.toStdString()));
}

const char* const kDesignText = "designText";

QString componentKey(const QWidget* w) {
    return kWindowName + QLatin1Char('.') + w->objectName() + QStringLiteral(".Caption");
}

// A component's caption in the active language, its English design text by default.
QString designLang(const QWidget* w) {
    return lang(componentKey(w), w->property(kDesignText).toString());
}

QString fromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QString timeText(int64_t seconds, int32_t nanoseconds, const QLocale& locale) {
    return DateTimeText(platform::localDateTimeFromUnix(seconds, nanoseconds), locale);
}

} // namespace

QString PermissionText(uint32_t mode) {
    QChar type = QLatin1Char('?');
    switch (mode & 0170000) {
    case 0100000:
        type = QLatin1Char('-');
        break;
    case 0040000:
        type = QLatin1Char('d');
        break;
    case 0120000:
        type = QLatin1Char('l');
        break;
    case 0020000:
        type = QLatin1Char('c');
        break;
    case 0060000:
        type = QLatin1Char('b');
        break;
    case 0010000:
        type = QLatin1Char('p');
        break;
    case 0140000:
        type = QLatin1Char('s');
        break;
    default:
        break;
    }
    QString text(type);
    const char* const letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        text += (mode & (0400u >> i)) != 0 ? QLatin1Char(letters[i]) : QLatin1Char('-');
    // Set-user-id, set-group-id and sticky take the place of the execute letters.
    const struct {
        uint32_t bit;
        uint32_t exec;
        int index;
        char withExec;
        char withoutExec;
    } specials[] = {
        {04000, 0100, 3, 's', 'S'}, {02000, 010, 6, 's', 'S'}, {01000, 01, 9, 't', 'T'}};
    for (const auto& s : specials)
        if ((mode & s.bit) != 0)
            text[s.index] = QLatin1Char((mode & s.exec) != 0 ? s.withExec : s.withoutExec);
    return text + QStringLiteral(" (%1)").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

TFileProperties ReadFileProperties(const std::string& path, const QLocale& locale,
                                   const QString& missingText) {
    TFileProperties p;
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    p.Name = fromBytes(path.substr(nameStart));
    p.Folder = fromBytes(path.substr(0, nameStart));

    platform::FileStatus st;
    int error = 0;
    if (path.empty() || !platform::statPath(path, st, &error)) {
        p.Problem = path.empty() || error == ENOENT || error == ENOTDIR
                        ? missingText
                        : SystemErrorText(error != 0 ? error : EINVAL);
        return p;
    }
    p.Exists = true;
    p.Size = FormatFileSize(st.size, locale);
    if (st.size >= 1024)
        p.Size += QStringLiteral(" (%1 Bytes)").arg(locale.toString(qlonglong(st.size)));
    p.Modified = timeText(st.mtimeSec, st.mtimeNsec, locale);
    p.Created = timeText(st.createSec, st.createNsec, locale);
    p.Permissions = PermissionText(st.mode);

    // Qt names files by text: only a name that survives the round trip is the same file.
    const QByteArray bytes(path.data(), qsizetype(path.size()));
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) == bytes) {
        const QFileInfo info(name);
        const QString owner = info.owner();
        const QString group = info.group();
        p.Owner = !owner.isEmpty() ? owner : kUnknown;
        p.Group = !group.isEmpty() ? group : kUnknown;
    } else {
        p.Owner = kUnknown;
        p.Group = kUnknown;
    }
    return p;
}

// ---------------------------------------------------------------------------------------

TfrmProperties::TfrmProperties(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(kWindowName);
    setWindowTitle(QStringLiteral("Properties"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::WindowText, kTextColor);
    pal.setColor(QPalette::Text, kTextColor);
    setPalette(pal);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    int row = 0;
    auto addRow = [&](QLabel*& caption, QLineEdit*& value, const char* name, const char* text,
                      const char* valueName) {
        caption = new QLabel(QLatin1String(text), this);
        caption->setObjectName(QLatin1String(name));
        caption->setProperty(kDesignText, caption->text());
        value = new QLineEdit(this);
        value->setObjectName(QLatin1String(valueName));
        value->setReadOnly(true);
        value->setFrame(false);
        value->setFocusPolicy(Qt::ClickFocus);
        caption->setBuddy(value);
        grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(value, row, 1);
        ++row;
    };
    addRow(lblName, edName, "lblName", "Name:", "edName");
    addRow(lblFolder, edFolder, "lblFolder", "Folder:", "edFolder");
    addRow(lblSize, edSize, "lblSize", "Size:", "edSize");
    addRow(lblModified, edModified, "lblModified", "Modified:", "edModified");
    addRow(lblCreated, edCreated, "lblCreated", "Created:", "edCreated");
    addRow(lblPermissions, edPermissions, "lblPermissions", "Permissions:", "edPermissions");
    addRow(lblOwner, edOwner, "lblOwner", "Owner:", "edOwner");
    addRow(lblGroup, edGroup, "lblGroup", "Group:", "edGroup");
    grid->setColumnStretch(1, 1);

    lblMissing = new QLabel(QStringLiteral("This file no longer exists."), this);
    lblMissing->setObjectName(QStringLiteral("lblMissing"));
    lblMissing->setProperty(kDesignText, lblMissing->text());
    lblMissing->setWordWrap(true);
    lblMissing->hide();

    btnClose = new TOrlaImageButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setProperty(kDesignText, btnClose->text());
    btnClose->setKind(TOrlaImageButton::Accent);
    btnClose->setFixedSize(100, 26);
    connect(btnClose, &QAbstractButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(12);
    layout->addLayout(grid);
    layout->addWidget(lblMissing);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TfrmProperties::~TfrmProperties() = default;

void TfrmProperties::SetFile(const std::string& path) {
    fileName_ = path;
    fill();
}

void TfrmProperties::fill() {
    props_ = ReadFileProperties(fileName_, QLocale::system(), designLang(lblMissing));
    const std::pair<QLineEdit*, const QString*> values[] = {
        {edName, &props_.Name},       {edFolder, &props_.Folder},
        {edSize, &props_.Size},       {edModified, &props_.Modified},
        {edCreated, &props_.Created}, {edPermissions, &props_.Permissions},
        {edOwner, &props_.Owner},     {edGroup, &props_.Group}};
    // The value column is as wide as the longest value needs, within limits; a longer
    // value scrolls inside its box.
    int widest = kMinValueWidth;
    for (const auto& [edit, text] : values) {
        edit->setText(*text);
        edit->setCursorPosition(0);
        widest = std::max(widest, edit->fontMetrics().horizontalAdvance(*text) + 8);
    }
    for (const auto& [edit, text] : values)
        edit->setMinimumWidth(std::min(widest, kMaxValueWidth));
    QWidget* const details[] = {lblSize,    edSize,    lblModified,    edModified,
                                lblCreated, edCreated, lblPermissions, edPermissions,
                                lblOwner,   edOwner,   lblGroup,       edGroup};
    for (QWidget* w : details)
        w->setVisible(props_.Exists);
    lblMissing->setText(props_.Problem);
    lblMissing->setVisible(!props_.Exists);
    layout()->activate(); // the window's size follows the rows shown at once
}

void TfrmProperties::localize() {
    ApplyLangFont(this);
    setWindowTitle(lang(kWindowName + QStringLiteral(".Caption"), QStringLiteral("Properties")));
    for (QLabel* l :
         {lblName, lblFolder, lblSize, lblModified, lblCreated, lblPermissions, lblOwner, lblGroup})
        l->setText(designLang(l));
    btnClose->setText(designLang(btnClose));
}

void TfrmProperties::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        localize();
        fill(); // the missing-file line in the active language
    }
    QDialog::showEvent(event);
}

bool ShowFileProperties(const std::string& path, QWidget* owner) {
    if (ShowItemProperties(path))
        return true;
    auto* dialog = new TfrmProperties(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SetFile(path);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return false;
}

} // namespace pelidor
