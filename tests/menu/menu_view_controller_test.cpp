#include <gtest/gtest.h>
#include <QListWidget>

#include "fakes/FakeRunningApplication.h"
#include "menu/MenuViewController.h"

using namespace klosia;

namespace {

MenuAppPtr entry(const QString& name, bool selected, MenuAppPolicy policy = MenuAppPolicy::standard,
                 int processes = 1) {
    std::vector<RunningApplicationPtr> apps;
    apps.reserve(static_cast<std::size_t>(processes));
    for (int i = 0; i < processes; ++i) {
        apps.push_back(test::FakeRunningApplication::make(name, "org.example." + name.toLower()));
    }
    return std::make_shared<MenuApp>(selected, name, "org.example." + name.toLower(), apps, policy);
}

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

QStringList names(const std::vector<MenuAppPtr>& apps) {
    QStringList out;
    for (const MenuAppPtr& app : apps) {
        out << app->name;
    }
    return out;
}

}  // namespace

TEST(MenuViewController, SearchFiltersByLowerCasedNames) {
    MenuViewController view;
    view.setApplications({entry("Mail", true), entry("Calendar", true), entry("mailbox", true)});
    EXPECT_EQ(names(view.filteredApplications()), (QStringList{"Mail", "Calendar", "mailbox"}));
    view.search = QStringLiteral("MAIL");
    EXPECT_EQ(names(view.filteredApplications()), (QStringList{"Mail", "mailbox"}));
    view.search = QString();
    EXPECT_EQ(view.filteredApplications().size(), 3u) << "an empty search filters nothing";
    view.clearSearch();
    EXPECT_FALSE(view.search.has_value());

    view.setApplications({entry("Mail", true, MenuAppPolicy::standard, 2)});
    view.reloadData();
    ASSERT_EQ(view.rowsView()->count(), 1);
    EXPECT_EQ(view.rowsView()->item(0)->text(), "Mail (2)") << "rows show the titles";
}

TEST(MenuViewController, SelectAllStateComesFromShownStandardEntries) {
    MenuViewController view;
    view.setApplications(
        {entry("Mail", true), entry("Notes", true), entry("Zoom", false, MenuAppPolicy::never)});
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::Checked) << "Zoom's policy keeps it out";
    view.applications()[1]->selected = false;
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked);
    view.search = QStringLiteral("notes");
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::Unchecked) << "only shown entries count";
    view.search = QStringLiteral("zoom");
    view.updateSelectAllBt();
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked) << "no standard entry shown";
}

TEST(MenuViewController, RowEventsUpdateTheEntryAndReachTheDelegate) {
    MenuViewController view;
    RecordingRowDelegate delegate;
    view.delegate = &delegate;
    view.setApplications({entry("Mail", true), entry("Notes", true)});
    const MenuAppPtr copy = entry("Notes", true);  // another object, same identifier
    view.didCheck(copy, false);
    EXPECT_FALSE(view.applications()[1]->selected);
    EXPECT_EQ(view.selectAllState(), Qt::PartiallyChecked);
    view.didHover(1);
    EXPECT_EQ(view.hoverIndex, 1);
    view.didHover(std::nullopt);
    view.didChangePolicy(view.applications()[0], MenuAppPolicy::never);
    EXPECT_EQ(delegate.calls,
              (QStringList{"check Notes 0", "hover 1", "hover -1", "policy Mail Never"}));
}
