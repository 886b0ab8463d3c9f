#pragma once

#include <QHash>
#include <QString>

#include "model/MenuAppPolicy.h"
#include "platform/MemoryUserDefaults.h"

namespace klosia {

// Stored policy per bundle identifier. An application without a member has no stored policy.
using AppPolicies = QHash<QString, MenuAppPolicy>;

// User-defaults key of the map: data holding a JSON object, identifier -> raw value.
inline constexpr QLatin1String kPolicyAppsKey{"kUserdefaultsPolicyApps"};

// Never fails: a missing key, a value that is not data, or text that is not a JSON object gives
// an empty map; a member that is not a known raw value is left out, and the others are read.
AppPolicies loadAppPolicies(const UserDefaults& defaults = standardUserDefaults());

// Stores the whole map and synchronizes the user defaults. Stored members that
// loadAppPolicies() could not read are kept, unless the map holds the same identifier.
void saveAppPolicies(const AppPolicies& policies, UserDefaults& defaults = standardUserDefaults());

}  // namespace klosia
