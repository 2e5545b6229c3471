// Lays out every control of the look and saves pictures of them, to look at:
//   toolkit_showcase OUT_FOLDER [LANGUAGE]
// writes OUT_FOLDER/controls.png, menu.png, tooltip.png and pictures.png. Runs on the
// offscreen platform unless another is set.
#include "config/uLanguage.h"
#include "ui/toolkit/OrlaCheckListBox.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace pelidor;

namespace {

void process(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The pack's text of key in section "Translation" (or section), else the default.
QString tr(const char* key, const char* def, const char* section = "Translation") {
    return QString::fromStdString(ReadLangString(section, key, def));
}

QLabel* heading(const QString& text) {
    auto* label = new QLabel(text);
    label->setStyleSheet(QStringLiteral("color: #8A8A8A"));
    return label;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: toolkit_showcase OUT_FOLDER [LANGUAGE]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    SetLanguageFolder(
        (std::filesystem::path(__FILE__).parent_path() / "../../Languages/").string());
    SelectLanguage(argc > 2 ? argv[2] : "English");
    ApplyOrlaLook(app);
    TImgData images;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Toolkit"));
    auto* grid = new QGridLayout(&window);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(10);

    // Buttons
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(heading(QStringLiteral("Image buttons")));
    auto* row1 = new QHBoxLayout;
    auto* scan = new TOrlaImageButton(tr("frmQdxMain.btnScan.caption", "Scan"));
    scan->setKind(TOrlaImageButton::Accent);
    scan->setTag(2);
    scan->setFixedSize(130, 30);
    auto* ok = new TOrlaImageButton(tr("frmDFSettings.btnOk.caption", "OK"));
    ok->setFixedSize(100, 26);
    auto* cancel = new TOrlaImageButton(tr("frmDFSettings.btnCancel.caption", "Cancel"));
    cancel->setFixedSize(100, 26);
    cancel->setEnabled(false);
    row1->addWidget(scan);
    row1->addWidget(ok);
    row1->addWidget(cancel);
    row1->addStretch();
    buttons->addLayout(row1);
    auto* row2 = new QHBoxLayout;
    auto* folder = new TOrlaImageButton;
    folder->setKind(TOrlaImageButton::Flat);
    folder->setIcon(images.FolderIcon());
    folder->setFixedSize(24, 24);
    folder->setToolTip(QStringLiteral("Choose a folder"));
    row2->addWidget(folder);
    for (const char* name : {"add", "remove"}) {
        auto* picture = new TOrlaImageButton;
        picture->setStatePictures(QString::fromLatin1(name));
        picture->setFixedSize(16, 16);
        row2->addWidget(picture);
    }
    for (const char* name : {"share-email", "share-twitter", "share-facebook"}) {
        auto* share = new TOrlaImageButton;
        share->setStatePicture(TOrlaButton::Normal, images.Picture(QString::fromLatin1(name)));
        share->setFixedSize(16, 16);
        row2->addWidget(share);
    }
    auto* focused = new TOrlaImageButton(QStringLiteral("Focused"));
    focused->setFixedSize(100, 26);
    row2->addWidget(focused);
    row2->addStretch();
    buttons->addLayout(row2);
    buttons->addWidget(heading(QStringLiteral("Link buttons")));
    auto* links = new QHBoxLayout;
    for (const char* name : {"btnSelAll", "btnInvertSelection", "btnKeepOne", "btnDel"}) {
        const QByteArray key = QByteArray("frmQdxMain.") + name + ".Caption";
        auto* link = new TOrlaLinkButton(tr(key.constData(), name));
        link->setToolTip(tr((QByteArray("frmQdxMain.") + name + ".hint").constData(), ""));
        links->addWidget(link);
        if (QByteArray(name) == "btnDel")
            link->setEnabled(false);
    }
    links->addStretch();
    buttons->addLayout(links);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 0);

    // Edits, combo box, check boxes
    auto* inputs = new QVBoxLayout;
    inputs->addWidget(heading(QStringLiteral("Edit, combo box, check boxes")));
    auto* edit = new QLineEdit(QStringLiteral("/home/user/Pictures;/home/user/Backup;"));
    edit->setReadOnly(true);
    inputs->addWidget(edit);
    auto* size = new QHBoxLayout;
    auto* minimum = new QLineEdit;
    minimum->setPlaceholderText(QStringLiteral("min"));
    auto* unit = new QComboBox;
    unit->addItems(
        {QStringLiteral("Byte"), QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
    unit->setFixedWidth(64);
    auto* mode = new QComboBox;
    mode->addItems({QStringLiteral("Same name and size"), QStringLiteral("Same content (fast)"),
                    QStringLiteral("Same content"), QStringLiteral("Empty files")});
    size->addWidget(minimum);
    size->addWidget(unit);
    size->addWidget(mode);
    inputs->addLayout(size);
    auto* checks = new QHBoxLayout;
    auto* recycle = new QCheckBox(tr("frmDFSettings.chkRecycleDelete.Caption", "Recycle"));
    recycle->setChecked(true);
    auto* backup = new QCheckBox(tr("frmDFSettings.chkAutoBackup.Caption", "Backup"));
    auto* off = new QCheckBox(QStringLiteral("Disabled"));
    off->setChecked(true);
    off->setEnabled(false);
    auto* radio = new QRadioButton(QStringLiteral("Radio"));
    radio->setChecked(true);
    checks->addWidget(recycle);
    checks->addWidget(backup);
    checks->addWidget(off);
    checks->addWidget(radio);
    checks->addStretch();
    inputs->addLayout(checks);
    inputs->addStretch();
    grid->addLayout(inputs, 0, 1);

    // Check list box
    auto* lists = new QVBoxLayout;
    lists->addWidget(heading(QStringLiteral("List box with check boxes and action icons")));
    auto* list = new TOrlaCheckListBox;
    list->setFixedHeight(140);
    int r = list->AddRow(tr("MyDocument", "Documents", "Message"),
                         QStringLiteral("/home/user/Documents"), true);
    list->setRowIcon(r, images.FolderIcon());
    r = list->AddRow(QStringLiteral("/"), QStringLiteral("/"), false);
    list->setRowIcon(r, images.FolderIcon());
    r = list->AddRow(QStringLiteral("/srv/photos/2019/holidays/very/long/folder/name/that/is/cut"),
                     QString(), true);
    list->setAction(r, TOrlaCheckListBox::RemoveAction);
    list->setRowIcon(r, images.FolderIcon());
    r = list->AddRow(QStringLiteral("/mnt/archive"), QString(), false);
    list->setAction(r, TOrlaCheckListBox::RemoveAction);
    list->setRowIcon(r, images.FolderIcon());
    list->AddActionRow(tr("AddFolder", "Add folder...", "Message"), QStringLiteral("Add"));
    for (const char* extra : {"/home/user/Music", "/home/user/Videos"}) {
        r = list->AddRow(QString::fromLatin1(extra), QString(), false);
        list->setAction(r, TOrlaCheckListBox::RemoveAction);
        list->setRowIcon(r, images.FolderIcon());
    }
    lists->addWidget(list);
    auto* table = new QTreeWidget;
    table->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Size")});
    table->setRootIsDecorated(false);
    table->setFixedHeight(96);
    for (int i = 0; i < 8; ++i)
        new QTreeWidgetItem(table, {QStringLiteral("photo%1.jpg").arg(i),
                                    QStringLiteral("/home/user/Pictures/2019"),
                                    QStringLiteral("%1.2 MB").arg(i + 1)});
    table->setCurrentItem(table->topLevelItem(1));
    lists->addWidget(table);
    grid->addLayout(lists, 1, 0);

    // Progress, animation, panels
    auto* progress = new QVBoxLayout;
    progress->addWidget(heading(QStringLiteral("Progress bars, animation, panels")));
    auto* bar = new TOrlaProgressBar;
    bar->setFixedHeight(12);
    bar->setMaximum(100);
    bar->setValue(40);
    auto* running = new TOrlaProgressBar;
    running->setFixedHeight(12);
    running->setMaximum(100);
    running->setValue(100);
    running->setRunning(true);
    progress->addWidget(bar);
    progress->addWidget(running);
    auto* animations = new QHBoxLayout;
    for (TOrlaAnimation::State state :
         {TOrlaAnimation::Start, TOrlaAnimation::Running, TOrlaAnimation::Complete}) {
        auto* ani = new TOrlaAnimation;
        ani->setFixedSize(50, 50);
        ani->setState(state);
        animations->addWidget(ani);
    }
    for (QColor color : {QColor(0xF0, 0xF6, 0xFC), QColor(0xFF, 0xF6, 0xE5)}) {
        auto* swatch = new TOrlaPanel;
        swatch->setColor(color);
        swatch->setBorders(Qt::TopEdge | Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge);
        swatch->setFixedSize(34, 28);
        animations->addWidget(swatch);
    }
    animations->addStretch();
    progress->addLayout(animations);
    auto* panel = new TOrlaPanel;
    panel->setBorders(Qt::TopEdge);
    panel->setFixedHeight(26);
    auto* panelRow = new QHBoxLayout(panel);
    panelRow->setContentsMargins(8, 0, 8, 0);
    panelRow->addWidget(new QLabel(QStringLiteral("A panel with a top line")));
    panelRow->addStretch();
    panelRow->addWidget(
        new TOrlaLinkButton(tr("frmQdxMain.btnAdvSetting.Caption", "Advanced settings")));
    progress->addWidget(panel);
    progress->addStretch();
    grid->addLayout(progress, 1, 1);

    ApplyLangFont(&window);
    window.resize(860, 480);
    window.show();
    process(200);
    focused->setFocus(Qt::TabFocusReason);
    process(50);
    // The mouse over the remove icon of the last folder row.
    {
        const QPoint at = list->actionRect(3).center();
        QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &move);
    }
    process(50);
    window.grab().save(out + QStringLiteral("/controls.png"));

    TOrlaPopupMenu menu(&window);
    menu.Build({tr("ppmExecute", "Open"), tr("ppmOpen", "Show in folder"),
                tr("ppmFileProperties", "Properties"), QStringLiteral("-"),
                tr("ppmDelete", "Delete"), QStringLiteral("-"),
                tr("ppmExport", "Export the list as CSV")});
    menu.actions().at(4)->setEnabled(false);
    menu.popup(QPoint(100, 100));
    process(100);
    menu.setActiveAction(menu.actions().at(1));
    process(50);
    menu.grab().save(out + QStringLiteral("/menu.png"));
    menu.close();

    mode->setCurrentIndex(1);
    mode->showPopup();
    process(150);
    mode->view()->window()->grab().save(out + QStringLiteral("/combo.png"));
    mode->hidePopup();

    QToolTip::showText(QPoint(100, 100), tr("frmQdxMain.btnSelAll.hint", "Tick every file"),
                       &window);
    process(200);
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel"))
            top->grab().save(out + QStringLiteral("/tooltip.png"));

    // Every shared picture at 16, 32 and 48 pixels.
    const QStringList names = TImgData::PictureNames();
    QImage sheet(QSize(names.size() * 56 + 8, 260), QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    {
        QPainter painter(&sheet);
        int x = 8;
        for (const QString& name : names) {
            painter.drawPixmap(x, 8, images.Pixmap(name, 16));
            painter.drawPixmap(x, 30, images.Pixmap(name, 32));
            painter.drawPixmap(x, 68, images.Pixmap(name, 48));
            x += 56;
        }
        painter.drawPixmap(8, 130, images.Pixmap(QStringLiteral("empty-list"), QSize(160, 120)));
        painter.drawPixmap(180, 130,
                           images.Pixmap(QStringLiteral("hint-background"), QSize(300, 60)));
        painter.drawPixmap(500, 130, images.Pixmap(QStringLiteral("logo"), 96));
    }
    sheet.save(out + QStringLiteral("/pictures.png"));
    std::printf("saved to %s\n", qPrintable(out));
    return 0;
}
