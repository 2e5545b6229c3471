// The folder line of the top panel and its list of folders. The line shows the folders
// to search as the settings keep them (each followed by ";"), with a padlock at its
// start while reference folders exist; the padlock's hint names them. The button beside
// the line (and Alt+Down or F4 in the line) opens the list: every folder to search and
// every reference folder, each with a check mark that makes it a reference folder or
// not, and an entry that adds a reference folder. A change goes into the settings
// ([RefPath], the same list as the settings dialog's folder page) and into Config.ini
// at once, and the listed rows are marked again.
#include "ui/main/uQdxMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>

#include <algorithm>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Paths.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/UImagData.h"

namespace pelidor {
namespace {

QString langText(const char* Section, const char* Key, const char* English) {
    return QString::fromStdString(ReadLangString(Section, Key, English));
}

QString displayPath(const std::string& Path) {
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

// Folder texts compared as the settings keep them, with or without a final separator.
bool sameFolder(const std::string& A, const std::string& B) {
    return platform::withTrailingSep(A) == platform::withTrailingSep(B);
}

bool listed(const TStringList& List, const std::string& Folder) {
    return std::any_of(List.begin(), List.end(),
                       [&](const std::string& f) { return sameFolder(f, Folder); });
}

// The reference folder that holds Folder (another one than Folder itself), or empty.
std::string enclosingReference(const std::string& Folder) {
    for (const std::string& reference : AppConfig.referencePath)
        if (!sameFolder(reference, Folder) &&
            platform::isSameOrInside(platform::withTrailingSep(Folder),
                                     platform::withTrailingSep(reference)))
            return reference;
    return {};
}

// The hint of the reference mark: what reference folders are, then each of them.
QString referenceHint() {
    QString hint = langText("Translation", "frmDFSettings.lblReference.Caption",
                            "Reference folders: their files are never ticked, deleted or replaced");
    for (const std::string& folder : AppConfig.referencePath)
        hint += QStringLiteral("\n") + displayPath(folder);
    return hint;
}

} // namespace

void TfrmQdxMain::ShowFolderLine() {
    edPath->setText(displayPath(JoinList(AppConfig.includePath)));
    if (actReferenceMark == nullptr) {
        actReferenceMark =
            edPath->addAction(OrlaPicture(QStringLiteral("reference")), QLineEdit::LeadingPosition);
        actReferenceMark->setObjectName(QStringLiteral("actReferenceMark"));
        connect(actReferenceMark, &QAction::triggered, this, &TfrmQdxMain::btnFolderListClick);
    }
    const bool any = !AppConfig.referencePath.empty();
    actReferenceMark->setVisible(any);
    const QString hint = any ? referenceHint() : QString();
    actReferenceMark->setText(hint);
    actReferenceMark->setToolTip(hint);
    // Assistive technology hears the mark with the line.
    edPath->setAccessibleDescription(hint);
}

void TfrmQdxMain::BuildFolderList() {
    pmFolders->clear();
    pmFolders->setToolTipsVisible(true);
    const QString title = langText("Translation", "frmDFSettings.lblReference.Caption",
                                   "Reference folders: their files are never ticked, deleted or "
                                   "replaced");
    QAction* heading = pmFolders->addAction(title);
    heading->setEnabled(false);
    // Wide enough for the heading and every folder in the window's font.
    const QFontMetrics metrics(font());
    int widest = metrics.horizontalAdvance(title);
    for (const TStringList* list : {&AppConfig.includePath, &AppConfig.referencePath})
        for (const std::string& folder : *list)
            widest = std::max(widest, metrics.horizontalAdvance(displayPath(folder)));
    pmFolders->setMinimumWidth(std::min(widest + 80, 900));
    const auto addFolder = [this](const std::string& Folder) {
        QAction* a = pmFolders->addAction(displayPath(Folder));
        a->setCheckable(true);
        a->setData(QByteArray::fromStdString(Folder));
        const std::string outer = enclosingReference(Folder);
        if (!outer.empty()) {
            // Marked through the folder that holds it; unmarked only with that one.
            a->setChecked(true);
            a->setEnabled(false);
            a->setToolTip(TextFollowedBy(
                langText("Message", "InsideReferenceFolder", "Inside the reference folder"),
                displayPath(outer)));
        } else {
            a->setChecked(listed(AppConfig.referencePath, Folder));
        }
        if (a->isChecked())
            a->setIcon(OrlaPicture(QStringLiteral("reference")));
        connect(a, &QAction::toggled, this, [this, Folder](bool On) {
            // The menu is closing; the change (and the question of a failure) after it.
            QMetaObject::invokeMethod(
                this, [this, Folder, On] { SetReferenceFolder(Folder, On); }, Qt::QueuedConnection);
        });
    };
    for (const std::string& folder : AppConfig.includePath)
        addFolder(folder);
    for (const std::string& folder : AppConfig.referencePath)
        if (!listed(AppConfig.includePath, folder))
            addFolder(folder);
    pmFolders->addSeparator();
    QAction* add = pmFolders->addAction(
        OrlaPicture(QStringLiteral("add")),
        langText("Message", "AddReferenceFolder", "Add reference folder") + QStringLiteral("..."));
    add->setObjectName(QStringLiteral("ppmAddReferenceFolder"));
    connect(add, &QAction::triggered, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { AddReferenceFolderClick(); }, Qt::QueuedConnection);
    });
}

void TfrmQdxMain::btnFolderListClick() {
    if (FDeleting || FState == TMainState::Searching || pmFolders->isVisible())
        return;
    BuildFolderList();
    pmFolders->popup(edPath->mapToGlobal(QPoint(0, edPath->height())));
    // The first folder is active, so that the arrows, Space and Enter work at once.
    for (QAction* a : pmFolders->actions())
        if (!a->isSeparator() && a->isEnabled()) {
            pmFolders->setActiveAction(a);
            break;
        }
}

bool TfrmQdxMain::SetReferenceFolder(const std::string& Folder, bool Reference) {
    if (FDeleting || FState == TMainState::Searching || Folder.empty())
        return false;
    TStringList& references = AppConfig.referencePath;
    if (Reference) {
        if (listed(references, Folder))
            return false;
        references.push_back(Folder);
    } else {
        const auto end =
            std::remove_if(references.begin(), references.end(),
                           [&](const std::string& f) { return sameFolder(f, Folder); });
        if (end == references.end())
            return false;
        references.erase(end, references.end());
    }
    // Kept when it is made, in one atomic write, as the other settings.
    SaveAppConfig();
    ShowFolderLine();
    MarkReferenceRows();
    return true;
}

void TfrmQdxMain::AddReferenceFolderClick() {
    if (FDeleting || FState == TMainState::Searching || !FolderChooser)
        return;
    const QString chosen =
        FolderChooser(this, langText("Message", "AddReferenceFolder", "Add reference folder"));
    if (chosen.isEmpty())
        return;
    std::string path = QFile::encodeName(QFileInfo(chosen).absoluteFilePath()).toStdString();
    while (path.size() > 1 && path.back() == platform::kPathSep)
        path.pop_back();
    SetReferenceFolder(path, true);
}

} // namespace pelidor
