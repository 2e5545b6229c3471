#include "ui/settings/uDFSettings.h"

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "engine/EnvironmentStrings.h"
#include "engine/FingerprintCache.h"
#include "platform/Mounts.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/OrlaCheckListBox.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShowEvent>
#include <QStackedWidget>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <utility>

namespace pelidor {
namespace {

const QString kWindowName = QStringLiteral("frmDFSettings");
const QColor kTextColor(0x38, 0x38, 0x38);
const QColor kLineColor(0xDF, 0xDF, 0xDF);

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ss(const QString& text) {
    return text.toStdString();
}

QString lang(const char* section, const QString& key, const QString& def = QString()) {
    return qs(ReadLangString(section, ss(key), ss(def)));
}

// A key of this window's components: "frmDFSettings.<component>.<property>".
QString componentKey(const QWidget* w, const char* property) {
    return kWindowName + QLatin1Char('.') + w->objectName() + QLatin1Char('.') +
           QLatin1String(property);
}

QIcon settingsIcon(const char* name) {
    return QIcon(QStringLiteral(":/pelidor/settings/%1.svg").arg(QLatin1String(name)));
}

// "text=id" lines of the custom lists: the id is the part after the last "=" (ids never
// hold one, while a folder or a mask may); a line without "=" is all caption.
void splitCustomLine(const std::string& line, QString& caption, QString& id) {
    const auto eq = line.rfind('=');
    if (eq == std::string::npos) {
        caption = qs(line);
        id.clear();
        return;
    }
    caption = qs(line.substr(0, eq));
    id = qs(line.substr(eq + 1));
}

bool listHas(const TStringList& list, const std::string& value) {
    // Folder names compare exactly: two names that differ in letter case are two folders.
    return std::find(list.begin(), list.end(), value) != list.end();
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int width) {
    auto* label = PlaceControl(new QLabel(text), parent, name, x, y, width, 16);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// The link-style text buttons of the page "adv".
TOrlaLinkButton* makeTextButton(QWidget* parent, const char* name, const QString& text, int x,
                                int y) {
    return PlaceControl(new TOrlaLinkButton(text), parent, name, x, y, 100, 23);
}

QComboBox* makeCombo(QWidget* parent, const char* name, int x, int y, int width) {
    auto* combo = PlaceControl(new QComboBox, parent, name, x, y, width, 25);
    combo->setEditable(false);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents); // a size hint for every language
    return combo;
}

// A line or a frame in the line colour: a panel filled with it, or a white panel with it
// on every edge.
TOrlaPanel* makeLine(QWidget* parent, const char* name, bool frame, int x, int y, int width,
                     int height) {
    auto* panel = PlaceControl(new TOrlaPanel, parent, name, x, y, width, height);
    panel->setColor(frame ? QColor(Qt::white) : kLineColor);
    panel->setBorderColor(kLineColor);
    if (frame)
        panel->setBorders(Qt::TopEdge | Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge);
    return panel;
}

// A colour swatch: a panel in the colour with a frame that shows on light colours too.
TOrlaPanel* makeSwatch(QWidget* parent, const char* name, int x, int y) {
    auto* panel = PlaceControl(new TOrlaPanel, parent, name, x, y, 34, 28);
    panel->setBorderColor(QColor::fromRgba(kOrlaIndicatorLine));
    panel->setBorders(Qt::TopEdge | Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge);
    panel->setCursor(Qt::PointingHandCursor);
    return panel;
}

QPointer<TfrmDFSettings> keptDialog;

} // namespace

TfrmDFSettings::TfrmDFSettings(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(kWindowName);
    setFixedSize(kClientSize);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::WindowText, kTextColor);
    pal.setColor(QPalette::Text, kTextColor);
    setPalette(pal);

    nb1 = PlaceControl(new QStackedWidget, this, "nb1", 0, 0, kClientSize.width(),
                       kClientSize.height() - 40);
    pagePath = new QWidget;
    pagePath->setObjectName(QStringLiteral("Path"));
    pageAdv = new QWidget;
    pageAdv->setObjectName(QStringLiteral("adv"));
    pageSys = new QWidget;
    pageSys->setObjectName(QStringLiteral("Sys"));
    nb1->addWidget(pagePath);
    nb1->addWidget(pageAdv);
    nb1->addWidget(pageSys);

    // The button strip under the pages.
    auto* strip = PlaceControl(new QWidget, this, "pnlButtons", 0, kClientSize.height() - 40,
                               kClientSize.width(), 40);
    makeLine(strip, "shpButtons", false, 0, 0, kClientSize.width(), 1);
    btnOk =
        PlaceControl(new TOrlaImageButton(QStringLiteral("OK")), strip, "btnOk", 290, 7, 100, 26);
    btnOk->setKind(TOrlaImageButton::Accent);
    btnCancel = PlaceControl(new TOrlaImageButton(QStringLiteral("Cancel")), strip, "btnCancel",
                             397, 7, 100, 26);
    connect(btnOk, &QAbstractButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QAbstractButton::clicked, this, [this] { btnCancelClick(); });

    pathIcons_.resize(9);
    pathIcons_[6] = settingsIcon("documents");
    pathIcons_[7] = settingsIcon("drive");
    pathIcons_[8] = settingsIcon("desktop");
    keywordIcons_ = {settingsIcon("keyword"),  settingsIcon("image"),
                     settingsIcon("document"), settingsIcon("video"),
                     settingsIcon("audio"),    settingsIcon("archive"),
                     settingsIcon("mail"),     OrlaPicture(QStringLiteral("folder"))};

    // Page "Path".
    lstpath = PlaceControl(new TOrlaCheckListBox, pagePath, "lstpath", 10, 5, 506, 178);
    connect(lstpath, &TOrlaCheckListBox::addClicked, this, [this] { lstpathAddClick(); });
    connect(lstpath, &TOrlaCheckListBox::removeClicked, this,
            [this](int row) { lstpathRemoveClick(row); });
    lblReference =
        makeLabel(pagePath, "lblReference", QStringLiteral("Reference folders"), 12, 188, 504);
    lstReference = PlaceControl(new TOrlaCheckListBox, pagePath, "lstReference", 10, 207, 506, 63);
    connect(lstReference, &TOrlaCheckListBox::addClicked, this, [this] { lstReferenceAddClick(); });
    connect(lstReference, &TOrlaCheckListBox::removeClicked, this, [this](int row) {
        if (lstReference->action(row) == TOrlaCheckListBox::RemoveAction)
            lstReference->RemoveRow(row);
    });

    // Page "adv".
    lblMinimize = makeLabel(pageAdv, "lblMinimize", QStringLiteral("min"), 22, 11, 160);
    edtmin = PlaceControl(new QLineEdit, pageAdv, "edtmin", 22, 30, 162, 25);
    cbbSize = makeCombo(pageAdv, "cbbSize", 188, 30, 59);
    lblMaxmize = makeLabel(pageAdv, "lblMaxmize", QStringLiteral("max"), 279, 11, 160);
    edmax = PlaceControl(new QLineEdit, pageAdv, "edmax", 279, 30, 163, 25);
    cbbSize1 = makeCombo(pageAdv, "cbbSize1", 446, 30, 59);
    shp2 = makeLine(pageAdv, "shp2", false, 10, 63, 505, 1);
    lblIncludes = makeLabel(pageAdv, "lblIncludes", QStringLiteral("include"), 22, 71, 230);
    lstInclude = PlaceControl(new TOrlaCheckListBox, pageAdv, "lstInclude", 22, 87, 230, 145);
    btnAddIncludeKey =
        makeTextButton(pageAdv, "btnAddIncludeKey", QStringLiteral("Add keyword"), 22, 238);
    lblExclude = makeLabel(pageAdv, "lblExclude", QStringLiteral("exclude"), 277, 71, 230);
    lstExclude = PlaceControl(new TOrlaCheckListBox, pageAdv, "lstExclude", 277, 87, 230, 145);
    btnAddkey = makeTextButton(pageAdv, "btnAddkey", QStringLiteral("Add keyword"), 277, 238);
    btnAddFolder = makeTextButton(pageAdv, "btnAddFolder", QStringLiteral("Add folder"), 405, 238);
    connect(btnAddIncludeKey, &QAbstractButton::clicked, this, [this] { btnAddKeyClick(true); });
    connect(btnAddkey, &QAbstractButton::clicked, this, [this] { btnAddKeyClick(false); });
    connect(btnAddFolder, &QAbstractButton::clicked, this, [this] { btnAddFolderClick(); });

    // Page "Sys".
    chkRecycleDelete =
        PlaceControl(new QCheckBox(QStringLiteral("Move the selected items to the Trash")), pageSys,
                     "chkRecycleDelete", 28, 14, 421, 20);
    shp3 = makeLine(pageSys, "shp3", true, 18, 48, 488, 88);
    chkAutoBackup = PlaceControl(
        new QCheckBox(QStringLiteral("Back up files before deleting them permanently")), pageSys,
        "chkAutoBackup", 28, 62, 421, 20);
    lblBackup = makeLabel(pageSys, "lblBackup", QStringLiteral("Backup folder:"), 43, 98, 76);
    lblBackup->resize(76, 24);
    edPath = PlaceControl(new QLineEdit, pageSys, "edPath", 125, 98, 310, 24);
    edPath->setReadOnly(true);
    btnFolder = PlaceControl(new TOrlaImageButton, pageSys, "btnFolder", 441, 98, 24, 24);
    btnFolder->setKind(TOrlaImageButton::Flat);
    btnFolder->setIcon(OrlaPicture(QStringLiteral("folder")));
    btnFolder->setIconSize(QSize(16, 16));
    lblCheckupdate = makeLabel(pageSys, "lblCheckupdate", QStringLiteral("Check for new versions:"),
                               28, 151, 421);
    cbbUpdates = makeCombo(pageSys, "cbbUpdates", 69, 175, 228);
    lblColor = makeLabel(pageSys, "lblColor", QStringLiteral("Group colors:"), 28, 224, 91);
    lblColor->resize(91, 28);
    shp4 = makeSwatch(pageSys, "shp4", 125, 224);
    shp1 = makeSwatch(pageSys, "shp1", 190, 224);
    chkRememberFingerprints =
        PlaceControl(new QCheckBox(QStringLiteral("Remember fingerprints between searches")),
                     pageSys, "chkRememberFingerprints", 28, 252, 300, 20);
    btnClearCache =
        makeTextButton(pageSys, "btnClearCache", QStringLiteral("Empty the cache"), 336, 250);
    connect(btnClearCache, &QAbstractButton::clicked, this, [this] { btnClearCacheClick(); });
    connect(chkRecycleDelete, &QCheckBox::clicked, this, [this] { chkRecycleDeleteClick(); });
    connect(btnFolder, &QAbstractButton::clicked, this, [this] { edPathRightBtnClick(); });
    connect(shp1, &TOrlaPanel::pressed, this, [this] { shp1MouseDown(shp1); });
    connect(shp4, &TOrlaPanel::pressed, this, [this] { shp1MouseDown(shp4); });

    FolderPicker = [](QWidget* owner, const QString& title, const QString& root, QString& folder) {
        return BrowseForFolder(owner, title, root, folder);
    };
    InputBox = [this](QWidget* owner, const QString& title, const QString& prompt, QString& text) {
        QInputDialog box(owner);
        box.setFont(font()); // a window of its own does not inherit the language font
        box.setWindowTitle(title);
        box.setLabelText(prompt);
        box.setInputMode(QInputDialog::TextInput);
        if (!inputOkCaption_.isEmpty())
            box.setOkButtonText(inputOkCaption_);
        if (!inputCancelCaption_.isEmpty())
            box.setCancelButtonText(inputCancelCaption_);
        if (box.exec() != QDialog::Accepted)
            return false;
        text = box.textValue();
        return true;
    };
    ColorPicker = [](QWidget* owner, const QColor& initial, QColor& chosen) {
        const QColor picked = QColorDialog::getColor(initial, owner);
        if (!picked.isValid())
            return false;
        chosen = picked;
        return true;
    };
    LocalDisks = [] { return platform::localDiskMountPoints(); };

    nb1->setCurrentWidget(pagePath);
}

TfrmDFSettings::~TfrmDFSettings() = default;

bool TfrmDFSettings::SetActivePage(const QString& Name) {
    for (QWidget* page : {pagePath, pageAdv, pageSys}) {
        if (page->objectName() == Name) {
            nb1->setCurrentWidget(page);
            return true;
        }
    }
    return false;
}

QString TfrmDFSettings::ActivePage() const {
    return nb1->currentWidget()->objectName();
}

int TfrmDFSettings::ShowSettings(const QString& Page) {
    SetActivePage(Page);
    return exec();
}

void TfrmDFSettings::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfrmDFSettings::FormShow() {
    localize();
    QWidget* page = nb1->currentWidget();
    if (page == pagePath) {
        setWindowTitle(lang("Translation", QStringLiteral("frmDFSettings.Folder.Caption")));
        ShowPathPage();
    } else if (page == pageAdv) {
        setWindowTitle(lang("Translation", QStringLiteral("frmDFSettings.AdvSetting.Caption")));
        ShowAdvPage();
    } else {
        setWindowTitle(lang("Translation", QStringLiteral("frmDFSettings.Caption")));
        ShowSysPage();
    }
}

void TfrmDFSettings::btnOkClick() {
    QWidget* page = nb1->currentWidget();
    if (page == pagePath)
        ApplyPathPage();
    else if (page == pageAdv)
        ApplyAdvPage();
    else
        ApplySysPage();
    accept();
}

void TfrmDFSettings::btnCancelClick() {
    reject();
}

void TfrmDFSettings::localize() {
    ApplyLangFont(this);
    inputOkCaption_ = lang("GUI", QStringLiteral("ButtonOk"));
    inputCancelCaption_ = lang("GUI", QStringLiteral("ButtonCancel"));
    FillUpdateFrequencies();
    FillSizeUnits(cbbSize);
    FillSizeUnits(cbbSize1);

    // Image buttons: caption, and a hint that defaults to the translated caption.
    for (QAbstractButton* b : {btnOk, btnCancel, btnFolder}) {
        const QString caption = lang("Translation", componentKey(b, "caption"), b->text());
        b->setText(caption);
        b->setToolTip(lang("Translation", componentKey(b, "Hint"), caption));
    }
    for (QAbstractButton* b : {btnAddIncludeKey, btnAddkey, btnAddFolder, btnClearCache}) {
        b->setText(lang("Translation", componentKey(b, "Caption"), b->text()));
        b->setToolTip(lang("Translation", componentKey(b, "hint"), b->toolTip()));
    }
    for (QLabel* l : {lblIncludes, lblMinimize, lblMaxmize, lblExclude, lblCheckupdate, lblBackup,
                      lblColor, lblReference})
        l->setText(lang("Translation", componentKey(l, "Caption"), l->text()));
    for (QCheckBox* c : {chkAutoBackup, chkRecycleDelete, chkRememberFingerprints})
        c->setText(lang("Translation", componentKey(c, "Caption"), c->text()));
    btnAddIncludeKey->setText(btnAddkey->text());
    layoutTexts();
    NameSettingsControls(*this,
                         lang("Translation", QStringLiteral("frmDFSettings.Folder.Caption")));
}

// Gives the controls whose translated text would not fit the room it needs, taken from
// the field beside them or from free space on the page.
void TfrmDFSettings::layoutTexts() {
    const auto textWidth = [](const QWidget* w, const QString& text) {
        return QFontMetrics(w->font()).horizontalAdvance(text);
    };
    // A unit box as wide as its widest unit; its size field gives up the room.
    for (auto [edit, units] : {std::pair{edtmin, cbbSize}, std::pair{edmax, cbbSize1}}) {
        const int left = edit->x();
        const int unitWidth = std::clamp(units->sizeHint().width() + 4, 59, 100);
        units->setGeometry(left + 226 - unitWidth, 30, unitWidth, 25);
        edit->resize(226 - unitWidth - 4, 25);
    }

    // Labels in front of a field: the field gives up room on its left.
    const int backupLabel = std::clamp(textWidth(lblBackup, lblBackup->text()) + 2, 76, 200);
    lblBackup->setGeometry(43, 98, backupLabel, 24);
    const int pathLeft = std::max(125, 43 + backupLabel + 6);
    edPath->setGeometry(pathLeft, 98, 435 - pathLeft, 24);

    const int colorLabel = std::clamp(textWidth(lblColor, lblColor->text()) + 2, 91, 250);
    lblColor->setGeometry(28, 224, colorLabel, 28);
    const int swatchLeft = std::max(125, 28 + colorLabel + 6);
    shp4->move(swatchLeft, 224);
    shp1->move(swatchLeft + 65, 224);

    // Check boxes grow up to the frame's right edge.
    for (QCheckBox* c : {chkRecycleDelete, chkAutoBackup})
        c->resize(std::clamp(c->sizeHint().width(), 421, 496 - c->x()), c->height());

    // The text buttons grow with their text: the include button from its left edge, the
    // folder button leftwards from the list's right edge, the keyword button between.
    const auto buttonWidth = [](const QAbstractButton* b, int most) {
        return std::clamp(b->sizeHint().width(), 100, most);
    };
    btnAddIncludeKey->resize(buttonWidth(btnAddIncludeKey, 230), 23);
    const int folderWidth = buttonWidth(btnAddFolder, 150);
    btnAddFolder->setGeometry(507 - folderWidth, 238, folderWidth, 23);
    btnAddkey->resize(std::min(buttonWidth(btnAddkey, 230), btnAddFolder->x() - 4 - 277), 23);
    // The cache row: the button at the right edge, the check box in the room left of it.
    const int clearWidth = buttonWidth(btnClearCache, 200);
    btnClearCache->setGeometry(507 - clearWidth, 250, clearWidth, 23);
    chkRememberFingerprints->resize(btnClearCache->x() - 4 - 28, 20);
}

void TfrmDFSettings::FillSizeUnits(QComboBox* Box) {
    Box->clear();
    for (const char* key : {"Byte", "KB", "MB", "GB"})
        Box->addItem(lang("Message", QLatin1String(key)));
    Box->setCurrentIndex(0);
}

void TfrmDFSettings::FillUpdateFrequencies() {
    cbbUpdates->clear();
    for (const char* key : {"Daily", "Weekly", "Monthly", "Never"})
        cbbUpdates->addItem(lang("Message", QLatin1String(key)));
}

int TfrmDFSettings::AddListRow(TOrlaCheckListBox* List, const QString& Caption,
                               const QString& Value, bool Checked, int IconIndex,
                               bool FolderMarker) {
    const int row = List->AddRow(Caption, Value, Checked);
    const QVector<QIcon>& icons = List == lstpath ? pathIcons_ : keywordIcons_;
    List->setIconIndex(row, IconIndex);
    if (IconIndex >= 0 && IconIndex < icons.size())
        List->setRowIcon(row, icons[IconIndex]);
    List->setFolderMarker(row, FolderMarker);
    List->item(row)->setToolTip(Caption);
    return row;
}

// ---------------------------------------------------------------------------- Path

void TfrmDFSettings::ShowPathPage() {
    const TAppConfig& c = AppConfig;
    lstpath->clear();
    TStringList fixedValues;
    const auto addFixed = [&](const QString& caption, const std::string& value, int icon) {
        fixedValues.push_back(value);
        AddListRow(lstpath, caption, qs(value), listHas(c.includePath, value), icon);
    };
    addFixed(lang("Message", QStringLiteral("MyDocument"), QStringLiteral("Documents")),
             ExpandVars("%MYDOCUMENTS%"), 6);
    addFixed(lang("Message", QStringLiteral("Desktop"), QStringLiteral("Desktop")),
             ExpandVars("%DESKTOP%"), 8);
    for (const std::string& disk : LocalDisks ? LocalDisks() : std::vector<std::string>())
        addFixed(qs(disk), disk, 7);
    for (const std::string& folder : c.includePathCustom) {
        if (listHas(fixedValues, folder))
            continue;
        const int row =
            AddListRow(lstpath, qs(folder), QString(), listHas(c.includePath, folder), 0);
        lstpath->setRowIcon(row, OrlaPicture(QStringLiteral("folder")));
        lstpath->setAction(row, TOrlaCheckListBox::RemoveAction);
    }
    const int add =
        lstpath->AddActionRow(lang("Message", QStringLiteral("AddFolder")), QStringLiteral("Add"));
    lstpath->setIconIndex(add, 0);
    ShowReferenceFolders();
}

namespace {

// A reference folder's row: the folder, no check box, the remove icon.
void addReferenceRow(TOrlaCheckListBox* List, const QString& Folder) {
    const int row = List->AddRow(Folder, QString(), false);
    QListWidgetItem* item = List->item(row);
    item->setData(TOrlaCheckListBox::CheckableRole, false);
    item->setData(Qt::CheckStateRole, QVariant());
    item->setToolTip(Folder);
    List->setRowIcon(row, OrlaPicture(QStringLiteral("folder")));
    List->setAction(row, TOrlaCheckListBox::RemoveAction);
}

} // namespace

void TfrmDFSettings::ShowReferenceFolders() {
    lstReference->clear();
    for (const std::string& folder : AppConfig.referencePath)
        addReferenceRow(lstReference, qs(folder));
    const int add = lstReference->AddActionRow(lang("Message", QStringLiteral("AddReferenceFolder"),
                                                    QStringLiteral("Add reference folder")),
                                               QStringLiteral("Add"));
    lstReference->setIconIndex(add, 0);
}

void TfrmDFSettings::lstReferenceAddClick() {
    QString folder;
    const QString title = lang("Message", QStringLiteral("AddReferenceFolder"),
                               QStringLiteral("Add reference folder"));
    if (!FolderPicker || !FolderPicker(this, title, QDir::homePath(), folder) || folder.isEmpty())
        return;
    int addRow = -1;
    for (int i = 0; i < lstReference->count(); ++i) {
        if (lstReference->action(i) == TOrlaCheckListBox::AddAction)
            addRow = i;
        else if (lstReference->caption(i) == folder)
            return; // listed already
    }
    addReferenceRow(lstReference, folder);
    if (addRow >= 0)
        lstReference->addItem(lstReference->takeItem(addRow));
    lstReference->scrollToBottom();
}

void TfrmDFSettings::lstpathAddClick() {
    QString folder;
    // The picker starts in the home folder, where the user's own folders are.
    if (!FolderPicker ||
        !FolderPicker(this, lang("Message", QStringLiteral("AddFolder")), QDir::homePath(),
                      folder) ||
        folder.isEmpty())
        return;
    // A folder the list holds already (as a fixed row or a user folder, with or without a
    // trailing separator) is not added again: its row is ticked and shown instead.
    const QString wanted = QDir::cleanPath(folder);
    int addRow = -1;
    for (int i = 0; i < lstpath->count(); ++i) {
        if (lstpath->action(i) == TOrlaCheckListBox::AddAction) {
            addRow = i;
            continue;
        }
        const QString value = lstpath->value(i);
        if (QDir::cleanPath(value.isEmpty() ? lstpath->caption(i) : value) == wanted) {
            lstpath->setChecked(i, true);
            lstpath->setCurrentRow(i);
            lstpath->scrollToItem(lstpath->item(i));
            return;
        }
    }
    // The new row goes last and the add row moves below it, so that it stays the last row.
    const int row = AddListRow(lstpath, folder, QString(), true, 0);
    lstpath->setRowIcon(row, OrlaPicture(QStringLiteral("folder")));
    lstpath->setAction(row, TOrlaCheckListBox::RemoveAction);
    if (addRow >= 0)
        lstpath->addItem(lstpath->takeItem(addRow));
    lstpath->scrollToBottom();
    AppConfig.includePathCustom.push_back(ss(folder));
}

void TfrmDFSettings::lstpathRemoveClick(int Row) {
    if (lstpath->action(Row) == TOrlaCheckListBox::RemoveAction)
        lstpath->RemoveRow(Row);
}

void TfrmDFSettings::ApplyPathPage() {
    TAppConfig& c = AppConfig;
    c.includePath.clear();
    c.includePathCustom.clear();
    for (int i = 0; i < lstpath->count(); ++i) {
        const QString value = lstpath->value(i);
        if (value == QLatin1String("Add"))
            continue;
        const std::string caption = ss(lstpath->caption(i));
        if (lstpath->isChecked(i))
            c.includePath.push_back(value.isEmpty() ? caption : ss(value));
        if (value.isEmpty())
            c.includePathCustom.push_back(caption);
    }
    c.referencePath.clear();
    for (int i = 0; i < lstReference->count(); ++i)
        if (lstReference->action(i) == TOrlaCheckListBox::RemoveAction)
            c.referencePath.push_back(ss(lstReference->caption(i)));
}

// ---------------------------------------------------------------------------- adv

int64_t TfrmDFSettings::SizeFieldBound(const QString& Text, int64_t Factor) {
    const std::string text = Text.trimmed().toStdString();
    const char* first = text.data();
    const char* last = first + text.size();
    if (last - first > 1 && *first == '+' && first[1] != '-')
        ++first;
    int64_t value = -1;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last)
        value = -1;
    int64_t bound = 0;
    if (__builtin_mul_overflow(value, Factor, &bound))
        return -1;
    return bound;
}

QString TfrmDFSettings::KeywordMask(const QString& Text) {
    if (Text.contains(QLatin1Char('*')) || Text.contains(QLatin1Char('?')))
        return Text;
    return QLatin1Char('*') + Text + QLatin1Char('*');
}

void TfrmDFSettings::FillKeywordCategories(TOrlaCheckListBox* List, const std::string& Checked) {
    List->clear();
    for (int i = 0; i < 6; ++i) {
        const int id = kOfferedCategories[i];
        AddListRow(List, QLatin1String(DefaultKeywordMasks[id]), QString::number(id),
                   IsIdChecked(Checked, std::to_string(id)), kCategoryIcons[i]);
    }
}

void TfrmDFSettings::LoadCustomKeywords() {
    const TAppConfig& c = AppConfig;
    const auto load = [this](TOrlaCheckListBox* list, const TStringList& lines,
                             const std::string& checked, bool folder) {
        for (const std::string& line : lines) {
            QString caption, id;
            splitCustomLine(line, caption, id);
            AddListRow(list, caption, id, IsIdChecked(checked, ss(id)), folder ? 7 : 0, folder);
        }
    };
    load(lstInclude, c.includeKeywordsCustom, c.CheckedIncludes, false);
    load(lstExclude, c.excludeKeywordsCustom, c.CheckedExcludes, false);
    load(lstExclude, c.excludePathCustom, c.CheckedExcludes, true);
}

void TfrmDFSettings::ShowAdvPage() {
    const TAppConfig& c = AppConfig;
    if (c.MinSize >= 0)
        edtmin->setText(QString::number(c.MinSize));
    if (c.MaxSize >= 0)
        edmax->setText(QString::number(c.MaxSize));
    FillKeywordCategories(lstInclude, c.CheckedIncludes);
    FillKeywordCategories(lstExclude, c.CheckedExcludes);
    LoadCustomKeywords();
}

void TfrmDFSettings::btnAddKeyClick(bool Include) {
    QString text;
    if (!InputBox ||
        !InputBox(this, windowTitle(), lang("Message", QStringLiteral("InputKey")), text))
        return;
    text = text.trimmed();
    if (text.isEmpty())
        return;
    text = KeywordMask(text);
    TOrlaCheckListBox* list = Include ? lstInclude : lstExclude;
    TStringList& custom =
        Include ? AppConfig.includeKeywordsCustom : AppConfig.excludeKeywordsCustom;
    const QString id = QString::number(list->count() + 1); // the list's new row count
    list->scrollToItem(list->item(AddListRow(list, text, id, true, 0)));
    custom.push_back(ss(text + QLatin1Char('=') + id));
}

void TfrmDFSettings::btnAddFolderClick() {
    QString folder;
    if (!FolderPicker || !FolderPicker(this, btnAddFolder->text(), QString(), folder) ||
        folder.isEmpty())
        return;
    const QString id = QString::number(lstExclude->count() + 1);
    lstExclude->scrollToItem(lstExclude->item(AddListRow(lstExclude, folder, id, true, 7, true)));
    AppConfig.excludePathCustom.push_back(ss(folder + QLatin1Char('=') + id));
}

void TfrmDFSettings::ApplyAdvPage() {
    TAppConfig& c = AppConfig;
    const auto factor = [](const QComboBox* units) {
        return kSizeFactors[std::clamp(units->currentIndex(), 0, 3)];
    };
    c.MinSize = SizeFieldBound(edtmin->text(), factor(cbbSize));
    c.MaxSize = SizeFieldBound(edmax->text(), factor(cbbSize1));

    c.CheckedIncludes = ",";
    c.includeKeywords.clear();
    for (int i = 0; i < lstInclude->count(); ++i) {
        if (!lstInclude->isChecked(i))
            continue;
        c.CheckedIncludes += ss(lstInclude->value(i)) + ",";
        SplitIntoList(ss(lstInclude->caption(i)), c.includeKeywords, ";");
    }
    c.excludePath.clear();
    c.excludeKeywords.clear();
    c.CheckedExcludes = ",";
    for (int i = 0; i < lstExclude->count(); ++i) {
        if (!lstExclude->isChecked(i))
            continue;
        c.CheckedExcludes += ss(lstExclude->value(i)) + ",";
        SplitIntoList(ss(lstExclude->caption(i)),
                      lstExclude->folderMarker(i) ? c.excludePath : c.excludeKeywords, ";");
    }
}

// ---------------------------------------------------------------------------- Sys

QColor TfrmDFSettings::ColorFromValue(int32_t Value) {
    const auto v = static_cast<uint32_t>(Value);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

int32_t TfrmDFSettings::ValueFromColor(const QColor& Color) {
    const QColor rgb = Color.toRgb();
    return static_cast<int32_t>(static_cast<uint32_t>(rgb.red()) |
                                (static_cast<uint32_t>(rgb.green()) << 8) |
                                (static_cast<uint32_t>(rgb.blue()) << 16));
}

void TfrmDFSettings::ShowSysPage() {
    const TAppConfig& c = AppConfig;
    chkRecycleDelete->setChecked(c.RecycleDelete);
    chkAutoBackup->setChecked(c.AutoBackup);
    edPath->setText(qs(c.backPath));
    edPath->setCursorPosition(0);
    edPath->setToolTip(edPath->text());
    // A stored value outside the list shows no selection.
    cbbUpdates->setCurrentIndex(
        c.AutoUpdate >= 0 && c.AutoUpdate < cbbUpdates->count() ? c.AutoUpdate : -1);
    shp1->setColor(ColorFromValue(c.GroupColor1));
    shp4->setColor(ColorFromValue(c.GroupColor2));
    chkRememberFingerprints->setChecked(c.RememberFingerprints);
    btnClearCache->setEnabled(true);
    chkRecycleDeleteClick();
}

void TfrmDFSettings::btnClearCacheClick() {
    // Emptied, there is nothing more to empty until the next search; a cache that cannot
    // be emptied (another program holds it) leaves the button for another try.
    const std::string path = FingerprintCache::defaultPath();
    if (!path.empty() && FingerprintCache::clear(path))
        btnClearCache->setEnabled(false);
}

void TfrmDFSettings::chkRecycleDeleteClick() {
    const bool permanent = !chkRecycleDelete->isChecked();
    chkAutoBackup->setEnabled(permanent);
    btnFolder->setEnabled(permanent);
}

void TfrmDFSettings::edPathRightBtnClick() {
    QString folder;
    if (!FolderPicker || !FolderPicker(this, btnFolder->toolTip(), edPath->text(), folder) ||
        folder.isEmpty())
        return;
    edPath->setText(folder);
    edPath->setCursorPosition(0);
    edPath->setToolTip(folder);
}

void TfrmDFSettings::shp1MouseDown(TOrlaPanel* Swatch) {
    QColor chosen;
    if (!ColorPicker || !ColorPicker(this, Swatch->color(), chosen) || !chosen.isValid())
        return;
    Swatch->setColor(chosen);
}

void TfrmDFSettings::ApplySysPage() {
    TAppConfig& c = AppConfig;
    c.RecycleDelete = chkRecycleDelete->isChecked();
    c.AutoBackup = chkAutoBackup->isChecked();
    c.RememberFingerprints = chkRememberFingerprints->isChecked();
    c.backPath = ss(edPath->text());
    // No selection (a stored value outside the list, left alone) keeps the value.
    if (cbbUpdates->currentIndex() >= 0)
        c.AutoUpdate = cbbUpdates->currentIndex();
    c.GroupColor1 = ValueFromColor(shp1->color());
    c.GroupColor2 = ValueFromColor(shp4->color());
}

// ---------------------------------------------------------------------------- instance

TfrmDFSettings* SettingsDialog() {
    return keptDialog.data();
}

int ShowSettingsDialog(QWidget* Owner, const QString& Page) {
    if (keptDialog.isNull()) {
        keptDialog = new TfrmDFSettings(Owner);
        if (Owner == nullptr && qApp != nullptr)
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, keptDialog.data(),
                             &QObject::deleteLater);
    }
    return keptDialog->ShowSettings(Page);
}

} // namespace pelidor
