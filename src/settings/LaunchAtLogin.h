#pragma once

namespace klosia {

class LoginItems;

// Start at login, as the preferences see it. The platform's login-item service is handed in
// once at start-up (and by tests).
class LaunchAtLogin {
public:
    LaunchAtLogin() = delete;

    static bool isEnabled();
    static void setEnabled(bool enabled);

    static void setBackend(LoginItems* backend);
};

}  // namespace klosia
