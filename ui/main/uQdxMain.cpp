#include "ui/main/uQdxMain.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

#include <algorithm>

namespace pelidor {

TfrmQdxMain::TfrmQdxMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmQdxMain"));
    setWindowTitle(QStringLiteral("Pelidor"));

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    setMinimumSize(kMinimumClientSize);
    resize(kDesignClientSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(CentredPosition(size(), screen->availableGeometry()));
}

TfrmQdxMain::~TfrmQdxMain() = default;

QPoint CentredPosition(const QSize& size, const QRect& available) {
    const int x = available.x() + std::max(0, (available.width() - size.width()) / 2);
    const int y = available.y() + std::max(0, (available.height() - size.height()) / 2);
    return {x, y};
}

} // namespace pelidor
