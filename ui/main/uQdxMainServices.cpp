// The main window's services: the language (texts, fonts, pictures, columns, menus),
// the message dialogs, the window messages (language changed, ask a question, news and
// support counts), the start-up timer, the caption-bar buttons with their markers, the
// share buttons, and the format texts of the language packs.
#include "ui/main/uQdxMain.h"

#include "services/uSupport.h"

#include <QByteArray>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <iterator>
#include <string>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "services/UCheckNewThread.h"
#include "services/uMainFormMenu.h"
#include "services/uNewsletter.h"
#include "ui/main/ResultsList.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/OrlaWindowHint.h"
#include "ui/toolkit/UImagData.h"

namespace pelidor {
namespace {

QString langText(const char* Section, const QString& Key, const QString& Default = QString()) {
    return QString::fromStdString(
        ReadLangString(Section, Key.toStdString(), Default.toStdString()));
}

// The key of a control's property: "frmQdxMain.<name>.<property>".
QString controlKey(const QObject* control, const char* property) {
    return QStringLiteral("frmQdxMain.") + control->objectName() + u'.' + QLatin1String(property);
}

// The share image list, by index.
const char* const kSharePictures[6] = {"share-email", "share-twitter", "share-facebook",
                                       "share-qzone", "share-weibo",   "share-tieba"};

void setSharePicture(TOrlaImageButton* button, int index) {
    button->setProperty("ImageIndex", index);
    button->setStatePicture(TOrlaButton::Normal, OrlaPicture(QLatin1String(kSharePictures[index])));
    button->update();
}

// The program's English texts of the format keys (as in English.ini).
struct FormatDefault {
    const char* key;
    const char* text;
};
const FormatDefault kFormatDefaults[] = {
    {"CountFiles", "Collecting files: %d found"},
    {"EndCountFiles", "Files to compare: %d"},
    {"searchduplicateover", "Search finished. Duplicate groups: %d, files: %d, time: %d s"},
    {"BackupIncomplete", "The backup is incomplete: %d of %d files could not be stored."},
    {"EveryCopyQuestion",
     "Every copy is ticked in %d groups (%d files): deleting them leaves no copy of those "
     "files. Delete them anyway?"},
    {"PermanentDeleteQuestion", "Delete %d files permanently? They do not go to the Trash."},
    {"DeletedToTrash", "Moved to the Trash: %d files"},
    {"DeletedPermanently", "Deleted permanently: %d files"},
    {"DeleteFailedCount", "Not deleted: %d files"},
    {"TickedFiles", "Ticked: %d files"},
    // The singular forms of the texts that count.
    {"BackupIncompleteOne", "The backup is incomplete: %d file of %d could not be stored."},
    {"EveryCopyQuestionOne",
     "Every copy is ticked in %d group (%d files): deleting them leaves no copy of those "
     "files. Delete them anyway?"},
    {"PermanentDeleteQuestionOne", "Delete %d file permanently? It does not go to the Trash."},
    {"DeletedToTrashOne", "Moved to the Trash: %d file"},
    {"DeletedPermanentlyOne", "Deleted permanently: %d file"},
    {"DeleteFailedCountOne", "Not deleted: %d file"},
    {"TickedFilesOne", "Ticked: %d file"},
};

// The texts whose first value chooses between the plural and the singular form.
const char* const kCountingKeys[] = {
    "BackupIncomplete", "EveryCopyQuestion",  "PermanentDeleteQuestion",
    "DeletedToTrash",   "DeletedPermanently", "DeleteFailedCount",
    "TickedFiles"};

// One conversion of a format text, starting at the "%".
struct Conversion {
    bool valid = false;
    bool literalPercent = false;
    bool leftAlign = false;
    int width = 0;
    int precision = -1;
    qsizetype end = 0; // one past the conversion
};

Conversion parseConversion(const QString& text, qsizetype at) {
    Conversion c;
    qsizetype i = at + 1;
    if (i < text.size() && text.at(i) == u'%') {
        c.valid = true;
        c.literalPercent = true;
        c.end = i + 1;
        return c;
    }
    if (i < text.size() && text.at(i) == u'-') {
        c.leftAlign = true;
        ++i;
    }
    const auto digits = [&](int& value) {
        bool any = false;
        value = 0;
        while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128) {
            value = std::min(value * 10 + (text.at(i).unicode() - u'0'), 1000);
            ++i;
            any = true;
        }
        return any;
    };
    digits(c.width);
    if (i < text.size() && text.at(i) == u'.') {
        ++i;
        int precision = 0;
        if (!digits(precision))
            return c;
        c.precision = precision;
    }
    if (i < text.size() && (text.at(i) == u'd' || text.at(i) == u'D')) {
        c.valid = true;
        c.end = i + 1;
    }
    return c;
}

} // namespace

// --- Format texts ----------------------------------------------------------------------

QString TextFollowedBy(const QString& Text, const QString& Value) {
    // A blank or a full-width punctuation mark already keeps them apart.
    if (Text.isEmpty() || Text.back().isSpace() ||
        (Text.back().unicode() >= 0x3000 && Text.back().isPunct()))
        return Text + Value;
    return Text + u' ' + Value;
}

bool FormatTextFits(const QString& Text, int Count) {
    int found = 0;
    for (qsizetype i = 0; i < Text.size();) {
        if (Text.at(i) != u'%') {
            ++i;
            continue;
        }
        const Conversion c = parseConversion(Text, i);
        if (!c.valid)
            return false;
        if (!c.literalPercent)
            ++found;
        i = c.end;
    }
    return found == Count;
}

QString FormatIntegers(const QString& Text, std::initializer_list<int64_t> Values) {
    QString out;
    auto value = Values.begin();
    for (qsizetype i = 0; i < Text.size();) {
        if (Text.at(i) != u'%') {
            out += Text.at(i++);
            continue;
        }
        const Conversion c = parseConversion(Text, i);
        if (!c.valid || (!c.literalPercent && value == Values.end())) {
            // Not a conversion this routine fills: kept as written.
            out += Text.at(i++);
            continue;
        }
        if (c.literalPercent) {
            out += u'%';
        } else {
            const int64_t v = *value++;
            QString digits = QString::number(v < 0 ? -(v + 1) + uint64_t(1) : uint64_t(v));
            if (c.precision > digits.size())
                digits = QString(c.precision - digits.size(), u'0') + digits;
            if (v < 0)
                digits.prepend(u'-');
            if (digits.size() < c.width) {
                const QString pad(c.width - digits.size(), u' ');
                digits = c.leftAlign ? digits + pad : pad + digits;
            }
            out += digits;
        }
        i = c.end;
    }
    return out;
}

bool CountIsSingular(int64_t Count) {
    if (Count == 1)
        return true;
    if (Count != 0)
        return false;
    // French says "0 fichier": its primary language identifier is 0x0C.
    const QString code = langText("Translation", QStringLiteral("LangCode"));
    bool ok = false;
    const int id = code.section(u'|', 0, 0).toInt(&ok, 16);
    return ok && (id & 0x3FF) == 0x0C;
}

QString FormatMessageText(const char* Key, std::initializer_list<int64_t> Values) {
    std::string singular;
    if (Values.size() > 0 && CountIsSingular(*Values.begin()))
        for (const char* counting : kCountingKeys)
            if (qstrcmp(counting, Key) == 0)
                singular = std::string(Key) + "One";
    // A pack without the singular text keeps its own plural one rather than English.
    if (!singular.empty() && !langText("Message", QString::fromStdString(singular)).isEmpty())
        Key = singular.c_str();
    QString builtIn;
    for (const FormatDefault& d : kFormatDefaults)
        if (qstrcmp(d.key, Key) == 0)
            builtIn = QLatin1String(d.text);
    QString text = langText("Message", QLatin1String(Key), builtIn);
    // A text with other placeholders than the values given would print garbage.
    if (!FormatTextFits(text, int(Values.size())))
        text = builtIn;
    return FormatIntegers(text, Values);
}

QString FormatStringsText(const char* Key, const char* English,
                          std::initializer_list<QString> Values) {
    const auto fill = [&Values](const QString& text, QString& out) {
        out.clear();
        auto value = Values.begin();
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) != u'%') {
                out += text.at(i);
                continue;
            }
            const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
            if (next == u'%') {
                out += u'%';
            } else if (next == u's' && value != Values.end()) {
                out += *value++;
            } else {
                return false;
            }
            ++i;
        }
        return value == Values.end();
    };
    QString out;
    if (fill(langText("Message", QLatin1String(Key), QLatin1String(English)), out))
        return out;
    fill(QLatin1String(English), out);
    return out;
}

// --- Message dialogs -------------------------------------------------------------------

int TfrmQdxMain::ShowMessageDlg(TMsgDlgType msgType, const QString& MSG, TMsgDlgButtons Buttons,
                                std::optional<TMsgDlgBtn> DefaultBtn) {
    static const char* const titles[] = {"Warning", "Error", "Information", "Confirm"};
    const QString title = msgType >= mtWarning && msgType <= mtConfirmation
                              ? langText("Translation", QLatin1String(titles[msgType]))
                              : QString();
    return wmsg1->OrlaMessageDlg(title, MSG, msgType, Buttons, this, false, DefaultBtn);
}

int TfrmQdxMain::AskQuestion(const QString& Question, const QString& Title) {
    return wmsg1->OrlaMessageDlg(Title, Question, mtError, {mbYes, mbNo}, this, false);
}

// --- Language --------------------------------------------------------------------------

void TfrmQdxMain::FillModeList(QComboBox* List) {
    List->clear();
    for (const char* key : {"mdFileName", "mdHashPart", "mdHash", "mdZeroSize"})
        List->addItem(langText("Message", QLatin1String(key)));
}

void TfrmQdxMain::Localize() {
    // 1. The mode list, keeping its selection.
    {
        const QSignalBlocker block(cbbMode);
        const int selected = cbbMode->currentIndex();
        FillModeList(cbbMode);
        cbbMode->setCurrentIndex(selected < cbbMode->count() ? selected : -1);
        cbbMode->setToolTip(cbbMode->currentText());
    }

    // 2. Fonts: the window's, which the list, its header and the menus follow; the
    // buttons with a Tag get theirs Tag points larger.
    ApplyLangFont(this);

    // 3., 4. The busy hint's texts and the message dialog's button captions.
    whintwin1->Localize();
    wmsg1->Localize();

    // 5. Hints of the caption-bar buttons.
    btnCaptionMenu->setToolTip(langText("GUI", QStringLiteral("ButtonMenu")));
    btnCaptionSupport->setToolTip(langText("GUI", QStringLiteral("BtnSupportCenter")));
    btnCaptionNews->setToolTip(langText("GUI", QStringLiteral("BtnNews")));

    // 6. The controls' texts, each defaulting to its current text.
    for (TOrlaImageButton* b : {btnScan, btnCancel, btnFolder, btnFolderList}) {
        b->setText(langText("Translation", controlKey(b, "caption"), b->text()));
        b->setToolTip(langText("Translation", controlKey(b, "Hint"), b->toolTip()));
    }
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             btnemail, btntwitter, btnfacebook, btnAdvSetting, btnInvertSelection, btnKeepOne,
             btnDel, btnSelAll}) {
        b->setText(langText("Translation", controlKey(b, "Caption"), b->text()));
        b->setToolTip(langText("Translation", controlKey(b, "hint"), b->toolTip()));
    }
    for (QLabel* l : {lblVer, lblinfo, lblcaption, lblLocation})
        l->setText(langText("Translation", controlKey(l, "Caption"), l->text()));

    // 7. The version line.
    const QString version = !AppConfig.SetupVer.empty()
                                ? QString::fromStdString(AppConfig.SetupVer)
                                : QString::fromStdString(VersionText(ProgramVersionInfo()));
    lblVer->setText(TextFollowedBy(
        langText("Translation", QStringLiteral("frmQdxMain.lblVer.Caption")), version));

    // 8. The share pictures.
    const bool chinese = ChineseShareTargets();
    setSharePicture(btnemail, chinese ? 5 : 0);
    setSharePicture(btntwitter, chinese ? 4 : 1);
    setSharePicture(btnfacebook, chinese ? 3 : 2);

    // 9., 10. Columns and menus.
    LocalizeColumns();
    BuildPopupMenus();
    ApplyKeyboardHints();
}

void TfrmQdxMain::LanguageChanged() {
    Localize();
    RebuildMainMenu();
}

void TfrmQdxMain::RebuildMainMenu() {
    if (FMainMenu != nullptr && FMainMenu->Menu() == pmsys)
        FMainMenu->AddMenumItem();
    ApplyKeyboardHints();
}

// --- Start-up timer --------------------------------------------------------------------

void TfrmQdxMain::tmr1Timer() {
    CheckAutoUpdate();
    StartNewsFetch();
    tmr1->stop();
}

void TfrmQdxMain::CheckAutoUpdate() {
    const double days = Now() - AppConfig.LastUpdate;
    switch (AppConfig.AutoUpdate) {
    case 0:
        FAutoCheckUpdate = days >= 1;
        break;
    case 1:
        FAutoCheckUpdate = days >= 7;
        break;
    case 2:
        FAutoCheckUpdate = days >= 30;
        break;
    default:
        FAutoCheckUpdate = false;
        break;
    }
    if (FAutoCheckUpdate && FMainMenu != nullptr && FMainMenu->Menu() == pmsys)
        FMainMenu->DoCheckNewVer(false);
}

void TfrmQdxMain::StartNewsFetch() {
    if (!FWebPages || FGetNewsThread != nullptr)
        return;
    FGetNewsThread = TGetNews::Create(this, kNewsProductId, AppConfig.MsgIds);
    connect(FGetNewsThread, &TGetNews::NewsFetched, this, &TfrmQdxMain::NewsFetched);
}

// --- Caption-bar buttons ---------------------------------------------------------------

void TfrmQdxMain::wp1ButtonClick(TOrlaNcBtnEnum Btn) {
    // Nothing else starts while files are being deleted.
    if (FDeleting)
        return;
    switch (Btn) {
    case wnbCustom1:
        if (FWebPages)
            ShowNews();
        break;
    case wnbSkin:
        if (FSupport != nullptr)
            FSupport->ShowForm();
        break;
    case wnbMenu:
        if (!pmsys->isEmpty())
            pmsys->popup(MainMenuPosition());
        break;
    }
}

void TfrmQdxMain::ShowNews() {
    // The first fetched announcement, or the notice that there is none.
    pelidor::ShowNews(FGetNewsThread, AppConfig.MsgIds, this, [this](const QString& Notice) {
        ShowMessageDlg(mtInformation, Notice, {mbOK});
    });
    NewsFetched(0);
}

QPoint TfrmQdxMain::MainMenuPosition() const {
    return btnCaptionMenu->mapToGlobal(
        QPoint(btnCaptionMenu->width() - 48, btnCaptionMenu->height()));
}

bool TfrmQdxMain::CaptionMarkerShown(TOrlaNcBtnEnum Btn) const {
    switch (Btn) {
    case wnbCustom1:
        return NewsCounter && NewsCounter() > 0;
    case wnbSkin:
        return SupportMessageCounter && SupportMessageCounter() > 0;
    default:
        return false;
    }
}

QRect TfrmQdxMain::CaptionMarkerRect(const QRect& ButtonRect) {
    return {ButtonRect.x() + ButtonRect.width() - 20, ButtonRect.y() + 6, 7, 7};
}

void TfrmQdxMain::wp1AfterDrawBtn(TCaptionBarButton* Button, QPainter& Canvas) {
    if (!CaptionMarkerShown(Button->Btn()))
        return;
    const QRect marker = CaptionMarkerRect(Button->rect());
    Canvas.drawPixmap(marker, OrlaPixmap(QStringLiteral("caption-marker"), marker.size()));
}

void TfrmQdxMain::NewsFetched(int) {
    btnCaptionNews->update();
    btnCaptionSupport->update();
}

void TfrmQdxMain::SupportMessages(int) {
    btnCaptionNews->update();
    btnCaptionSupport->update();
}

// --- Share buttons ---------------------------------------------------------------------

bool TfrmQdxMain::ChineseShareTargets() const {
    return langText("Translation", QStringLiteral("LangCode")) == QStringLiteral("0804|1004");
}

QString TfrmQdxMain::ShareUrl(int Tag) const {
    const QString home = QLatin1String(kHomePage);
    const auto enc = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    QString title = QStringLiteral("Pelidor");
    const QString slogan = langText("Translation", QStringLiteral("frmQdxMain.lblcaption.Caption"));
    if (!slogan.isEmpty())
        title += QStringLiteral(" - ") + slogan;

    if (ChineseShareTargets()) {
        switch (Tag) {
        case 0: // Baidu Tieba
            return QStringLiteral("https://tieba.baidu.com/f/commit/share/openShareApi?url=") +
                   enc(home) + QStringLiteral("&title=") + enc(title);
        case 1: // Weibo
            return QStringLiteral("https://service.weibo.com/share/share.php?url=") + enc(home) +
                   QStringLiteral("&title=") + enc(title);
        case 2: // QZone
            return QStringLiteral(
                       "https://sns.qzone.qq.com/cgi-bin/qzshare/cgi_qzshare_onekey?url=") +
                   enc(home) + QStringLiteral("&title=") + enc(QStringLiteral("Pelidor")) +
                   QStringLiteral("&summary=") + enc(title);
        default:
            return QString();
        }
    }
    switch (Tag) {
    case 0: { // a new e-mail message without a recipient
        const QString body = QStringLiteral("<html><body><p>") + title.toHtmlEscaped() +
                             QStringLiteral("</p><p><a href=\"") + home + QStringLiteral("\">") +
                             home + QStringLiteral("</a></p></body></html>");
        return QStringLiteral("mailto:?subject=") + enc(title) + QStringLiteral("&body=") +
               enc(body);
    }
    case 1:
        return QStringLiteral("https://twitter.com/intent/tweet?text=") + enc(title) +
               QStringLiteral("&url=") + enc(home);
    case 2:
        return QStringLiteral("https://www.facebook.com/corvane");
    default:
        return QString();
    }
}

void TfrmQdxMain::btnemailClick() {
    UrlOpener(ShareUrl(0));
}

void TfrmQdxMain::btntwitterClick() {
    UrlOpener(ShareUrl(1));
}

void TfrmQdxMain::btnfacebookClick() {
    UrlOpener(ShareUrl(2));
}

} // namespace pelidor
