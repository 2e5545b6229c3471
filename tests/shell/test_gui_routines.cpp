#include "shell/SharedHelpersGui.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QLineEdit>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelidor {
namespace {

using test::TempTree;

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TEST(OpenUrl, AddressesFilesAndBlanks) {
    UrlRecorder recorder;
    for (const char* scheme : {"https", "mailto", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");

    OpenUrl(QString());
    OpenUrl(QStringLiteral("   \t "));
    EXPECT_TRUE(recorder.opened.empty());

    TempTree tree;
    const std::string doc = tree.write("my doc.txt", "x");
    OpenUrl(QStringLiteral("  https://corvane.example/help?page=1  "));
    OpenUrl(QStringLiteral("mailto:someone@corvane.example"));
    OpenUrl(QString::fromStdString(doc));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(tree.root());
    OpenUrl(QStringLiteral("my doc.txt"));
    std::filesystem::current_path(previous);

    for (const char* scheme : {"https", "mailto", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    ASSERT_EQ(recorder.opened.size(), 4u);
    EXPECT_EQ(recorder.opened[0], QUrl(QStringLiteral("https://corvane.example/help?page=1")));
    EXPECT_EQ(recorder.opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(recorder.opened[2], QUrl::fromLocalFile(QString::fromStdString(doc)));
    EXPECT_EQ(recorder.opened[3], QUrl::fromLocalFile(QString::fromStdString(doc)));
}

TEST(CopyFontAttrs, FamilyAndSizeOnly) {
    QFont source(QStringLiteral("DejaVu Serif"));
    source.setPointSizeF(13.5);
    QFont dest(QStringLiteral("DejaVu Sans"));
    dest.setPointSize(8);
    dest.setBold(true);
    dest.setItalic(true);
    CopyFontAttrs(dest, source);
    EXPECT_EQ(dest.family(), QStringLiteral("DejaVu Serif"));
    EXPECT_DOUBLE_EQ(dest.pointSizeF(), 13.5);
    EXPECT_TRUE(dest.bold());
    EXPECT_TRUE(dest.italic());

    QFont pixels(QStringLiteral("DejaVu Sans Mono"));
    pixels.setPixelSize(17);
    CopyFontAttrs(dest, pixels);
    EXPECT_EQ(dest.pixelSize(), 17);
    EXPECT_EQ(dest.family(), QStringLiteral("DejaVu Sans Mono"));
}

// Answers the folder picker once it is up: chooses `folder`, or cancels when empty.
void answerPicker(const QString& folder, QString* seenTitle, QString* seenStart) {
    QTimer::singleShot(50, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            answerPicker(folder, seenTitle, seenStart);
            return;
        }
        *seenTitle = dialog->windowTitle();
        *seenStart = dialog->directory().absolutePath();
        if (folder.isEmpty()) {
            dialog->reject();
        } else {
            // As a user would: type the folder into the name box and press OK.
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (edit != nullptr)
                edit->setText(folder);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}

TEST(BrowseForFolder, ChosenFolderOrCancel) {
    TempTree tree;
    const QString root = QString::fromStdString(tree.mkdir("root"));
    const QString chosen = QString::fromStdString(tree.mkdir("root/chosen"));
    QString title;
    QString start;
    QString folder = QStringLiteral("old value");

    answerPicker(chosen, &title, &start);
    EXPECT_TRUE(BrowseForFolder(nullptr, QStringLiteral("Pick a folder"), root, folder));
    EXPECT_EQ(folder, chosen);
    EXPECT_EQ(title, QStringLiteral("Pick a folder"));
    EXPECT_EQ(start, root);

    answerPicker(QString(), &title, &start);
    EXPECT_FALSE(BrowseForFolder(nullptr, QStringLiteral("Pick"), root, folder));
    EXPECT_TRUE(folder.isEmpty());
}

} // namespace
} // namespace pelidor

#include "test_gui_routines.moc"
