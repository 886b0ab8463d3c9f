#pragma once

#include <QDBusConnection>
#include <QString>

#include <sys/types.h>
#include <functional>

namespace klosia {

// The "quit" action an application exports on the session bus the way GApplication does it:
// under its desktop id as well-known name, at the object path made of the id ('.' to '/', '-'
// to '_'), through org.gtk.Actions (to tell it exists) and org.freedesktop.Application (to
// activate it). Asking it is how a program without the window list asks an application to quit:
// the application does what its own Quit menu item does, unsaved work included.
class ApplicationActions {
public:
    // Where the quit action was found: the connection that owns the application's name (the
    // request goes there, not to whoever owns the name later), or why there is none, for the
    // log.
    struct Quit {
        QString owner;
        QString path;
        QString missing;

        bool found() const { return !owner.isEmpty(); }
    };

    // "/org/gnome/Evolution_alarm_notify" for "org.gnome.Evolution-alarm-notify"; empty when the
    // id is no well-known bus name (no dot, a part that starts with a digit, other characters),
    // as GApplication takes no other ids.
    static QString objectPath(const QString& desktopId);

    // Looks for the quit action of `desktopId`. The name's owner must be a process for which
    // `isApplications` answers true: the application's own name owned from elsewhere (a second
    // copy, a stale instance in another unit) is not this application. A few bus calls, each
    // waiting at most `kTimeoutMs` for an application that does not answer.
    static Quit findQuit(const QDBusConnection& bus, const QString& desktopId,
                         const std::function<bool(pid_t)>& isApplications);

    // ActivateAction("quit", [], {}) to the owner `findQuit` found. True when the application
    // took the request: it answered, or it is still busy with it (a quit that asks about unsaved
    // work answers only once the user has), or it left the bus without answering.
    static bool activateQuit(const QDBusConnection& bus, const Quit& quit);

    static constexpr int kTimeoutMs = 500;
    // An application that asks the user before it quits may answer only after its question.
    static constexpr int kActivateTimeoutMs = 3000;
};

}  // namespace klosia
