// The main window: the program's only workspace. Its caption is "Pelidor"; its
// client area is 843 x 516 at design size, centred on the screen at start, and
// can be made as small as 800 x 500.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace pelidor {

class TfrmQdxMain : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kDesignClientSize{843, 516};
    static constexpr QSize kMinimumClientSize{800, 500};

    explicit TfrmQdxMain(QWidget* parent = nullptr);
    ~TfrmQdxMain() override;
};

// The top-left corner that centres a window of `size` in `available`; a window
// larger than the area starts at the area's top or left edge.
QPoint CentredPosition(const QSize& size, const QRect& available);

} // namespace pelidor
