// The shared pictures of the program's windows. One object is created at start-up,
// before the main window, and lives until the program ends.
#pragma once

#include <QIcon>
#include <QObject>

namespace pelidor {

class TImgData : public QObject {
    Q_OBJECT

public:
    explicit TImgData(QObject* parent = nullptr);
    ~TImgData() override;
    TImgData(const TImgData&) = delete;
    TImgData& operator=(const TImgData&) = delete;

    // The program's icon (scalable).
    QIcon AppIcon() const { return appIcon_; }

private:
    QIcon appIcon_;
};

// The object created at start-up; null before it exists and after it is gone.
TImgData* ImgData();

} // namespace pelidor
