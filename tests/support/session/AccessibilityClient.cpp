#include "AccessibilityClient.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariant>

#include <algorithm>

namespace klosia::test {
namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString kConnectionName = QStringLiteral("klosia-test-accessibility");
constexpr int kTimeoutMs = 5000;
// Deeper than any window of ours; a cycle in a broken tree ends here.
constexpr int kMaxDepth = 32;

// AT-SPI's state numbers (AtspiStateType): bit N of the two-word state set.
constexpr int kStateChecked = 4;
constexpr int kStateFocused = 12;
constexpr int kStateShowing = 25;

QDBusConnection connectToSessionBus() {
    const QString address = qEnvironmentVariable("KLOSIA_SESSION_A11Y_BUS");
    if (address.isEmpty()) {
        return QDBusConnection(kConnectionName);  // not connected
    }
    return QDBusConnection::connectToBus(address, kConnectionName);
}

QList<QVariant> callOn(const QDBusConnection& bus, const Accessible& object,
                       const QString& interface, const QString& method,
                       const QList<QVariant>& arguments = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(object.service, object.path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {};
    }
    return reply.arguments();
}

std::vector<Accessible> references(const QVariant& value) {
    std::vector<Accessible> out;
    if (!value.canConvert<QDBusArgument>()) {
        return out;
    }
    const auto argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QString service;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> service >> path;
        argument.endStructure();
        out.push_back({service, path.path()});
    }
    argument.endArray();
    return out;
}

}  // namespace

AccessibilityClient::AccessibilityClient() : bus_(connectToSessionBus()) {
    if (!bus_.isConnected()) {
        return;
    }
    // Programs send events only once a listener has asked the registry for them.
    for (const QString& event : {QStringLiteral("object:state-changed:focused"),
                                 QStringLiteral("focus:"), QStringLiteral("window:")}) {
        callOn(bus_, {kRegistry, QStringLiteral("/org/a11y/atspi/registry")}, kRegistry,
               QStringLiteral("RegisterEvent"), {event, QStringList{}, QString()});
    }
    for (const QString& interface : {QStringLiteral("org.a11y.atspi.Event.Object"),
                                     QStringLiteral("org.a11y.atspi.Event.Focus"),
                                     QStringLiteral("org.a11y.atspi.Event.Window")}) {
        bus_.connect(QString(), QString(), interface, QString(), this,
                     SLOT(noteEvent(QDBusMessage)));
    }
}

void AccessibilityClient::noteEvent(const QDBusMessage& event) {
    eventPaths_[event.service()].insert(event.path());
}

AccessibilityClient::~AccessibilityClient() {
    QDBusConnection::disconnectFromBus(kConnectionName);
}

std::optional<Accessible> AccessibilityClient::application(pid_t pid) const {
    for (const Accessible& app : children({kRegistry, kRootPath})) {
        const auto owner = bus_.interface()->servicePid(app.service);
        if (owner.isValid() && owner.value() == static_cast<uint>(pid)) {
            return app;
        }
    }
    return std::nullopt;
}

std::vector<Accessible> AccessibilityClient::children(const Accessible& object) const {
    const auto reply = callOn(bus_, object, kAccessible, QStringLiteral("GetChildren"));
    return reply.isEmpty() ? std::vector<Accessible>{} : references(reply.first());
}

QString AccessibilityClient::name(const Accessible& object) const {
    const auto reply = callOn(bus_, object, QStringLiteral("org.freedesktop.DBus.Properties"),
                              QStringLiteral("Get"), {kAccessible, QStringLiteral("Name")});
    return reply.isEmpty() ? QString() : reply.first().value<QDBusVariant>().variant().toString();
}

QString AccessibilityClient::description(const Accessible& object) const {
    const auto reply = callOn(bus_, object, QStringLiteral("org.freedesktop.DBus.Properties"),
                              QStringLiteral("Get"), {kAccessible, QStringLiteral("Description")});
    return reply.isEmpty() ? QString() : reply.first().value<QDBusVariant>().variant().toString();
}

QString AccessibilityClient::roleName(const Accessible& object) const {
    const auto reply = callOn(bus_, object, kAccessible, QStringLiteral("GetRoleName"));
    return reply.isEmpty() ? QString() : reply.first().toString();
}

bool AccessibilityClient::hasState(const Accessible& object, int state) const {
    const auto reply = callOn(bus_, object, kAccessible, QStringLiteral("GetState"));
    if (reply.isEmpty()) {
        return false;
    }
    QList<uint> words;
    if (reply.first().canConvert<QDBusArgument>()) {
        reply.first().value<QDBusArgument>() >> words;
    } else {
        for (const QVariant& word : reply.first().toList()) {
            words << word.toUInt();
        }
    }
    const auto index = static_cast<qsizetype>(state / 32);
    return index < words.size() && (words.at(index) & (1U << (state % 32))) != 0;
}

bool AccessibilityClient::isChecked(const Accessible& object) const {
    return hasState(object, kStateChecked);
}
bool AccessibilityClient::isFocused(const Accessible& object) const {
    return hasState(object, kStateFocused);
}

std::optional<Accessible> AccessibilityClient::windowOf(Accessible object) const {
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const auto reply = callOn(bus_, object, QStringLiteral("org.freedesktop.DBus.Properties"),
                                  QStringLiteral("Get"), {kAccessible, QStringLiteral("Parent")});
        if (reply.isEmpty()) {
            return std::nullopt;
        }
        const auto parent = reply.first().value<QDBusVariant>().variant();
        if (!parent.canConvert<QDBusArgument>()) {
            return std::nullopt;
        }
        Accessible up;
        QDBusObjectPath path;
        const auto reference = parent.value<QDBusArgument>();
        reference.beginStructure();
        reference >> up.service >> path;
        reference.endStructure();
        up.path = path.path();
        if (up.path == kRootPath) {
            return object;
        }
        if (up.path.isEmpty() || up.path == QLatin1String("/org/a11y/atspi/null")) {
            return std::nullopt;
        }
        object = up;
    }
    return std::nullopt;
}

std::vector<Accessible> AccessibilityClient::windows(const Accessible& root) const {
    std::vector<Accessible> out = children(root);
    const auto seen = eventPaths_.find(root.service);
    if (seen == eventPaths_.end()) {
        return out;
    }
    for (const QString& path : seen->second) {
        const auto window = windowOf({root.service, path});
        if (window && std::none_of(out.begin(), out.end(), [&](const Accessible& known) {
                return known.path == window->path;
            })) {
            out.push_back(*window);
        }
    }
    return out;
}

template <typename Visit>
bool AccessibilityClient::walkShowing(const Accessible& root, const Visit& visit, int depth) const {
    if (depth >= kMaxDepth) {
        return false;
    }
    const bool top = depth == 0 && root.path == kRootPath;
    for (const Accessible& child : top ? windows(root) : children(root)) {
        if (!hasState(child, kStateShowing)) {
            continue;
        }
        if (visit(child) || walkShowing(child, visit, depth + 1)) {
            return true;
        }
    }
    return false;
}

std::optional<Accessible> AccessibilityClient::findShowing(const Accessible& root,
                                                           const QString& wanted,
                                                           const QString& role) const {
    std::optional<Accessible> found;
    walkShowing(root, [&](const Accessible& object) {
        if (name(object) == wanted && (role.isEmpty() || roleName(object) == role)) {
            found = object;
        }
        return found.has_value();
    });
    return found;
}

QStringList AccessibilityClient::showingNames(const Accessible& root) const {
    QStringList names;
    walkShowing(root, [&](const Accessible& object) {
        const QString text = name(object);
        if (!text.isEmpty()) {
            names << text;
        }
        return false;
    });
    return names;
}

QRect AccessibilityClient::extents(const Accessible& object) const {
    // Coordinates relative to the screen (ATSPI_COORD_TYPE_SCREEN).
    const auto reply = callOn(bus_, object, QStringLiteral("org.a11y.atspi.Component"),
                              QStringLiteral("GetExtents"), {QVariant::fromValue(uint{0})});
    if (reply.isEmpty() || !reply.first().canConvert<QDBusArgument>()) {
        return {};
    }
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    const auto box = reply.first().value<QDBusArgument>();
    box.beginStructure();
    box >> x >> y >> width >> height;
    box.endStructure();
    return {x, y, width, height};
}

bool AccessibilityClient::doAction(const Accessible& object, const QString& action) const {
    const QString interface = QStringLiteral("org.a11y.atspi.Action");
    const auto actions = callOn(bus_, object, interface, QStringLiteral("GetActions"));
    if (actions.isEmpty() || !actions.first().canConvert<QDBusArgument>()) {
        return false;
    }
    // Each action is (name, description, key binding); DoAction takes its index.
    int index = -1;
    int at = 0;
    const auto list = actions.first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString actionName;
        QString description;
        QString keys;
        list.beginStructure();
        list >> actionName >> description >> keys;
        list.endStructure();
        if (index < 0 && actionName == action) {
            index = at;
        }
        ++at;
    }
    list.endArray();
    if (index < 0) {
        return false;
    }
    const auto reply =
        callOn(bus_, object, interface, QStringLiteral("DoAction"), {QVariant::fromValue(index)});
    return !reply.isEmpty() && reply.first().toBool();
}

}  // namespace klosia::test
