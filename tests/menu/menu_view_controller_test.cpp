// The menu's content without its window: the main button's title and state, the select-all
// box, the search rules and the rows' events.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuTableView.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewCell.h"
#include "menu/MenuViewController.h"
#include "settings/Preferences.h"

using namespace klosia;
using test::entryNames;
using test::menuEntry;

namespace {

class RecordingRowDelegate final : public MenuViewCellDelegate {
public:
    void didCheck(const MenuAppPtr& app, bool selected) override {
        calls << QStringLiteral("check %1 %2").arg(app->name).arg(selected);
    }
    void didHover(std::optional<int> index) override {
        calls << QStringLiteral("hover %1").arg(index.value_or(-1));
    }
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) override {
        calls << QStringLiteral("policy %1 %2").arg(app->name, rawValue(policy));
    }
    QStringList calls;
};

class MenuViewTest : public ::testing::Test {
public:
    MenuViewTest()
        : bus(dispatcher), busScope(bus), preferences(defaults), view(dispatcher, preferences) {
        view.resize(300, 6 * 27 + 135);
    }

protected:
    QString title() const { return view.klosiaBt()->text(); }
    void show(std::vector<MenuAppPtr> apps) {
        view.setApplications(std::move(apps));
        view.updateKlosiaBt();
        view.updateSelectAllBt();
    }

    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::RecordingDefaults defaults;
    Preferences preferences;
    MenuViewController view;
};

}  // namespace

TEST_F(MenuViewTest, MainButtonTitleNamesWhatAPressDoes) {
    struct Case {
        QuitOption option;
        bool all;
        bool alternate;
        QString title;
    };
    const std::vector<Case> table{
        {QuitOption::quit, true, false, QStringLiteral(" Klosia")},
        {QuitOption::quit, true, true, QStringLiteral("Force Klosia")},
        {QuitOption::quit, false, false, QStringLiteral("Quit Selected")},
        {QuitOption::quit, false, true, QStringLiteral("Force Quit Selected")},
        {QuitOption::force, true, false, QStringLiteral("Force Klosia")},
        {QuitOption::force, true, true, QStringLiteral(" Klosia")},
        {QuitOption::force, false, false, QStringLiteral("Force Quit Selected")},
        {QuitOption::force, false, true, QStringLiteral("Quit Selected")},
    };
    for (const Case& c : table) {
        preferences.setQuitOption(c.option);
        view.alternate = c.alternate;
        show({menuEntry("Mail", true), menuEntry("Notes", c.all)});
        EXPECT_EQ(title(), c.title)
            << rawValue(c.option).toStdString() << " all " << c.all << " alt " << c.alternate;
        EXPECT_TRUE(view.klosiaBt()->isEnabled());
        EXPECT_FALSE(view.klosiaBt()->accessibleName().isEmpty());
    }
    EXPECT_EQ(QStringLiteral(" Klosia").at(0), QLatin1Char(' ')) << "the leading space stays";

    preferences.setQuitOption(QuitOption::quit);
    view.alternate = false;
    show({menuEntry("Mail", false), menuEntry("Notes", false)});
    EXPECT_EQ(title(), "Quit Selected");
    EXPECT_FALSE(view.klosiaBt()->isEnabled()) << "nothing checked, nothing to quit";

    show({menuEntry("Mail", true)});
    show({});
    EXPECT_EQ(title(), " Klosia") << "an empty list leaves the title as it was";
    EXPECT_TRUE(view.klosiaBt()->isEnabled()) << "and the enabled state";
}

TEST_F(MenuViewTest, SelectAllCountsShownStandardEntriesAndSetsHiddenOnesToo) {
    const MenuAppPtr zoom = menuEntry("Zoom", false, MenuAppPolicy::never);
    const MenuAppPtr xterm = menuEntry("XTerm", true, MenuAppPolicy::always);
    show({menuEntry("Mail", true), menuEntry("Notes", false), zoom, xterm});
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked);
    view.search = QStringLiteral("mail");
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::Checked) << "only shown entries count";
    view.search = QStringLiteral("o");  // Notes, Zoom
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::Unchecked) << "Zoom's policy keeps it out";
    view.search = QStringLiteral("z");
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked) << "no standard entry shown";

    // A click on the unchecked box (it moves on to the mixed state) checks, hidden entries too.
    view.search = QStringLiteral("notes");
    view.updateSelectAllBt();
    view.selectAllBt()->click();
    EXPECT_EQ(view.selectAllState(), Qt::Checked);
    const std::vector<MenuAppPtr>& all = view.applications();
    EXPECT_TRUE(all[0]->selected && all[1]->selected) << "Mail is hidden by the search";
    EXPECT_EQ(all[2], zoom) << "policy entries stay the same objects";
    EXPECT_FALSE(zoom->selected);
    EXPECT_EQ(all[3], xterm);
    view.selectAllBt()->click();
    EXPECT_EQ(view.selectAllState(), Qt::Unchecked);
    EXPECT_FALSE(view.applications()[0]->selected || view.applications()[1]->selected);
    EXPECT_TRUE(xterm->selected) << "Always stays checked";
    EXPECT_FALSE(view.klosiaBt()->isEnabled()) << "the only shown entry is unchecked now";
}

TEST_F(MenuViewTest, SearchIsTrimmedCaseBlindAndSizesTheRows) {
    show({menuEntry("Mail", true), menuEntry("Calendar", true), menuEntry("mailbox", false)});
    view.searchField()->setText(QStringLiteral("   "));
    ASSERT_TRUE(view.search.has_value()) << "spaces only: present but empty";
    EXPECT_TRUE(view.search->isEmpty());
    EXPECT_EQ(view.filteredApplications().size(), 3u) << "and it filters nothing";

    view.searchField()->setText(QStringLiteral("  MAIL \n"));
    EXPECT_EQ(*view.search, "MAIL");
    EXPECT_EQ(entryNames(view.filteredApplications()), (QStringList{"Mail", "mailbox"}));
    EXPECT_EQ(view.appsTableView()->rowCount(), 2);
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked);
    EXPECT_EQ(view.klosiaBt()->text(), "Quit Selected") << "the title follows the shown rows";

    view.searchField()->setText(QStringLiteral("cal"));
    EXPECT_EQ(view.klosiaBt()->text(), " Klosia");
    view.searchField()->clear();
    EXPECT_FALSE(view.search.has_value());
    EXPECT_EQ(view.appsTableView()->rowCount(), 3);

    view.searchField()->setText(QStringLiteral("nothing"));
    view.clearSearch();
    EXPECT_FALSE(view.search.has_value());
    EXPECT_TRUE(view.searchField()->text().isEmpty());
}

TEST_F(MenuViewTest, RowEventsUpdateTheEntryAndReachTheDelegate) {
    RecordingRowDelegate delegate;
    view.delegate = &delegate;
    show({menuEntry("Mail", true), menuEntry("Notes", true), menuEntry("Notes", true)});
    const MenuAppPtr copy = menuEntry("Mail", true);  // another object, same identifier
    view.didCheck(copy, false);
    EXPECT_FALSE(view.applications()[0]->selected);
    // Of two entries with one identifier, the row's own entry changes.
    view.didCheck(view.applications()[2], false);
    EXPECT_TRUE(view.applications()[1]->selected);
    EXPECT_FALSE(view.applications()[2]->selected);
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked);
    view.didHover(1);
    EXPECT_EQ(view.hoverIndex, 1);
    view.didHover(std::nullopt);
    view.didChangePolicy(view.applications()[0], MenuAppPolicy::never);
    EXPECT_EQ(delegate.calls, (QStringList{"check Mail 0", "check Notes 0", "hover 1", "hover -1",
                                           "policy Mail Never"}));

    // A click on a row's box goes the same way, and the rows show the titles.
    view.setApplications({menuEntry("Mail", true, MenuAppPolicy::standard, 2)});
    view.reloadData();
    MenuViewCell* row = view.appsTableView()->cellForRow(0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->title(), "Mail (2)");
    row->checkBt()->click();
    EXPECT_FALSE(view.applications()[0]->selected);
    EXPECT_EQ(delegate.calls.back(), "check Mail 0");
}
