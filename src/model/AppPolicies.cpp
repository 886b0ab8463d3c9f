#include "model/AppPolicies.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "log/Vezizur.h"
#include "platform/UserDefaults.h"

namespace klosia {

AppPolicies loadAppPolicies(const UserDefaults& defaults) {
    const std::optional<QByteArray> data = defaults.data(kPolicyAppsKey);
    if (!data) {
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(*data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return {};
    }
    const QJsonObject object = document.object();
    AppPolicies policies;
    policies.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        // Strict like a typed decoder: one unknown member rejects the whole map, which the
        // next policy change then overwrites.
        if (!it.value().isString()) {
            return {};
        }
        const std::optional<MenuAppPolicy> policy =
            menuAppPolicyFromRawValue(it.value().toString());
        if (!policy) {
            return {};
        }
        policies.insert(it.key(), *policy);
    }
    return policies;
}

void saveAppPolicies(const AppPolicies& policies, UserDefaults& defaults) {
    QJsonObject object;
    for (auto it = policies.constBegin(); it != policies.constEnd(); ++it) {
        object.insert(it.key(), rawValue(it.value()));
    }
    defaults.set(kPolicyAppsKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!defaults.synchronize()) {
        logger.log("policy apps: could not write the user defaults", VezizurLevel::error);
    }
}

}  // namespace klosia
