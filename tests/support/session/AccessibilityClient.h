#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace klosia::test {

// One object of a program's accessibility tree: the bus name of the program and its path.
struct Accessible {
    QString service;
    QString path;
};

// Reads and drives the controls of the session's programs as a screen reader does: over the
// accessibility bus that run-session.sh --accessibility starts (AT-SPI). Controls are found by
// their accessible names, so a test needs no pixel offsets and no knowledge of the layout.
//
// A program's popup windows (Klosia's menu among them) are not children of its root: a screen
// reader meets them through focus events. The client listens to those as well, from its start,
// and searches the windows they came from beside the root's children; so it must exist before
// the program it reads starts or opens the popup.
class AccessibilityClient : public QObject {
    Q_OBJECT

public:
    AccessibilityClient();
    ~AccessibilityClient() override;
    AccessibilityClient(const AccessibilityClient&) = delete;
    AccessibilityClient& operator=(const AccessibilityClient&) = delete;

    // False outside a session with an accessibility bus.
    bool isConnected() const { return bus_.isConnected(); }

    // The root that process `pid` published with the registry, once it has.
    std::optional<Accessible> application(pid_t pid) const;
    // The first object under `root`, depth first, that is showing on screen, is named `wanted`
    // and has this role when one is given (AT-SPI's role name: "push button", "menu item").
    // Hidden windows and their controls are skipped, as a screen reader skips them.
    std::optional<Accessible> findShowing(const Accessible& root, const QString& wanted,
                                          const QString& role = {}) const;
    // The names of the showing objects under `root` (the nameless left out): what a test that
    // did not find a control says it found instead.
    QStringList showingNames(const Accessible& root) const;

    // What the object says beside its name (a screen reader reads it after the name).
    QString description(const Accessible& object) const;
    bool isChecked(const Accessible& object) const;
    bool isFocused(const Accessible& object) const;
    // Where the object is on screen, in root coordinates; empty when it cannot say.
    QRect extents(const Accessible& object) const;
    // Runs one of the object's named actions ("Press", "Toggle", "SetFocus"); false when it
    // has no such action or the program refused it.
    bool doAction(const Accessible& object, const QString& action) const;

private Q_SLOTS:
    void noteEvent(const QDBusMessage& event);

private:
    // The root's children and the windows that events came from.
    std::vector<Accessible> windows(const Accessible& root) const;
    std::optional<Accessible> windowOf(Accessible object) const;
    std::vector<Accessible> children(const Accessible& object) const;
    QString name(const Accessible& object) const;
    QString roleName(const Accessible& object) const;
    bool hasState(const Accessible& object, int state) const;
    template <typename Visit>
    bool walkShowing(const Accessible& root, const Visit& visit, int depth = 0) const;

    QDBusConnection bus_;
    std::map<QString, std::set<QString>> eventPaths_;  // by the sender's bus name
};

}  // namespace klosia::test
