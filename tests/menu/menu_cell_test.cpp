// One row of the menu on its own: what it shows for an entry, its load, its quit images and
// names, its policy menu, and what a press on it brings forward.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuGlyph.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewCell.h"
#include "menu/MenuViewCellDelegate.h"
#include "model/CPUSample.h"
#include "settings/Preferences.h"

using namespace klosia;
using test::fakeProcess;
using test::menuEntry;

namespace {

class PolicyRecorder final : public MenuViewCellDelegate {
public:
    void didCheck(const MenuAppPtr& /*app*/, bool selected) override { checks.push_back(selected); }
    void didHover(std::optional<int> index) override { hovers.push_back(index.value_or(-1)); }
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) override {
        app->policy = policy;  // as the rebuild would
        policies.push_back(policy);
    }
    std::vector<bool> checks;
    std::vector<int> hovers;
    std::vector<MenuAppPolicy> policies;
};

class MenuCellTest : public ::testing::Test {
public:
    MenuCellTest()
        : bus(dispatcher), busScope(bus), preferences(defaults), cell(dispatcher, preferences) {
        cell.resize(280, 27);
        cell.delegate = &recorder;
    }

protected:
    Notification sample(std::vector<CPUEntry> entries) const {
        return {names::cpuDidChanged, std::make_shared<CPUSample>(std::move(entries))};
    }
    QAction* option(const QString& text) const {
        for (QAction* action : cell.optionsMenu()->actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }

    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::RecordingDefaults defaults;
    Preferences preferences;
    PolicyRecorder recorder;
    MenuViewCell cell;
};

}  // namespace

TEST_F(MenuCellTest, ShowsTheEntryItsBoxAndItsDimmingByPolicy) {
    cell.configure(menuEntry("Mail", false), false, false, 3);
    EXPECT_EQ(cell.title(), "Mail");
    EXPECT_EQ(cell.index(), 3);
    EXPECT_FALSE(cell.checkBt()->isChecked());
    EXPECT_TRUE(cell.checkBt()->isEnabled());
    EXPECT_FALSE(cell.isDimmed());
    EXPECT_EQ(cell.cpuLabel()->text(), "0.0%");
    EXPECT_EQ(cell.accessibleName(), "Mail");
    EXPECT_EQ(cell.quitBt()->accessibleName(), "Quit Mail");
    EXPECT_EQ(cell.checkBt()->accessibleName(), "Select Mail");
    EXPECT_FALSE(cell.moreBt()->accessibleName().isEmpty());

    cell.configure(menuEntry("Mail", true, MenuAppPolicy::never, 2), false, false, 0);
    EXPECT_EQ(cell.title(), "Mail (2)");
    EXPECT_FALSE(cell.checkBt()->isChecked()) << "Never shows an unchecked box";
    EXPECT_FALSE(cell.checkBt()->isEnabled());
    EXPECT_TRUE(cell.isDimmed());
    EXPECT_NEAR(cell.titleLabel()->palette().color(QPalette::WindowText).alphaF(), 0.5, 0.01);

    cell.configure(menuEntry("Mail", false, MenuAppPolicy::always), false, false, 0);
    EXPECT_TRUE(cell.checkBt()->isChecked()) << "Always shows a checked box";
    EXPECT_FALSE(cell.checkBt()->isEnabled());

    cell.configure(menuEntry("Mail", true), false, false, 0);
    EXPECT_TRUE(cell.checkBt()->isEnabled()) << "a reused row forgets the last policy";
    EXPECT_FALSE(cell.isDimmed());
    EXPECT_EQ(cell.titleLabel()->palette().color(QPalette::WindowText).alphaF(), 1.0);
    cell.checkBt()->click();
    EXPECT_EQ(recorder.checks, std::vector<bool>{false});
}

TEST_F(MenuCellTest, LoadIsTheSumOverTheEntrysProcesses) {
    cell.configure(menuEntry("Mail", true, MenuAppPolicy::standard, 2, 700), false, false, 0);
    cell.cpuDidChangedNotification(sample({{699, 50.0F}, {700, 10.25F}, {701, 2.25F}}));
    EXPECT_EQ(cell.cpuLabel()->text(), "12.5%");
    cell.cpuDidChangedNotification(sample({{1, 3.0F}}));
    EXPECT_EQ(cell.cpuLabel()->text(), "0.0%") << "no process of the entry in the sample";
    cell.cpuDidChangedNotification(sample({{700, 101.0F}, {701, 99.5F}}));
    EXPECT_EQ(cell.cpuLabel()->text(), "200.5%") << "several cores";
    cell.cpuDidChangedNotification(Notification{names::cpuDidChanged, nullptr});
    EXPECT_EQ(cell.cpuLabel()->text(), "200.5%") << "not a sample: nothing changes";
    cell.configure(menuEntry("Notes", true), false, false, 0);
    EXPECT_EQ(cell.cpuLabel()->text(), "0.0%") << "a refilled row waits for the next sample";
}

TEST_F(MenuCellTest, QuitImagesFollowTheModeAndThePalette) {
    const qreal ratio = cell.devicePixelRatioF();
    const QSize size = cell.quitBt()->iconSize();
    const QColor text = cell.palette().color(QPalette::WindowText);
    const QColor accent = cell.palette().color(QPalette::Highlight);
    const auto glyph = [&](const char* name, const QColor& color) {
        return MenuGlyph::icon(QString::fromLatin1(name), size, color, ratio).cacheKey();
    };
    cell.configure(menuEntry("Mail", true), false, false, 0);
    EXPECT_EQ(cell.quitBt()->normalImage.cacheKey(), glyph("quit-app", text));
    EXPECT_EQ(cell.quitBt()->hoverImage.cacheKey(), glyph("quit-app-selected", accent));
    EXPECT_EQ(cell.quitBt()->clickImage.cacheKey(), glyph("quit-app-selected", accent));

    cell.configure(menuEntry("Mail", true), true, false, 0);
    EXPECT_EQ(cell.quitBt()->normalImage.cacheKey(), glyph("force-quit-app", text)) << "Alt";
    EXPECT_EQ(cell.quitBt()->accessibleName(), "Force quit Mail");
    preferences.setQuitOption(QuitOption::force);
    cell.configure(menuEntry("Mail", true), true, false, 0);
    EXPECT_EQ(cell.quitBt()->normalImage.cacheKey(), glyph("quit-app", text)) << "Alt swaps back";

    // The hover image is the accent colour, the plain one the text colour: light and dark.
    const QImage hover = cell.quitBt()->hoverImage.pixmap(size, ratio).toImage();
    EXPECT_EQ(hover.pixelColor(hover.width() / 2, hover.height() / 5).rgb(), accent.rgb())
        << "inside the disc, above the cut-out";
    QPalette dark = cell.palette();
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    cell.setPalette(dark);
    EXPECT_EQ(cell.quitBt()->normalImage.cacheKey(), glyph("quit-app", QColor(0xee, 0xee, 0xee)));
    EXPECT_EQ(cell.moreBt()->hoverImage.cacheKey(),
              MenuGlyph::icon(QStringLiteral("more-app"), cell.moreBt()->iconSize(),
                              QColor(0x3d, 0x8e, 0xe6), ratio)
                  .cacheKey());
}

TEST_F(MenuCellTest, PolicyMenuTogglesAndKeepsTheMoreButtonAwayForAQuarterSecond) {
    const MenuAppPtr mail = menuEntry("Mail", true);
    cell.configure(mail, false, false, 0);
    cell.optionsBtPress();
    EXPECT_TRUE(MenuViewCell::isOptionsMenuOpen());
    ASSERT_NE(option("Always Quit"), nullptr);
    ASSERT_NE(option("Never Quit"), nullptr);
    EXPECT_FALSE(option("Always Quit")->isChecked());
    option("Always Quit")->trigger();
    EXPECT_EQ(recorder.policies, std::vector<MenuAppPolicy>{MenuAppPolicy::always});

    // Entering the row while the flag is up shows no more button.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&cell, &enter);
    EXPECT_TRUE(cell.moreBt()->isHidden());
    dispatcher.advance(std::chrono::milliseconds(240));
    EXPECT_TRUE(MenuViewCell::isOptionsMenuOpen());
    dispatcher.advance(std::chrono::milliseconds(20));
    EXPECT_FALSE(MenuViewCell::isOptionsMenuOpen());
    QApplication::sendEvent(&cell, &enter);
    EXPECT_FALSE(cell.moreBt()->isHidden()) << "the next enter shows it";
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&cell, &leave);
    EXPECT_TRUE(cell.moreBt()->isHidden());

    // Choosing the checked item again goes back to Standard.
    cell.optionsBtPress();
    EXPECT_TRUE(option("Always Quit")->isChecked());
    option("Always Quit")->trigger();
    option("Never Quit")->trigger();  // stale item of the same menu: Standard -> Never
    EXPECT_EQ(recorder.policies,
              (std::vector<MenuAppPolicy>{MenuAppPolicy::always, MenuAppPolicy::standard,
                                          MenuAppPolicy::never}));
    cell.optionsMenu()->hide();
    // A clear left over from this menu does not close the next one.
    dispatcher.advance(std::chrono::milliseconds(100));
    cell.optionsBtPress();
    dispatcher.advance(std::chrono::milliseconds(200));
    EXPECT_TRUE(MenuViewCell::isOptionsMenuOpen());
    cell.optionsMenu()->hide();
    dispatcher.advance(std::chrono::seconds(1));
    EXPECT_FALSE(MenuViewCell::isOptionsMenuOpen());
}

TEST_F(MenuCellTest, APressBringsOnlyARegularApplicationForward) {
    const auto press = [&] {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(100, 10), QPointF(100, 10),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&cell, &event);
    };
    const MenuAppPtr mail = menuEntry("Mail", true);
    cell.configure(mail, false, false, 0);
    press();
    EXPECT_EQ(fakeProcess(mail).activateCalls, 1);

    const MenuAppPtr helper = menuEntry("Helper", true);
    fakeProcess(helper).policy = ActivationPolicy::prohibited;
    cell.configure(helper, false, false, 0);
    press();
    EXPECT_EQ(fakeProcess(helper).activateCalls, 0) << "background processes have no window";

    cell.configure(std::make_shared<MenuApp>(), false, false, 0);
    press();  // an entry without processes: nothing to bring forward, and no crash
    cell.quitBtPress();
    EXPECT_TRUE(cell.isDimmed()) << "a quit press without processes still dims the row";
}
