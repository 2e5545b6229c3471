// Saves a picture of the about window, to look at:
//   services_about_showcase OUT_FOLDER [LANGUAGE]
// writes OUT_FOLDER/about.png (about-<LANGUAGE>.png for another language than English).
// Runs on the offscreen platform unless another is set.
#include "config/uLanguage.h"
#include "services/uAbout.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace pelidor;

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: services_about_showcase OUT_FOLDER [LANGUAGE]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const std::string language = argc > 2 ? argv[2] : "English";
    SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
    SelectLanguage(language);
    ApplyOrlaLook(app);
    TImgData images;

    TfrmAbout form;
    form.show();
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    const QString name = language == "English"
                             ? QStringLiteral("about.png")
                             : QStringLiteral("about-%1.png").arg(QString::fromStdString(language));
    const bool saved = form.grab().save(QDir(out).filePath(name));
    std::printf("%s\n", qPrintable(QDir(out).filePath(name)));
    return saved ? 0 : 1;
}
