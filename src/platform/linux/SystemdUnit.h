#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace klosia {

// The systemd unit a process runs in, and the application its name stands for when the name
// follows the desktop's rule for launched applications:
//   app[-<launcher>]-<id>[@<random>].service     app[-<launcher>]-<id>-<random>.scope
// where <id> is a desktop id written the way systemd escapes names: every '-' in it as \x2d,
// and any other byte systemd does not keep as \xNN.
//
// Launcher or id: what lies between "app-" and the random part is split at its unescaped
// dashes. One part is the id, without a launcher ("app-org.kde.okular@12ab.service"). Two parts
// are a launcher and the id when the first has no dot: a launcher is a plain word ("gnome",
// "flatpak", "kde", "sway"), an id of the rule is reverse-DNS, and an id without a dot is still
// taken as the second of two ("app-sway-foot@x.service" is foot, launched by sway). Anything
// else names no application: an empty part ("app-gnome--1.scope"), a dotted first of two parts,
// three parts or more (an id whose dashes were not escaped), a scope without its random part, a
// malformed escape, or an id that is no file name. A guess there could put one application's
// name on another's processes, and nothing is lost by listing less.
class SystemdUnit {
public:
    enum class Kind { scope, service };

    // The innermost unit of the unified (v2) hierarchy in the text of /proc/PID/cgroup: the
    // last component of the "0::" line's path that ends in ".scope" or ".service". nullopt
    // without such a line or component; the lines of v1 hierarchies are not looked at, as only
    // the unified one places processes in units the way the rule expects.
    static std::optional<SystemdUnit> fromCgroup(std::string_view content);
    // A unit name as systemd spells it ("app-gnome-org.gnome.Maps-1234.scope"); nullopt when it
    // is no scope or service name (systemd's limit is 255 bytes).
    static std::optional<SystemdUnit> fromName(std::string_view name);

    // The name as systemd spells it, escapes included: what tells units apart.
    const QString& name() const { return name_; }
    Kind kind() const { return kind_; }
    // Empty without a launcher, and for a unit that names no application.
    const QString& launcher() const { return launcher_; }
    // The application's desktop id, unescaped; empty when the unit names no application.
    const QString& desktopId() const { return desktopId_; }
    bool isApplication() const { return !desktopId_.isEmpty(); }

private:
    SystemdUnit() = default;
    void readApplication(std::string_view stem);

    QString name_;
    Kind kind_ = Kind::scope;
    QString launcher_;
    QString desktopId_;
};

}  // namespace klosia
