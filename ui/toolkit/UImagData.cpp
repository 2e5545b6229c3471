#include "ui/toolkit/UImagData.h"

namespace pelidor {
namespace {

TImgData* gImgData = nullptr;

} // namespace

TImgData::TImgData(QObject* parent)
    : QObject(parent), appIcon_(QStringLiteral(":/pelidor/pelidor.svg")) {
    setObjectName(QStringLiteral("ImgData"));
    if (gImgData == nullptr)
        gImgData = this;
}

TImgData::~TImgData() {
    if (gImgData == this)
        gImgData = nullptr;
}

TImgData* ImgData() {
    return gImgData;
}

} // namespace pelidor
