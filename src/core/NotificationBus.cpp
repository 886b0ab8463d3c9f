#include "core/NotificationBus.h"

#include <atomic>

#include "core/Decimal.h"
#include "core/QtDispatcher.h"
#include "log/Vezizur.h"

namespace klosia {

namespace {

std::atomic<NotificationBus*> installedCenter{nullptr};

std::string position(const std::source_location& where) {
    return ", fileID: " + Vezizur::fileIdentifier(where.file_name()) +
           ", function: " + Vezizur::functionIdentifier(where.function_name()) +
           ", line: " + std::to_string(where.line());
}

}  // namespace

NotificationBus::NotificationBus(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

void NotificationBus::observe(QObject* observer, Handler handler, const QString& name,
                              const NotificationObject* object, std::source_location where) {
    if (object != nullptr) {
        logger.log("observe: " + name.toStdString() + ", object: " + object->description() +
                       position(where),
                   VezizurLevel::info);
    } else {
        logger.log("observe: " + name.toStdString() + position(where), VezizurLevel::info);
    }
    auto entry = std::make_shared<Observer>(Observer{
        QPointer<QObject>(observer), observer != nullptr, std::move(handler), name, object});
    const std::lock_guard lock(mutex_);
    std::erase_if(observers_, [](const auto& o) { return o->guarded && o->guard.isNull(); });
    observers_.push_back(std::move(entry));
}

void NotificationBus::notify(const QString& name, std::shared_ptr<const NotificationObject> object,
                             double after, std::source_location where) {
    if (object) {
        // The space before the comma is part of this form's established text.
        logger.log("notify: " + name.toStdString() + ", object: " + object->description() +
                       ", after: " + shortestDecimal(after) + " " + position(where),
                   VezizurLevel::info);
    } else {
        logger.log("notify: " + name.toStdString() + ", after: " + shortestDecimal(after) +
                       position(where),
                   VezizurLevel::info);
    }
    dispatcher_.mainAfter(
        Dispatcher::Delay(after),
        [this, notification = Notification{name, std::move(object)}] { deliver(notification); });
}

void NotificationBus::deliver(const Notification& notification) const {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& observer : observers_) {
            if (observer->name == notification.name &&
                (observer->object == nullptr || observer->object == notification.object.get())) {
                targets.push_back(observer);
            }
        }
    }
    for (const auto& observer : targets) {
        // A destroyed observer is skipped; its handler may hold a dangling pointer.
        if (!observer->guarded || !observer->guard.isNull()) {
            observer->handler(notification);
        }
    }
}

NotificationBus& NotificationBus::defaultCenter() {
    if (NotificationBus* bus = installedCenter.load(std::memory_order_acquire)) {
        return *bus;
    }
    static QtDispatcher fallbackDispatcher;
    static NotificationBus fallback(fallbackDispatcher);
    return fallback;
}

void NotificationBus::setDefaultCenter(NotificationBus* bus) {
    installedCenter.store(bus, std::memory_order_release);
}

}  // namespace klosia
