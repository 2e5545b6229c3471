// The main menu (the main window's pmsys) and the update conversation.
//
// TMainFormMenu fills the menu from a fixed table of rows, each an entry named by its
// language key with its row number as Tag (DoMenuItemClick dispatches on it), plus the
// language submenu: one radio entry per language file, ticked when its base name is the
// stored language. Picking a language stores and selects it and asks the main window to
// translate itself again, which rebuilds the menu.
//
// DoCheckNewVer starts an update check (TCheckUpdate) and returns at once; its finish
// event (DoCheckNewVerFinish, on the user-interface thread) offers the upgrade when the
// service names a newer build, hands over to the updater "Updraft" beside the executable
// (or opens the download address without it, only when it is an http or https address:
// anything else from the network is refused and logged), and reports "nothing new" only for a check
// the user started. A request runs as a child of the menu, so it ends with the window.
//
// Exactly one instance exists per process (InitMainMenu). It never outlives its menu's
// usefulness: when the menu it filled has been destroyed (its window closed), the next
// InitMainMenu binds the instance to the new menu and host.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "ui/toolkit/OrlaMsgBox.h"

class QAction;
class QMenu;
class QWidget;

namespace pelidor {

class TCheckUpdate;
struct TFeatureInfo;

// What the menu needs from the window that shows it. Unset hooks have defaults that use
// the menu's parent window (see each).
struct TMainFormMenuHost {
    // The Japanese edition: no forum row, the Japanese site's addresses and update query.
    bool Japanese = false;
    // A message box over the main window (default: a plain message box over the menu's
    // parent with the translated title).
    std::function<int(TMsgDlgType, const QString&, TMsgDlgButtons)> ShowMessageDlg;
    // The language changed: translate every text again and call AddMenumItem. Runs before
    // DoLanguageClick returns (default: only AddMenumItem).
    std::function<void()> LanguageChanged;
    // Opens a web page or a new e-mail message (default: OpenUrl).
    std::function<void(const QString& Url)> OpenUrl;
    // The settings dialog on its page "Sys" and the backup manager, both modal (defaults:
    // ShowSettingsDialog and ShowBackupManager over the menu's parent).
    std::function<void()> ShowSettings;
    std::function<void()> ShowBackupManager;
    // Ends the program in the orderly way after the updater started (default: closes the
    // menu's parent window, which saves the settings as it goes).
    std::function<void()> Terminate;
    // True while the window acts on files (a deletion or its backup runs): every entry,
    // the language entries included, does nothing then (default: never busy).
    std::function<bool()> Busy;
};

class TMainFormMenu {
public:
    // Rows of the menu (their Tags).
    enum TMenuRow {
        rowHelpOnline = 1,
        rowForum = 2,
        rowHomepage = 3,
        rowContactUs = 4,
        rowSeparator1 = 5,
        rowCheckUpdates = 6,
        rowSettings = 7,
        rowRestoreFile = 8,
        rowSeparator2 = 9,
        rowLanguage = 10,
        rowAbout = 11,
    };

    // Creates the instance and fills fxMenu, unless the instance exists and its menu is
    // still alive (then nothing happens). Called once by the main window while it is
    // created, after the settings and the language have been loaded.
    static TMainFormMenu* InitMainMenu(QMenu* fxMenu, TMainFormMenuHost Host = {});
    // The instance, or null before the first InitMainMenu.
    static TMainFormMenu* Instance();

    ~TMainFormMenu();
    TMainFormMenu(const TMainFormMenu&) = delete;
    TMainFormMenu& operator=(const TMainFormMenu&) = delete;

    // Empties the menu and builds every entry afresh. The old entries are freed once
    // control is back in the event loop, so a handler of one of them may call this.
    void AddMenumItem();

    // Starts an update check in the background; ShowHint: the user asked for it.
    void DoCheckNewVer(bool ShowHint);
    // The click handlers of the entries.
    void DoMenuItemClick(QAction* Item);
    void DoLanguageClick(QAction* Item);
    // The finish event of the update check (user-interface thread).
    void DoCheckNewVerFinish(TCheckUpdate* Sender, const QString& InfoFile,
                             const QStringList& VerInfo, const QString& DownLink, int Build,
                             const QString& BlogURL, const TFeatureInfo* FeatureInfo);

    QMenu* Menu() const { return FMenu; }
    TMainFormMenuHost& Host() { return FHost; }
    bool ShowNewVerInfo() const { return fShowNewVerInfo; }

    // The program's own build number (the fourth part of its version).
    int OwnBuild = 0;
    // The updater's file: "Updraft" in the executable's folder.
    QString UpdaterPath;

    // Addresses the menu opens (from the [Services] base addresses).
    QString HelpUrl() const;
    QString ForumUrl() const;
    QString HomepageUrl() const;
    QString ContactUrl() const;
    static QString MalwarebytesArticleUrl();

private:
    TMainFormMenu() = default;
    void bind(QMenu* fxMenu, TMainFormMenuHost Host);
    int showMessage(TMsgDlgType Type, const QString& Text, TMsgDlgButtons Buttons);
    void openUrl(const QString& Url);
    void startUpgrade(const QString& InfoFile, const QString& DownLink);

    QPointer<QMenu> FMenu;
    TMainFormMenuHost FHost;
    bool fShowNewVerInfo = false;
};

// The warning shown when the update service's answer was replaced by a security
// product's page: once per run for automatic checks, every time for the user's. Opens
// the article that explains the remedy. ShowMessageDlg and OpenUrl as in the host.
void ShowMalwarebytesWarning(
    bool ShowHint,
    const std::function<int(TMsgDlgType, const QString&, TMsgDlgButtons)>& ShowMessageDlg,
    const std::function<void(const QString&)>& OpenUrl);
// The warning's text: "MWDetected" of the active language with "%s" replaced by the
// product name (the English text when the translation has no "%s").
QString MalwarebytesWarningText();

// The language submenu's entries as the language list gives them: pairs of native name
// and base name.
struct TLanguageEntry {
    QString NativeName;
    QString BaseName;
};
std::vector<TLanguageEntry> LanguageEntries();

} // namespace pelidor
