#include "model/AppPolicies.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "log/Vezizur.h"
#include "platform/UserDefaults.h"

namespace klosia {

namespace {

// The stored JSON object; empty when the key is missing, not data, or not a JSON object.
QJsonObject storedObject(const UserDefaults& defaults) {
    const std::optional<QByteArray> data = defaults.data(kPolicyAppsKey);
    if (!data) {
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(*data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return {};
    }
    return document.object();
}

std::optional<MenuAppPolicy> policyOf(const QJsonValue& member) {
    if (!member.isString()) {
        return std::nullopt;
    }
    return menuAppPolicyFromRawValue(member.toString());
}

}  // namespace

AppPolicies loadAppPolicies(const UserDefaults& defaults) {
    const QJsonObject object = storedObject(defaults);
    AppPolicies policies;
    policies.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        // A member this program cannot read (a newer policy, a slip in a hand edit) costs only
        // that application its policy, never the others theirs.
        if (const std::optional<MenuAppPolicy> policy = policyOf(it.value())) {
            policies.insert(it.key(), *policy);
        }
    }
    return policies;
}

void saveAppPolicies(const AppPolicies& policies, UserDefaults& defaults) {
    // The unreadable members loadAppPolicies() left out are written back as they were, so that
    // a save here does not erase them; a policy set for the same application replaces one.
    QJsonObject object;
    const QJsonObject stored = storedObject(defaults);
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        if (!policyOf(it.value()) && !policies.contains(it.key())) {
            object.insert(it.key(), it.value());
        }
    }
    for (auto it = policies.constBegin(); it != policies.constEnd(); ++it) {
        object.insert(it.key(), rawValue(it.value()));
    }
    defaults.set(kPolicyAppsKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!defaults.synchronize()) {
        logger.log("policy apps: could not write the user defaults", VezizurLevel::error);
    }
}

}  // namespace klosia
