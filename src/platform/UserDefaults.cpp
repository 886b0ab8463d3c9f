#include "platform/UserDefaults.h"

namespace klosia {

namespace {

template <typename T>
std::optional<T> held(const std::optional<DefaultsValue>& value) {
    if (!value) {
        return std::nullopt;
    }
    if (const T* typed = std::get_if<T>(&*value)) {
        return *typed;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QByteArray> UserDefaults::data(const QString& key) const {
    return held<QByteArray>(object(key));
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    return held<QString>(object(key));
}

std::optional<std::int64_t> UserDefaults::integer(const QString& key) const {
    return held<std::int64_t>(object(key));
}

std::optional<bool> UserDefaults::boolean(const QString& key) const {
    return held<bool>(object(key));
}

}  // namespace klosia
