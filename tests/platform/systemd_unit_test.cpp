#include <gtest/gtest.h>

#include <string>

#include "platform/linux/SystemdUnit.h"

namespace klosia {
namespace {

struct Case {
    std::string cgroup;
    const char* unit;  // nullptr: no unit at all
    const char* desktopId;
    const char* launcher;
    SystemdUnit::Kind kind = SystemdUnit::Kind::scope;
};

std::string line(const std::string& unit) {
    return "0::/user.slice/user-1000.slice/user@1000.service/app.slice/" + unit + "\n";
}

// Which application a cgroup names, and where the launcher ends and the id begins: one part is
// the id, two are launcher and id when the first has no dot, anything else names nothing.
TEST(SystemdUnit, NamesTheApplicationOnlyWhereTheUnitNameSaysItUnambiguously) {
    using Kind = SystemdUnit::Kind;
    const std::string escaped = R"(app-gnome-org.gnome.Evolution\x2dalarm\x2dnotify-2437.scope)";
    const std::string longName = "app-gnome-org.example." + std::string(240, 'a') + "-1.scope";
    const std::vector<Case> table{
        {line(escaped), escaped.c_str(), "org.gnome.Evolution-alarm-notify", "gnome"},
        {line("app-org.kde.okular@12ab.service"), "app-org.kde.okular@12ab.service",
         "org.kde.okular", "", Kind::service},
        {line("app-flatpak-org.gnome.Maps-1234.scope"), "app-flatpak-org.gnome.Maps-1234.scope",
         "org.gnome.Maps", "flatpak"},
        {line("app-sway-foot@x.service"), "app-sway-foot@x.service", "foot", "sway", Kind::service},
        // Without a launcher a dotless id stands alone; a service needs no random part.
        {line("app-foot-7.scope"), "app-foot-7.scope", "foot", ""},
        {line("app-gnome-org.gnome.Nautilus.service"), "app-gnome-org.gnome.Nautilus.service",
         "org.gnome.Nautilus", "gnome", Kind::service},
        {line(R"(app-kde-org.example.caf\xc3\xa9-9.scope)"),
         R"(app-kde-org.example.caf\xc3\xa9-9.scope)", "org.example.café", "kde"},
        // The innermost unit counts, also below a delegated subgroup.
        {line("app-gnome-org.gnome.Maps-5.scope/worker"), "app-gnome-org.gnome.Maps-5.scope",
         "org.gnome.Maps", "gnome"},
        {"12:pids:/user.slice\n" + line("app-org.kde.okular-3.scope") + "1:name=systemd:/x\n",
         "app-org.kde.okular-3.scope", "org.kde.okular", ""},
        // Units that are no application.
        {line("vte-spawn-7c3d9e2a-5b1f-4c8e-9a6d-2f0e1b3c4d5e.scope"),
         "vte-spawn-7c3d9e2a-5b1f-4c8e-9a6d-2f0e1b3c4d5e.scope", "", ""},
        {"0::/user.slice/user-1000.slice/user@1000.service/init.scope\n", "init.scope", "", ""},
        {line("app-.scope"), "app-.scope", "", ""},
        {line("app-gnome--1.scope"), "app-gnome--1.scope", "", ""},
        {line("app-org.gnome.Maps.scope"), "app-org.gnome.Maps.scope", "", ""},
        {line("app-gnome-org.gnome.Maps-.scope"), "app-gnome-org.gnome.Maps-.scope", "", ""},
        {line("app-org.gnome.Maps@.service"), "app-org.gnome.Maps@.service", "", "", Kind::service},
        {line("app-org.example-org.gnome.Maps-1.scope"), "app-org.example-org.gnome.Maps-1.scope",
         "", ""},
        {line("app-gnome-my-editor-1.scope"), "app-gnome-my-editor-1.scope", "", ""},
        {line(R"(app-gnome-bad\x2-1.scope)"), R"(app-gnome-bad\x2-1.scope)", "", ""},
        {line(R"(app-gnome-org.x\x2fy-1.scope)"), R"(app-gnome-org.x\x2fy-1.scope)", "", ""},
        {line(R"(app-gnome-org.x\xff-1.scope)"), R"(app-gnome-org.x\xff-1.scope)", "", ""},
        // No unit at all.
        {"", nullptr, "", ""},
        {"garbage without lines", nullptr, "", ""},
        {"0::/\n", nullptr, "", ""},
        {"0::/user.slice/user-1000.slice/session-2.slice\n", nullptr, "", ""},
        {"0::/user.slice/app-gnome-org.gnome.Maps-1\n", nullptr, "", ""},
        {"1:name=systemd:/user.slice/app-gnome-org.gnome.Maps-1.scope\n", nullptr, "", ""},
        {"12:pids:/user.slice/app-gnome-org.gnome.Maps-1.scope\n", nullptr, "", ""},
        {line("app-gnome-org.gnome Maps-1.scope"), nullptr, "", ""},
        {line(longName), nullptr, "", ""},
        {line(std::string(100000, 'a') + ".scope"), nullptr, "", ""},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.cgroup.substr(0, 200));
        const std::optional<SystemdUnit> unit = SystemdUnit::fromCgroup(c.cgroup);
        ASSERT_EQ(unit.has_value(), c.unit != nullptr);
        if (!unit) {
            continue;
        }
        EXPECT_EQ(unit->name().toStdString(), c.unit);
        EXPECT_EQ(unit->desktopId().toStdString(), c.desktopId);
        EXPECT_EQ(unit->isApplication(), *c.desktopId != '\0');
        EXPECT_EQ(unit->launcher().toStdString(), c.launcher);
        EXPECT_EQ(unit->kind(), c.kind);
    }
    // systemd's own limit: 255 bytes still make a name.
    const std::string longest = "app-" + std::string(243, 'a') + "-1.scope";
    ASSERT_EQ(longest.size(), 255U);
    const std::optional<SystemdUnit> unit = SystemdUnit::fromName(longest);
    ASSERT_TRUE(unit.has_value());
    EXPECT_EQ(unit->desktopId(), QString(243, QLatin1Char('a')));
    EXPECT_FALSE(SystemdUnit::fromName("app-a" + longest.substr(4)).has_value());
}

}  // namespace
}  // namespace klosia
