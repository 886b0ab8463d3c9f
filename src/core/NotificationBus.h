#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <mutex>
#include <source_location>
#include <vector>

#include "core/Dispatcher.h"
#include "core/Notification.h"

namespace klosia {

// Named notifications between the program's parts. Every subscription and post is logged with
// the caller's position; every post is delivered later on the main thread, in post order.
class NotificationBus {
public:
    using Handler = std::function<void(const Notification&)>;

    explicit NotificationBus(Dispatcher& dispatcher);

    // `observer` guards the handler: once it is destroyed the handler is skipped. When
    // `object` is given only notifications carrying that very object are delivered.
    void observe(QObject* observer, Handler handler, const QString& name,
                 const NotificationObject* object = nullptr,
                 std::source_location where = std::source_location::current());

    template <typename T>
    void observe(T* observer, void (T::*selector)(const Notification&), const QString& name,
                 const NotificationObject* object = nullptr,
                 std::source_location where = std::source_location::current()) {
        observe(
            observer, [observer, selector](const Notification& n) { (observer->*selector)(n); },
            name, object, where);
    }

    void notify(const QString& name, std::shared_ptr<const NotificationObject> object = nullptr,
                double after = 0, std::source_location where = std::source_location::current());

    Dispatcher& dispatcher() const { return dispatcher_; }

    // The program's default bus; tests point it at their own.
    static NotificationBus& defaultCenter();
    static void setDefaultCenter(NotificationBus* bus);

private:
    struct Observer {
        QPointer<QObject> guard;
        bool guarded;  // false when observed without an owner: always delivered
        Handler handler;
        QString name;
        const NotificationObject* object;
    };

    void deliver(const Notification& notification) const;

    Dispatcher& dispatcher_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
};

// The program's bus operations, on the default bus.
template <typename T>
void observe(T* observer, void (T::*selector)(const Notification&), const QString& name,
             const NotificationObject* object = nullptr,
             std::source_location where = std::source_location::current()) {
    NotificationBus::defaultCenter().observe(observer, selector, name, object, where);
}

inline void notify(const QString& name, std::shared_ptr<const NotificationObject> object = nullptr,
                   double after = 0, std::source_location where = std::source_location::current()) {
    NotificationBus::defaultCenter().notify(name, std::move(object), after, where);
}

}  // namespace klosia
