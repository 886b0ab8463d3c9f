#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace klosia {

// One Klosia per user session. The first instance owns a well-known D-Bus name on the session
// bus (or, without a bus, a local socket in the runtime directory); a later start finds it there
// and asks it to open its menu instead of adding a second icon.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.klosia.Klosia")

public:
    enum class Role {
        primary,    // we own the session's instance: serve activation requests
        secondary,  // another instance runs: ask it, then leave
    };

    // `name` is the application id, used as the bus name and in the socket's name. Needs a
    // QCoreApplication. Without `useSessionBus` only the socket is used.
    explicit SingleInstance(QString name, bool useSessionBus = true, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Claims the session's instance. When neither the bus nor the socket can be used at all the
    // answer is primary: running twice is better than not running.
    Role acquire();

    // What a later start asks of the running instance.
    enum class Request { performMenu, openPreferences };

    // From a secondary start: asks the running instance to open its menu, or its preferences
    // window. True when it answered.
    bool activatePrimary(Request request = Request::performMenu);

    // A command from the command line (klosia --quit-all, ...) for the running instance: its
    // name and argument, answered by the handler with an empty string when accepted, else with
    // why not.
    using CommandHandler = std::function<QString(const QString& name, const QString& argument)>;
    void setCommandHandler(CommandHandler handler) { commandHandler_ = std::move(handler); }

    enum class Delivery {
        accepted,
        refused,    // the running instance said why in *message
        noInstance  // none runs, or it did not answer (*message says which)
    };
    // From a start that only carries a command: never claims the instance, so nothing is
    // started when none runs.
    Delivery sendCommand(const QString& name, const QString& argument, QString* message);

    // Where the socket lives when there is no session bus.
    QString socketPath() const;

public Q_SLOTS:
    // Called over D-Bus by a second start.
    Q_SCRIPTABLE void PerformMenu();
    Q_SCRIPTABLE void OpenPreferences();
    // Empty when accepted, else why not.
    Q_SCRIPTABLE QString Command(const QString& name, const QString& argument);

Q_SIGNALS:
    void activationRequested();
    void preferencesRequested();

private:
    bool acquireBusName();
    Role acquireSocket();
    void acceptSocketClient();

    bool busAvailable() const;

    QString name_;
    CommandHandler commandHandler_;
    bool useSessionBus_;
    bool onBus_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace klosia
