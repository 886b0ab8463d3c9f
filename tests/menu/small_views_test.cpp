#include <gtest/gtest.h>
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

#include "menu/ColorView.h"
#include "menu/HoverButton.h"
#include "menu/HoverButtonDelegate.h"

using namespace klosia;

namespace {

class RecordingHoverDelegate final : public HoverButtonDelegate {
public:
    void hoverButtonDidEnter() override { calls.emplace_back("enter"); }
    void hoverButtonDidExit() override { calls.emplace_back("exit"); }
    std::vector<std::string> calls;
};

QIcon solid(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

void enter(QWidget& widget) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&widget, &event);
}

void leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

void mouse(QWidget& widget, QEvent::Type type) {
    const QPointF inside(widget.width() / 2.0, widget.height() / 2.0);
    QMouseEvent event(type, inside, widget.mapToGlobal(inside), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

}  // namespace

TEST(HoverButton, SwapsImagesAndTellsItsDelegateOnlyWhileEnabled) {
    HoverButton button;
    RecordingHoverDelegate delegate;
    button.delegate = &delegate;
    const QIcon normal = solid(Qt::red);
    const QIcon hover = solid(Qt::blue);
    button.setImages(normal, hover);
    EXPECT_EQ(button.clickImage.cacheKey(), hover.cacheKey()) << "pressed shows the alternate";
    EXPECT_EQ(button.image().cacheKey(), normal.cacheKey());

    enter(button);
    EXPECT_TRUE(button.entered());
    EXPECT_EQ(button.image().cacheKey(), hover.cacheKey());
    leave(button);
    EXPECT_FALSE(button.entered());
    EXPECT_EQ(button.image().cacheKey(), normal.cacheKey());
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"enter", "exit"}));

    button.setEnabled(false);
    enter(button);
    EXPECT_FALSE(button.entered()) << "a disabled button reports no hover";
    EXPECT_EQ(button.image().cacheKey(), normal.cacheKey()) << "and keeps its image";
    EXPECT_EQ(delegate.calls.size(), 2u);
}

TEST(HoverButton, HalfOpaqueWhilePressedAndClicksOnRelease) {
    HoverButton button;
    button.resize(40, 40);
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    mouse(button, QEvent::MouseButtonPress);
    EXPECT_EQ(button.alpha(), 0.5);
    EXPECT_EQ(clicks, 0);
    mouse(button, QEvent::MouseButtonRelease);
    EXPECT_EQ(button.alpha(), 1.0);
    EXPECT_EQ(clicks, 1);

    button.setEnabled(false);
    mouse(button, QEvent::MouseButtonPress);
    EXPECT_EQ(button.alpha(), 1.0);
    mouse(button, QEvent::MouseButtonRelease);
    EXPECT_EQ(clicks, 1);
}

TEST(HoverButton, DrawsTheRoundHighlightOnlyWhenAskedAndEntered) {
    HoverButton button;
    button.resize(40, 40);
    const QColor base(0, 128, 255);
    const QColor window(250, 240, 10);
    QPalette palette = button.palette();
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Window, window);
    button.setPalette(palette);
    auto pixel = [&button](int x, int y) { return button.grab().toImage().pixelColor(x, y); };
    enter(button);
    EXPECT_EQ(pixel(20, 20), window) << "no background unless asked";
    button.setDrawBackground(true);
    EXPECT_EQ(pixel(20, 20), base);
    EXPECT_EQ(pixel(1, 1), window) << "an oval, inset by 3";
    leave(button);
    EXPECT_EQ(pixel(20, 20), window);
}

TEST(ColorView, FillsARoundedRectangleInItsColour) {
    ColorView view;
    view.resize(60, 30);
    view.setAttribute(Qt::WA_TranslucentBackground);
    EXPECT_EQ(view.color(), view.palette().color(QPalette::Base)) << "the palette until set";
    view.setColor(QColor(200, 10, 10));
    view.setRadius(10);
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixelColor(30, 15), QColor(200, 10, 10));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "rounded corner";
    EXPECT_EQ(image.pixelColor(30, 0), QColor(200, 10, 10)) << "straight edge";
}
