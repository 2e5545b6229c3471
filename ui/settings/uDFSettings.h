// The settings dialog "frmDFSettings": one modal dialog with three pages, of which each
// opening shows exactly one, chosen by its name:
//   "Path"  the folders to scan (documents, desktop, every local disk, the user's folders)
//           and the reference folders, whose files are never ticked, deleted or replaced,
//   "adv"   the size bounds and the include and exclude filters,
//   "Sys"   deletion, backup folder, update frequency and the two group colours.
// Showing the dialog translates it and fills the active page from AppConfig; OK writes that
// page's controls back to AppConfig, Cancel (or the close button) writes nothing of it.
// New keywords, excluded folders and scan folders reach their lists in AppConfig at once;
// their ticks only through OK. The settings file itself is written later by
// SaveAppConfig. There is no validation and no message of its own.
//
// One instance is kept for the program's run (SettingsDialog, ShowSettingsDialog).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QSize>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QColor;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace pelidor {

class TOrlaCheckListBox;
class TOrlaImageButton;
class TOrlaLinkButton;
class TOrlaPanel;

class TfrmDFSettings : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize kClientSize{525, 314};
    // The size units of cbbSize and cbbSize1, by index: Byte, KB, MB, GB.
    static constexpr int64_t kSizeFactors[4] = {1, 1024, 1048576, 1073741824};
    // The built-in keyword categories offered, and the icon index of each.
    static constexpr int kOfferedCategories[6] = {0, 1, 2, 4, 5, 6};
    static constexpr int kCategoryIcons[6] = {1, 3, 4, 2, 5, 6};

    explicit TfrmDFSettings(QWidget* parent = nullptr);
    ~TfrmDFSettings() override;

    // Makes the page named Name ("Path", "adv" or "Sys", exactly so) the active one. False,
    // and the active page unchanged, for any other name.
    bool SetActivePage(const QString& Name);
    QString ActivePage() const;
    // Makes Page active and shows the dialog modally. QDialog::Accepted after OK.
    int ShowSettings(const QString& Page);

    // The pickers the dialog asks; tests replace them. Each returns false when the user
    // cancelled. Defaults: BrowseForFolder, a QInputDialog with the translated button
    // captions, QColorDialog.
    std::function<bool(QWidget* Owner, const QString& Title, const QString& Root, QString& Folder)>
        FolderPicker;
    std::function<bool(QWidget* Owner, const QString& Title, const QString& Prompt, QString& Text)>
        InputBox;
    std::function<bool(QWidget* Owner, const QColor& Initial, QColor& Chosen)> ColorPicker;
    // The mount points listed as disk rows on the page "Path" (default: the platform's
    // local disks).
    std::function<std::vector<std::string>()> LocalDisks;

    // Translates the window: font, combo box items, component texts.
    void localize();
    // Fill a page from AppConfig, and write it back.
    void ShowPathPage();
    void ApplyPathPage();
    void ShowAdvPage();
    void ApplyAdvPage();
    void ShowSysPage();
    void ApplySysPage();
    void btnClearCacheClick();

    // A size bound: Text as a signed 64-bit decimal number (blanks around it allowed; -1
    // when it is not one or does not fit) times Factor; -1 when the product does not fit
    // in 64 bits. Negative results mean "no bound".
    static int64_t SizeFieldBound(const QString& Text, int64_t Factor);
    // The text a keyword becomes: "*" + Text + "*" when Text holds neither "*" nor "?".
    static QString KeywordMask(const QString& Text);
    // A Windows colour value (0x00BBGGRR) as a colour, and back (the top byte is ignored
    // and written as 0).
    static QColor ColorFromValue(int32_t Value);
    static int32_t ValueFromColor(const QColor& Color);

protected:
    void showEvent(QShowEvent* event) override;

private:
    friend void NameSettingsControls(TfrmDFSettings& Form, const QString& FolderPage);
    void FormShow();
    void btnOkClick();
    void btnCancelClick();
    void btnAddKeyClick(bool Include);
    void btnAddFolderClick();
    void chkRecycleDeleteClick();
    void edPathRightBtnClick();
    void shp1MouseDown(TOrlaPanel* Swatch);
    void lstpathAddClick();
    void lstpathRemoveClick(int Row);
    // The reference folders' list: one row per folder (no check box, a remove icon), then
    // the add row. They reach AppConfig only through OK.
    void ShowReferenceFolders();
    void lstReferenceAddClick();
    void FillSizeUnits(QComboBox* Box);
    void FillUpdateFrequencies();
    void FillKeywordCategories(TOrlaCheckListBox* List, const std::string& Checked);
    int AddListRow(TOrlaCheckListBox* List, const QString& Caption, const QString& Value,
                   bool Checked, int IconIndex, bool FolderMarker = false);
    void LoadCustomKeywords();
    void layoutTexts();

    QStackedWidget* nb1 = nullptr;
    QWidget* pagePath = nullptr;
    QWidget* pageAdv = nullptr;
    QWidget* pageSys = nullptr;
    TOrlaImageButton* btnOk = nullptr;
    TOrlaImageButton* btnCancel = nullptr;
    // Path
    TOrlaCheckListBox* lstpath = nullptr;
    QLabel* lblReference = nullptr;
    TOrlaCheckListBox* lstReference = nullptr;
    // adv
    QLabel* lblMinimize = nullptr;
    QLineEdit* edtmin = nullptr;
    QComboBox* cbbSize = nullptr;
    QLabel* lblMaxmize = nullptr;
    QLineEdit* edmax = nullptr;
    QComboBox* cbbSize1 = nullptr;
    TOrlaPanel* shp2 = nullptr;
    QLabel* lblIncludes = nullptr;
    TOrlaCheckListBox* lstInclude = nullptr;
    TOrlaLinkButton* btnAddIncludeKey = nullptr;
    QLabel* lblExclude = nullptr;
    TOrlaCheckListBox* lstExclude = nullptr;
    TOrlaLinkButton* btnAddkey = nullptr;
    TOrlaLinkButton* btnAddFolder = nullptr;
    // Sys
    QCheckBox* chkRecycleDelete = nullptr;
    TOrlaPanel* shp3 = nullptr;
    QCheckBox* chkAutoBackup = nullptr;
    QLabel* lblBackup = nullptr;
    QLineEdit* edPath = nullptr;
    TOrlaImageButton* btnFolder = nullptr;
    QLabel* lblCheckupdate = nullptr;
    QComboBox* cbbUpdates = nullptr;
    QLabel* lblColor = nullptr;
    TOrlaPanel* shp4 = nullptr;
    TOrlaPanel* shp1 = nullptr;
    QCheckBox* chkRememberFingerprints = nullptr;
    TOrlaLinkButton* btnClearCache = nullptr;

    QVector<QIcon> pathIcons_;    // by icon index: 6 documents, 7 disk, 8 desktop
    QVector<QIcon> keywordIcons_; // 0 keyword, 1 .. 6 the categories, 7 folder
    QString inputOkCaption_;
    QString inputCancelCaption_;
};

// The dialog kept for the program's run; null before the first opening (and after its
// owner destroyed it).
TfrmDFSettings* SettingsDialog();
// Creates SettingsDialog on first use, owned by Owner (the main window, or null for the
// application), then shows it modally on Page ("Path", "adv" or "Sys"). The dialog's
// result: QDialog::Accepted after OK.
int ShowSettingsDialog(QWidget* Owner, const QString& Page);

// Links the dialog's fields to their labels and gives every control without a text of
// its own an accessible name (FolderPage names the folder list). Called after the texts
// are translated.
void NameSettingsControls(TfrmDFSettings& Form, const QString& FolderPage);

} // namespace pelidor
