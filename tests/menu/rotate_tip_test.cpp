// The menu's tips: the eighteen texts as they stand, the unbiased draw (and its uniformity over
// many rebuilds, with a fixed seed), the line hidden and emptied while tips are off, a new tip
// only while the menu is closed, and a press on a tip that points to the preferences.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>

#include <deque>
#include <random>

#include "fakes/FakeApplicationDelegate.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindowController.h"
#include "menu/RotateLabel.h"
#include "menu/RotateTip.h"
#include "settings/Preferences.h"
#include "support/Wait.h"

using namespace klosia;
using test::FakeRunningApplication;
using Phase = MenuWindowController::Phase;

namespace {

// Raw values handed out in order.
RotateTip::RandomSource sequence(std::deque<std::uint32_t>& values) {
    return [queue = &values] {
        const std::uint32_t value = queue->front();
        queue->pop_front();
        return value;
    };
}

// A raw value whose draw among 18 is `index`.
std::uint32_t rawFor(std::size_t index) {
    return static_cast<std::uint32_t>(((std::uint64_t{index} << 32U) + (1U << 31U)) / 18);
}

}  // namespace

TEST(RotateTip, TheEighteenTextsAsTheyStandAndTwoLeadToThePreferences) {
    using enum RotateTipAction;
    // Written with code points: the apostrophes, the ellipsis, the Option key and every emoji
    // with its variation selector are the ones the program shows.
    const std::vector<RotateTipItem> expected{
        {QStringLiteral(u"Don\u2019t give up quitting"), none},
        {QStringLiteral(u"\u2325 to toggle quit/force quit \U0001F4AA"), preferences},
        {QStringLiteral(u"Set a shortcut \U0001F449"), preferences},
        {QStringLiteral(u"Quitters are winners \U0001F3C6"), none},
        {QStringLiteral(u"Quitters are leaders \U0001F481"), none},
        {QStringLiteral(u"Quitters are our faves \U0001F60D"), none},
        {QStringLiteral(u"Quit not. Maybe a little\u2026 \U0001F644"), none},
        {QStringLiteral(u"Quitting is caring \U0001F44C"), none},
        {QStringLiteral(u"Time to quit \U0001F918"), none},
        {QStringLiteral(u"There is no shame in quitting"), none},
        {QStringLiteral(u"I just won\u2019t quit, maybe. \U0001F644"), none},
        {QStringLiteral(u"Quitting is leading \U0001F9DD\u2642\uFE0F"), none},
        {QStringLiteral(u"Quitting is just starting over \u2600\uFE0F"), none},
        {QStringLiteral(u"The force is strong with you. \U0001F64F"), none},
        {QStringLiteral(u"Fall seven times, quit eight \U0001F590\U0001F91F"), none},
        {QStringLiteral(u"Never stop quitting \U0001F4AA"), none},
        {QStringLiteral(u"Rehab for your apps \U0001F9D1\u2695\uFE0F"), none},
        {QStringLiteral(u"Addicted to quitting \u26A1\uFE0F"), none},
    };
    const std::vector<RotateTipItem>& tips = RotateTip::tips();
    ASSERT_EQ(tips.size(), expected.size());
    for (std::size_t i = 0; i < tips.size(); ++i) {
        EXPECT_EQ(tips[i].text.toUtf8().toHex(' '), expected[i].text.toUtf8().toHex(' '))
            << "tip " << i + 1;
        EXPECT_EQ(tips[i].action, expected[i].action) << "tip " << i + 1;
    }
    EXPECT_EQ(&RotateTip::tips(), &tips) << "built once";

    EXPECT_EQ(rotateTipActionFromRawValue(QStringLiteral("none")), none);
    EXPECT_EQ(rotateTipActionFromRawValue(QStringLiteral("preferences")), preferences);
    EXPECT_EQ(rotateTipActionFromRawValue(QStringLiteral("Preferences")), std::nullopt);
    EXPECT_EQ(rotateTipActionFromRawValue(QString()), std::nullopt);
    EXPECT_EQ(rawValue(preferences), "preferences");
}

TEST(RotateTip, RawValuesThatWouldFavourSomeTipsAreDrawnAgain) {
    // 2^32 is not a multiple of 18: four raw values have to go for the eighteen to be equally
    // likely. Raw 0 is one of them (scaling alone would make it tip 0, remainder alone too).
    std::deque<std::uint32_t> values{0, 0x80000000U, rawFor(9)};
    EXPECT_EQ(RotateTip::randomIndex(18, sequence(values)), 9u);
    EXPECT_TRUE(values.empty()) << "2^31 is another one: drawn three times";
    values = {0xFFFFFFFFU, 0x7FFFFFFFU};
    EXPECT_EQ(RotateTip::randomIndex(18, sequence(values)), 17u) << "scaled, not reduced";
    EXPECT_EQ(values.size(), 1u);
    values = {0};
    EXPECT_EQ(RotateTip::randomIndex(16, sequence(values)), 0u) << "16 divides 2^32: kept";
    for (std::size_t index = 0; index < 18; ++index) {
        values = {rawFor(index)};
        EXPECT_EQ(RotateTip::randomIndex(18, sequence(values)), index);
    }
}

namespace {

class RotateTipMenuTest : public ::testing::Test {
public:
    RotateTipMenuTest() : bus(dispatcher), busScope(bus), preferences(defaults) {
        workspace.applications = {FakeRunningApplication::make("Mail", "org.example.mail")};
        makeController();
    }
    ~RotateTipMenuTest() override { controller.reset(); }

protected:
    void makeController() {
        controller.reset();
        controller = std::make_unique<MenuWindowController>(dispatcher, workspace, preferences,
                                                            nullptr, &defaults);
    }
    bool open() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        controller->openMenu({screen.center().x(), screen.top() + 5});
        return test::waitUntil([this] { return controller->isOpen(); });
    }
    RotateLabel& label() const { return *controller->menuViewController()->rotateLabel(); }
    void click(Qt::MouseButton button = Qt::LeftButton) {
        const QPointF centre = QRectF(label().rect()).center();
        const QPointF global = label().mapToGlobal(centre);
        QMouseEvent press(QEvent::MouseButtonPress, centre, global, button, button, {});
        QApplication::sendEvent(&label(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, global, button, {}, {});
        QApplication::sendEvent(&label(), &release);
    }

    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::RecordingDefaults defaults;
    Preferences preferences;
    test::FakeWorkspace workspace;
    test::FakeApplicationDelegate application;
    std::unique_ptr<MenuWindowController> controller;
};

}  // namespace

TEST_F(RotateTipMenuTest, OverManyRebuildsEveryTipComesUpAndNoneIsFavoured) {
    std::mt19937 engine(20240611);
    controller->setTipRandomSource([&engine] { return static_cast<std::uint32_t>(engine()); });
    const std::vector<RotateTipItem>& tips = RotateTip::tips();
    std::map<QString, int> counts;
    constexpr int kPerTip = 400;
    const int rebuilds = kPerTip * static_cast<int>(tips.size());
    for (int i = 0; i < rebuilds; ++i) {
        controller->reloadApps();
        ASSERT_TRUE(label().tip().has_value());
        ASSERT_EQ(label().text(), label().tip()->text);
        ++counts[label().text()];
    }
    ASSERT_EQ(counts.size(), tips.size()) << "every tip appears, and nothing else";
    // Pearson's chi-squared against the uniform distribution; 17 degrees of freedom. Above
    // 40.79 a fair draw would land once in a thousand seeds: this seed is fixed.
    double chiSquared = 0;
    for (const RotateTipItem& tip : tips) {
        const double difference = counts[tip.text] - kPerTip;
        chiSquared += difference * difference / kPerTip;
    }
    EXPECT_LT(chiSquared, 40.79);
}

TEST_F(RotateTipMenuTest, TipsOffHideAndEmptyTheLineAndOnAgainTheNextClosedRebuildDraws) {
    std::deque<std::uint32_t> values{rawFor(3), rawFor(5), rawFor(8), rawFor(12), rawFor(0)};
    controller->setTipRandomSource(sequence(values));
    controller->reloadApps();
    EXPECT_EQ(label().text(), RotateTip::tips()[3].text);
    EXPECT_FALSE(label().isHidden());

    preferences.setDisableTips(true);
    dispatcher.runUntilIdle();
    EXPECT_TRUE(label().isHidden()) << "on \"PreferencesDidChanged\"";
    controller->reloadApps();
    EXPECT_TRUE(label().text().isEmpty());
    EXPECT_EQ(label().tip(), RotateTip::tips()[3]) << "the tip itself is kept";
    EXPECT_EQ(values.size(), 4u) << "no draw while tips are off";

    preferences.setDisableTips(false);
    dispatcher.runUntilIdle();
    EXPECT_FALSE(label().isHidden());
    controller->reloadApps();
    EXPECT_EQ(label().text(), RotateTip::tips()[5].text);

    // The opening draws; rebuilds while open keep the tip; the close draws again.
    ASSERT_TRUE(open());
    EXPECT_EQ(label().text(), RotateTip::tips()[8].text);
    controller->reloadApps();
    bus.notify(names::didLaunchApplication);
    dispatcher.runUntilIdle();
    EXPECT_EQ(label().text(), RotateTip::tips()[8].text);
    EXPECT_EQ(values.size(), 2u);
    EXPECT_TRUE(label().isVisible());
    controller->closeMenu();
    ASSERT_TRUE(test::waitUntil([this] { return controller->phase() == Phase::closed; }));
    EXPECT_EQ(label().text(), RotateTip::tips()[12].text);

    // Saved as off before the menu exists: hidden from the start.
    preferences.setDisableTips(true);
    makeController();
    EXPECT_TRUE(label().isHidden());
}

TEST_F(RotateTipMenuTest, APressOnAPreferencesTipOpensThePreferencesAndTheMenuStaysOpen) {
    ASSERT_TRUE(open());
    label().setTip(RotateTip::tips()[2]);  // "Set a shortcut 👉"
    click();
    EXPECT_EQ(application.calls, std::vector<QString>{"openPreferences"});
    EXPECT_EQ(controller->phase(), Phase::open);

    click(Qt::RightButton);
    label().setTip(RotateTip::tips()[8]);  // "Time to quit 🤘"
    click();
    label().setTip(RotateTip::tips()[1]);
    label().clearText();
    click();
    EXPECT_EQ(application.preferencesOpenings, 1)
        << "a secondary press, a tip without action and an emptied line do nothing";

    // Screen readers read the tip, and hear where a press on one leads.
    label().setTip(RotateTip::tips()[1]);
    QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(&label());
    ASSERT_NE(readable, nullptr);
    EXPECT_EQ(readable->text(QAccessible::Name), RotateTip::tips()[1].text);
    EXPECT_FALSE(readable->text(QAccessible::Description).isEmpty());
    EXPECT_EQ(label().cursor().shape(), Qt::PointingHandCursor);
    label().setTip(RotateTip::tips()[0]);
    EXPECT_TRUE(readable->text(QAccessible::Description).isEmpty());
}
