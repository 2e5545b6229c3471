#include "services/uMainFormMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QWidget>

#include <string>
#include <vector>

#include "backup/uBackup.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/DateTime.h"
#include "platform/System.h"
#include "services/ServiceAddresses.h"
#include "services/UCheckNewThread.h"
#include "services/uAbout.h"
#include "shell/SharedHelpersGui.h"
#include "ui/settings/uDFSettings.h"

namespace pelidor {
namespace {

std::unique_ptr<TMainFormMenu> gMainMenu;

// The Malwarebytes warning has been shown in this run.
bool gMalwarebytesWarned = false;

constexpr const char* kProductName = "Pelidor";
constexpr const char* kMalwarebytesDefault =
    "MalwareBytes is detected to block %s from working. Click OK to get the solution.";
// The forum: an address the services' base addresses do not cover.
constexpr const char* kForumSite = "http://forum.corvane.example/";

// The menu's rows: key and Tag; "-" is a separator.
struct MenuRow {
    const char* key;
    int tag;
};
constexpr MenuRow kRows[] = {
    {"ppmHelpOnline", TMainFormMenu::rowHelpOnline},
    {"ppmForum", TMainFormMenu::rowForum},
    {"ppmHomepage", TMainFormMenu::rowHomepage},
    {"ppmContactUs", TMainFormMenu::rowContactUs},
    {"-", TMainFormMenu::rowSeparator1},
    {"ppmCheckUpdates", TMainFormMenu::rowCheckUpdates},
    {"ppmSettings", TMainFormMenu::rowSettings},
    {"ppmRestoreFile", TMainFormMenu::rowRestoreFile},
    {"-", TMainFormMenu::rowSeparator2},
    {"ppmLanguage", TMainFormMenu::rowLanguage},
    {"ppmAbout", TMainFormMenu::rowAbout},
};

QString tr(const char* Section, const std::string& Key, const std::string& Default) {
    return QString::fromStdString(ReadLangString(Section, Key, Default));
}

QString site(bool japanese) {
    const TServiceAddresses a = ServiceAddresses();
    return QString::fromStdString(japanese ? a.JapanSite : a.WebSite);
}

// Frees a menu entry (and a submenu it opens) once control is back in the event loop:
// the entry may be the one whose handler is running.
void retire(QMenu* menu, QAction* action) {
    menu->removeAction(action);
    action->setObjectName(QString());
    if (QMenu* sub = action->menu(); sub != nullptr && sub->parent() == menu) {
        sub->setParent(nullptr);
        sub->deleteLater();
    }
    if (action->parent() == menu) {
        action->setParent(nullptr);
        action->deleteLater();
    }
}

} // namespace

// ---- Instance -------------------------------------------------------------------------

TMainFormMenu* TMainFormMenu::InitMainMenu(QMenu* fxMenu, TMainFormMenuHost Host) {
    if (gMainMenu != nullptr && !gMainMenu->FMenu.isNull())
        return gMainMenu.get();
    if (gMainMenu == nullptr)
        gMainMenu.reset(new TMainFormMenu);
    gMainMenu->bind(fxMenu, std::move(Host));
    gMainMenu->AddMenumItem();
    return gMainMenu.get();
}

TMainFormMenu* TMainFormMenu::Instance() {
    return gMainMenu.get();
}

TMainFormMenu::~TMainFormMenu() = default;

void TMainFormMenu::bind(QMenu* fxMenu, TMainFormMenuHost Host) {
    FMenu = fxMenu;
    FHost = std::move(Host);
    fShowNewVerInfo = false;
    OwnBuild = int(ProgramVersionInfo().dwFileVersionLS & 0xFFFF);
    const QString exe = QString::fromStdString(platform::executablePath());
    UpdaterPath = QFileInfo(exe).absolutePath() + QStringLiteral("/Updraft");
#ifdef _WIN32
    UpdaterPath += QStringLiteral(".exe");
#endif
}

// ---- Entries --------------------------------------------------------------------------

std::vector<TLanguageEntry> LanguageEntries() {
    std::vector<std::string> list;
    GetLanguageList(list);
    std::vector<TLanguageEntry> entries;
    for (const std::string& line : list) {
        const QString text = QString::fromStdString(line);
        // Base names are file names; the native name may hold any character.
        const qsizetype eq = text.lastIndexOf(u'=');
        if (eq < 0)
            continue;
        entries.push_back({text.left(eq), text.mid(eq + 1)});
    }
    return entries;
}

void TMainFormMenu::AddMenumItem() {
    if (FMenu.isNull())
        return;
    QMenu* menu = FMenu;
    for (QAction* old : menu->actions())
        retire(menu, old);

    QMenu* languages = nullptr;
    for (const MenuRow& row : kRows) {
        if (row.tag == rowForum && FHost.Japanese)
            continue;
        QAction* item = nullptr;
        if (qstrcmp(row.key, "-") == 0) {
            item = menu->addSeparator();
        } else if (row.tag == rowLanguage) {
            languages = new QMenu(tr("Translation", row.key, row.key), menu);
            item = menu->addMenu(languages);
        } else {
            item = menu->addAction(tr("Translation", row.key, row.key));
            QObject::connect(item, &QAction::triggered, item,
                             [this, item] { DoMenuItemClick(item); });
        }
        item->setObjectName(QLatin1String(row.key));
        item->setData(row.tag);
    }

    // The language submenu: one radio group, the stored language ticked. The stored
    // setting is the file's base name, so that is what is compared.
    auto* group = new QActionGroup(languages);
    group->setExclusive(true);
    for (const TLanguageEntry& entry : LanguageEntries()) {
        QAction* item = languages->addAction(entry.NativeName);
        item->setToolTip(entry.BaseName);
        item->setProperty("Hint", entry.BaseName);
        item->setCheckable(true);
        item->setActionGroup(group);
        item->setChecked(entry.BaseName == QString::fromStdString(AppConfig.Lang));
        QObject::connect(item, &QAction::triggered, item, [this, item] { DoLanguageClick(item); });
    }
}

void TMainFormMenu::DoMenuItemClick(QAction* Item) {
    if (Item == nullptr || (FHost.Busy && FHost.Busy()))
        return;
    switch (Item->data().toInt()) {
    case rowHelpOnline:
        openUrl(HelpUrl());
        break;
    case rowForum:
        openUrl(ForumUrl());
        break;
    case rowHomepage:
        openUrl(HomepageUrl());
        break;
    case rowContactUs:
        openUrl(ContactUrl());
        break;
    case rowCheckUpdates:
        DoCheckNewVer(true);
        break;
    case rowSettings:
        if (FHost.ShowSettings)
            FHost.ShowSettings();
        else
            ShowSettingsDialog(FMenu ? FMenu->parentWidget() : nullptr, QStringLiteral("Sys"));
        break;
    case rowRestoreFile:
        if (FHost.ShowBackupManager)
            FHost.ShowBackupManager();
        else
            ShowBackupManager(FMenu ? FMenu->parentWidget() : nullptr, nullptr);
        break;
    case rowAbout:
        // Over the window the menu belongs to (the menu itself is a popup of its own).
        ShowAbout(FMenu && FMenu->parentWidget() ? FMenu->parentWidget()->window() : nullptr,
                  FHost.Japanese);
        break;
    default: // the language entry and the separators
        break;
    }
}

void TMainFormMenu::DoLanguageClick(QAction* Item) {
    if (Item == nullptr)
        return;
    if (FHost.Busy && FHost.Busy()) {
        // The mark goes back to the language in use.
        if (QActionGroup* group = Item->actionGroup())
            for (QAction* entry : group->actions())
                entry->setChecked(entry->property("Hint").toString() ==
                                  QString::fromStdString(AppConfig.Lang));
        return;
    }
    Item->setChecked(true);
    const std::string lang = Item->property("Hint").toString().toStdString();
    AppConfig.Lang = lang;
    SaveAppConfig();
    SelectLanguage(lang);
    if (FHost.LanguageChanged)
        FHost.LanguageChanged();
    else
        AddMenumItem();
}

// ---- Addresses ------------------------------------------------------------------------

QString TMainFormMenu::HelpUrl() const {
    return site(FHost.Japanese) +
           (FHost.Japanese ? QStringLiteral("/rd/qdx/help") : QStringLiteral("/help/pelidor/"));
}

QString TMainFormMenu::ForumUrl() const {
    return QLatin1String(kForumSite);
}

QString TMainFormMenu::HomepageUrl() const {
    return site(FHost.Japanese) + u'/';
}

QString TMainFormMenu::ContactUrl() const {
    if (FHost.Japanese)
        return site(true) + QStringLiteral("/support");
    return QStringLiteral("mailto:") + AboutSupportEmail();
}

QString TMainFormMenu::MalwarebytesArticleUrl() {
    return site(false) + QStringLiteral("/blog/malwarebytes-blocks-pelidor/");
}

// ---- Update conversation --------------------------------------------------------------

void TMainFormMenu::DoCheckNewVer(bool ShowHint) {
    fShowNewVerInfo = ShowHint;
    AppConfig.LastUpdate = platform::nowLocalDateTime();
    // Kept at once, not only when the program ends.
    SaveAppConfig();
    const QString url = QString::fromStdString(UpdateCheckUrl(ServiceAddresses(), FHost.Japanese));
    // A child of the menu: closing the window aborts the request, and no finish event
    // reaches a window that is gone.
    auto* check = new TCheckUpdate(OwnBuild, url, FMenu.data());
    check->FreeOnTerminate = true;
    check->FOnFinish = [this](TCheckUpdate* Sender, const QString& InfoFile,
                              const QStringList& VerInfo, const QString& DownLink, int Build,
                              const QString& BlogURL, const TFeatureInfo* FeatureInfo) {
        DoCheckNewVerFinish(Sender, InfoFile, VerInfo, DownLink, Build, BlogURL, FeatureInfo);
    };
    check->Start();
}

void TMainFormMenu::DoCheckNewVerFinish(TCheckUpdate* Sender, const QString& InfoFile,
                                        const QStringList&, const QString& DownLink, int Build,
                                        const QString&, const TFeatureInfo*) {
    if (DownLink == QLatin1String("Malwarebytes")) {
        ShowMalwarebytesWarning(
            fShowNewVerInfo,
            [this](TMsgDlgType t, const QString& m, TMsgDlgButtons b) {
                return showMessage(t, m, b);
            },
            [this](const QString& u) { openUrl(u); });
        return;
    }
    if (OwnBuild < Build) {
        const QString question =
            tr("Message", "newver", "A new version is found. Do you want an upgrade now?");
        if (showMessage(mtInformation, question, {mbYes, mbNo}) == mrYes)
            startUpgrade(InfoFile, DownLink);
        return;
    }
    // A check that got no usable answer says so (only when the user asked for it): it
    // cannot tell whether a new version exists.
    if (fShowNewVerInfo && Sender != nullptr && !Sender->Failure().isEmpty())
        showMessage(mtError,
                    tr("Message", "UpdateCheckFailed", "The update check failed:") + u' ' +
                        Sender->Failure(),
                    {mbOK});
    else if (fShowNewVerInfo)
        showMessage(mtInformation, tr("Message", "nonewver", "No effective update found."), {mbOK});
    fShowNewVerInfo = false;
}

void TMainFormMenu::startUpgrade(const QString& InfoFile, const QString& DownLink) {
    // The updater gets the saved answer and the active language file, each as one
    // argument. When it cannot be started the download page is the way left.
    if (QFileInfo(UpdaterPath).isFile() &&
        QProcess::startDetached(UpdaterPath, {InfoFile, QString::fromStdString(LangFile())},
                                QFileInfo(UpdaterPath).absolutePath())) {
        if (FHost.Terminate)
            FHost.Terminate();
        else if (FMenu != nullptr && FMenu->parentWidget() != nullptr)
            FMenu->parentWidget()->window()->close();
        return;
    }
    // The download address comes from the network: only a web address is opened.
    if (!IsWebAddress(DownLink)) {
        qWarning("pelidor: the update service's download address is not a web address; "
                 "not opened: %s",
                 qUtf8Printable(DownLink.left(200)));
        return;
    }
    openUrl(DownLink);
}

int TMainFormMenu::showMessage(TMsgDlgType Type, const QString& Text, TMsgDlgButtons Buttons) {
    if (FHost.ShowMessageDlg)
        return FHost.ShowMessageDlg(Type, Text, Buttons);
    static const char* const titles[] = {"Warning", "Error", "Information", "Confirm"};
    const QString title = Type >= mtWarning && Type <= mtConfirmation
                              ? tr("Translation", titles[Type], "")
                              : QString();
    TOrlaMsgBox box;
    box.Localize();
    return box.OrlaMessageDlg(title, Text, Type, Buttons, FMenu ? FMenu->parentWidget() : nullptr);
}

void TMainFormMenu::openUrl(const QString& Url) {
    if (FHost.OpenUrl)
        FHost.OpenUrl(Url);
    else
        OpenUrl(Url);
}

// ---- Malwarebytes ---------------------------------------------------------------------

QString MalwarebytesWarningText() {
    QString text = tr("Message", "MWDetected", kMalwarebytesDefault);
    if (!text.contains(QStringLiteral("%s")))
        text = QLatin1String(kMalwarebytesDefault);
    text.replace(QStringLiteral("%s"), QLatin1String(kProductName));
    return text;
}

void ShowMalwarebytesWarning(
    bool ShowHint,
    const std::function<int(TMsgDlgType, const QString&, TMsgDlgButtons)>& ShowMessageDlg,
    const std::function<void(const QString&)>& OpenUrl) {
    if (!ShowHint && gMalwarebytesWarned)
        return;
    if (ShowMessageDlg)
        ShowMessageDlg(mtWarning, MalwarebytesWarningText(), {mbOK});
    if (OpenUrl)
        OpenUrl(TMainFormMenu::MalwarebytesArticleUrl());
    gMalwarebytesWarned = true;
}

} // namespace pelidor
