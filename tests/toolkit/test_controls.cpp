// The look and the toolkit's controls, driven with real mouse events under the
// offscreen platform.
#include "config/uLanguage.h"
#include "ui/toolkit/OrlaCheckListBox.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include <filesystem>
#include <memory>

namespace pelidor {
namespace {

QColor pixelAt(QWidget& widget, const QPoint& point) {
    const QImage image = widget.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(QPointF(point * ratio).toPoint());
}

bool sameColor(const QColor& a, QRgb b, int tolerance = 6) {
    const QColor c = QColor::fromRgba(b);
    return std::abs(a.red() - c.red()) <= tolerance &&
           std::abs(a.green() - c.green()) <= tolerance &&
           std::abs(a.blue() - c.blue()) <= tolerance;
}

// Share of pixels that are not fully transparent.
double coverage(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    qint64 opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                ++opaque;
    return image.isNull() ? 0.0 : double(opaque) / (double(image.width()) * image.height());
}

// A shown top-level window holding one control, sized and exposed.
template <typename W>
struct Shown {
    QWidget window;
    W* control;
    explicit Shown(QSize size) : control(new W(&window)) {
        control->setGeometry(QRect(QPoint(10, 10), size));
        window.resize(size + QSize(20, 20));
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

TEST(OrlaPictures, EveryAgreedPictureIsEmbeddedAndRendersAt16And48) {
    QStringList embedded = QDir(QStringLiteral(":/pelidor/images")).entryList();
    QStringList expected;
    for (const QString& name : TImgData::PictureNames())
        expected << name + QStringLiteral(".svg");
    embedded.sort();
    expected.sort();
    EXPECT_EQ(embedded, expected);

    TImgData data;
    for (const QString& name : TImgData::PictureNames()) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(data.Picture(name).isNull());
        for (int size : {16, 48}) {
            const QPixmap rendered = data.Pixmap(name, size);
            ASSERT_FALSE(rendered.isNull());
            EXPECT_EQ(rendered.deviceIndependentSize().toSize(), QSize(size, size));
            EXPECT_GT(coverage(rendered), 0.03) << "at " << size;
            // The icon engine draws the same picture.
            EXPECT_GT(coverage(data.Picture(name).pixmap(size)), 0.03) << "icon at " << size;
        }
    }
    EXPECT_TRUE(data.Picture(QStringLiteral("no-such-picture")).isNull());
    EXPECT_TRUE(data.Pixmap(QStringLiteral("no-such-picture"), 16).isNull());
    EXPECT_TRUE(data.Pixmap(QStringLiteral("folder"), 0).isNull());
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_FALSE(data.MsgIcon(kind).isNull()) << kind;
    EXPECT_TRUE(data.MsgIcon(4).isNull()); // a custom message has no icon
    EXPECT_TRUE(data.MsgIcon(-1).isNull());
}

TEST(OrlaPopupMenu, BuildsEntriesWithTagsSeparatorsAndTheLookSizes) {
    TOrlaStyle style;
    TOrlaPopupMenu menu;
    menu.setStyle(&style);
    menu.Build({QStringLiteral("Old entry")});
    menu.Build({QStringLiteral("Open"), QStringLiteral("-"), QStringLiteral("Show in folder"),
                QStringLiteral("Delete")});
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), 4); // built afresh, not appended
    for (int i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(OrlaMenuTag(actions[i]), i);
        EXPECT_EQ(actions[i]->isSeparator(), i == 1);
    }
    EXPECT_EQ(actions[2]->text(), QStringLiteral("Show in folder"));

    menu.popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    EXPECT_GE(menu.width(), TOrlaStyle::kMenuMinWidth);
    EXPECT_GE(menu.sizeHint().width(), 160);
    for (QAction* action : actions) {
        if (!action->isSeparator()) {
            EXPECT_GE(menu.actionGeometry(action).height(), 20) << action->text().toStdString();
        }
    }

    QSignalSpy clicked(&menu, &TOrlaPopupMenu::itemClicked);
    actions[3]->trigger();
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked[0][0].toInt(), 3);
    menu.close();
}

TEST(OrlaImageButton, FollowsHoverPressDisableAndFocus) {
    Shown<TOrlaImageButton> shown(QSize(100, 26));
    TOrlaImageButton& button = *shown.control;
    button.setText(QStringLiteral("Scan"));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    const QPoint corner(4, 13); // on the face, clear of the caption
    button.clearFocus();        // the window gave it the focus when shown

    EXPECT_EQ(button.drawState(), TOrlaButton::Normal);
    EXPECT_TRUE(sameColor(pixelAt(button, corner), kOrlaBackground));

    QTest::mouseMove(&button, QPoint(50, 13));
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.drawState() == TOrlaButton::Hover; }, 2000));
    EXPECT_TRUE(sameColor(pixelAt(button, corner), kOrlaHoverFill));

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(50, 13));
    EXPECT_EQ(button.drawState(), TOrlaButton::Pressed);
    EXPECT_TRUE(sameColor(pixelAt(button, corner), kOrlaPressedFill));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 13));
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(button.drawState(), TOrlaButton::Hover);

    button.setEnabled(false);
    EXPECT_EQ(button.drawState(), TOrlaButton::Disabled);
    EXPECT_TRUE(sameColor(pixelAt(button, corner), kOrlaDisabledFill));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(50, 13));
    EXPECT_EQ(clicked.size(), 1); // a disabled button does not click

    button.setEnabled(true);
    QTest::mouseMove(&shown.window, QPoint(2, 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.drawState() != TOrlaButton::Hover; }, 2000));
    shown.window.activateWindow();
    button.setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(button.drawState(), TOrlaButton::Normal); // focus from a click is not shown
    button.clearFocus();
    button.setFocus(Qt::TabFocusReason);
    EXPECT_EQ(button.drawState(), TOrlaButton::Focused);
}

TEST(OrlaImageButton, DrawsTheStatePicture) {
    Shown<TOrlaImageButton> shown(QSize(24, 24));
    TOrlaImageButton& button = *shown.control;
    button.setStatePictures(QStringLiteral("add"));
    const QPoint inside(8, 8); // inside the circle, off the plus sign
    EXPECT_TRUE(sameColor(pixelAt(button, inside), 0xFFFFFFFF, 20));
    QTest::mouseMove(&button, QPoint(12, 12));
    ASSERT_TRUE(QTest::qWaitFor([&] { return button.drawState() == TOrlaButton::Hover; }, 2000));
    EXPECT_TRUE(sameColor(pixelAt(button, inside), 0xFF2F80CC, 20));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(sameColor(pixelAt(button, inside), 0xFF1D5C9E, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(12, 12));
}

TEST(OrlaLinkButton, ClickEmitsClickedAndTheButtonKeepsItsTag) {
    Shown<TOrlaLinkButton> shown(QSize(120, 20));
    TOrlaLinkButton& link = *shown.control;
    link.setText(QStringLiteral("Select all"));
    link.setTag(1);
    QSignalSpy clicked(&link, &QAbstractButton::clicked);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(link.property("Tag").toInt(), 1);
    shown.window.activateWindow();
    link.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&link, Qt::Key_Space);
    EXPECT_EQ(clicked.size(), 2);
    link.setEnabled(false);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicked.size(), 2);
}

TEST(OrlaCheckListBox, TicksRowsAndReportsActionClicksForTheirRowOnly) {
    Shown<TOrlaCheckListBox> shown(QSize(300, 150));
    TOrlaCheckListBox& list = *shown.control;
    list.AddRow(QStringLiteral("Documents"), QStringLiteral("/home/u/Documents"), true);
    const int b = list.AddRow(QStringLiteral("/data/b"), QString(), false);
    const int c = list.AddRow(QStringLiteral("/data/c"), QString(), true);
    list.setAction(b, TOrlaCheckListBox::RemoveAction);
    list.setAction(c, TOrlaCheckListBox::RemoveAction);
    const int add = list.AddActionRow(QStringLiteral("Add folder..."), QStringLiteral("Add"));
    QTest::qWait(10);
    QWidget* viewport = list.viewport();
    QSignalSpy checked(&list, &TOrlaCheckListBox::rowChecked);
    QSignalSpy removed(&list, &TOrlaCheckListBox::removeClicked);
    QSignalSpy added(&list, &TOrlaCheckListBox::addClicked);

    EXPECT_EQ(list.visualItemRect(list.item(0)).height(), TOrlaCheckListBox::kDefaultRowHeight);
    EXPECT_FALSE(list.isCheckable(add));
    EXPECT_TRUE(list.checkRect(add).isEmpty());

    // The check box and the caption both toggle the tick.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, list.checkRect(0).center());
    EXPECT_FALSE(list.isChecked(0));
    const QRect rowB = list.visualItemRect(list.item(b));
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      QPoint(rowB.center().x() - 40, rowB.center().y()));
    EXPECT_TRUE(list.isChecked(b));
    ASSERT_EQ(checked.size(), 2);
    EXPECT_EQ(checked[0], (QList<QVariant>{0, false}));
    EXPECT_EQ(checked[1], (QList<QVariant>{b, true}));

    // The remove icon: hover, pressed, and a click for that row alone.
    const QPoint iconC = list.actionRect(c).center();
    QTest::mouseMove(viewport, iconC);
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.hoverActionRow() == c; }, 2000));
    QTest::mousePress(viewport, Qt::LeftButton, {}, iconC);
    EXPECT_EQ(list.pressedActionRow(), c);
    // The pressed picture (dark red) is drawn, the other row's icon stays normal.
    const QPoint quarter(-3, -3);
    EXPECT_TRUE(sameColor(pixelAt(*viewport, iconC + quarter), 0xFFB83A34, 24));
    EXPECT_FALSE(
        sameColor(pixelAt(*viewport, list.actionRect(b).center() + quarter), 0xFFB83A34, 24));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, iconC);
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][0].toInt(), c);
    EXPECT_EQ(list.pressedActionRow(), -1);
    EXPECT_TRUE(list.isChecked(c)); // the icon does not tick
    EXPECT_EQ(list.rowCount(), 4);  // the window removes the row, not the list

    // Pressing the icon and releasing elsewhere does nothing.
    QTest::mousePress(viewport, Qt::LeftButton, {}, list.actionRect(b).center());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowB.center());
    EXPECT_EQ(removed.size(), 1);

    // A row without an action has no icon to hit; the add row answers anywhere.
    EXPECT_TRUE(list.actionRect(0).isEmpty());
    const QRect addRow = list.visualItemRect(list.item(add));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, addRow.center());
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0][0].toInt(), add);
    EXPECT_EQ(removed.size(), 1);
    EXPECT_EQ(checked.size(), 2);

    list.RemoveRow(b);
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.caption(b), QStringLiteral("/data/c"));
    EXPECT_EQ(list.value(0), QStringLiteral("/home/u/Documents"));
}

TEST(OrlaProgressBar, ShowsThePositionAndRunsOnItsTimer) {
    Shown<TOrlaProgressBar> shown(QSize(200, 12));
    TOrlaProgressBar& bar = *shown.control;
    bar.setMaximum(200);
    bar.setValue(50);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.25);
    EXPECT_TRUE(sameColor(pixelAt(bar, QPoint(30, 6)), kOrlaAccent));
    EXPECT_TRUE(sameColor(pixelAt(bar, QPoint(100, 6)), kOrlaTrack));
    bar.setValue(500);
    EXPECT_DOUBLE_EQ(bar.fraction(), 1.0);
    bar.setValue(-5);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.0);
    bar.setMaximum(0); // nothing to do: full, as the running mode shows it
    EXPECT_DOUBLE_EQ(bar.fraction(), 1.0);

    bar.setMaximum(10);
    bar.setValue(10);
    const QImage still = bar.grab().toImage();
    EXPECT_FALSE(bar.isRunning());
    bar.setRunning(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.frame() >= 3; }, 2000));
    EXPECT_NE(bar.grab().toImage(), still); // stripes over the filled part
    bar.setRunning(false);
    const int stopped = bar.frame();
    QTest::qWait(3 * TOrlaProgressBar::kFrameInterval);
    EXPECT_EQ(bar.frame(), stopped);
    EXPECT_EQ(bar.grab().toImage(), still);
}

TEST(OrlaAnimation, MovesWhileRunningAndRestsOtherwise) {
    Shown<TOrlaAnimation> shown(QSize(50, 50));
    TOrlaAnimation& ani = *shown.control;
    const QImage start = ani.grab().toImage();
    EXPECT_GT(coverage(ani.grab()), 0.0);
    ani.setState(TOrlaAnimation::Running);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ani.frame() == 2; }, 3000));
    EXPECT_NE(ani.grab().toImage(), start);
    ani.setState(TOrlaAnimation::Complete);
    EXPECT_EQ(ani.frame(), 0);
    EXPECT_NE(ani.grab().toImage(), start); // the tick
    QTest::qWait(TOrlaAnimation::kFrameInterval + 50);
    EXPECT_EQ(ani.frame(), 0);
    ani.setState(TOrlaAnimation::Start);
    EXPECT_EQ(ani.grab().toImage(), start);
}

// Sets the look for one test and puts the previous style and palette back.
class OrlaLook : public testing::Test {
protected:
    void SetUp() override {
        oldStyle_ = QApplication::style()->name();
        oldPalette_ = QApplication::palette();
    }
    void TearDown() override {
        QApplication::setStyle(QStyleFactory::create(oldStyle_));
        QApplication::setPalette(oldPalette_);
        SetLanguageFolder({});
    }

private:
    QString oldStyle_;
    QPalette oldPalette_;
};

TEST_F(OrlaLook, AppliesStyleAndPaletteToTheApplication) {
    ApplyOrlaLook(*qApp);
    EXPECT_NE(qobject_cast<TOrlaStyle*>(QApplication::style()), nullptr);
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(palette.color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(palette.color(QPalette::WindowText).rgb(), 0xFF383838u);
    EXPECT_EQ(palette.color(QPalette::Text).rgb(), 0xFF383838u);
    EXPECT_EQ(palette.color(QPalette::Mid).rgb(), 0xFFDFDFDFu);
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(255, 255, 255));
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipText).rgb(), 0xFF383838u);
    QLabel label;
    EXPECT_EQ(label.palette().color(QPalette::WindowText).rgb(), 0xFF383838u);
    EXPECT_EQ(QApplication::style()->pixelMetric(QStyle::PM_IndicatorWidth),
              TOrlaStyle::kIndicatorSize);
}

TEST_F(OrlaLook, LangFontGoesToTheWindowAndTagButtonsGrowByTheirTag) {
    SetLanguageFolder(
        (std::filesystem::path(__FILE__).parent_path() / "../../Languages/").string());
    SelectLanguage("ChineseSimplified");
    ASSERT_EQ(GetLangFontName(), "Droid Sans Fallback");
    const int size = GetLangFontSize();

    QWidget window;
    auto* scan = new TOrlaImageButton(QStringLiteral("Scan"), &window);
    scan->setTag(2);
    auto* ok = new TOrlaImageButton(QStringLiteral("OK"), &window);
    auto* link = new TOrlaLinkButton(QStringLiteral("Settings"), &window);
    link->setTag(3); // link buttons keep the window font whatever their Tag
    ApplyLangFont(&window);
    EXPECT_EQ(window.font().family(), QStringLiteral("Droid Sans Fallback"));
    EXPECT_EQ(window.font().pointSize(), size);
    EXPECT_EQ(scan->font().pointSize(), size + 2);
    EXPECT_EQ(scan->font().family(), QStringLiteral("Droid Sans Fallback"));
    EXPECT_EQ(ok->font().pointSize(), size);
    EXPECT_EQ(link->font().pointSize(), size);
    EXPECT_EQ(QToolTip::font().pointSize(), size);

    // Another language: the window and the Tag button follow it.
    SelectLanguage("English");
    scan->setTag(0);
    ApplyLangFont(&window);
    EXPECT_EQ(window.font().pointSize(), GetLangFontSize());
    EXPECT_EQ(scan->font(), window.font());
}

} // namespace
} // namespace pelidor
