#pragma once

#include <QString>

namespace klosia {

// The usage-analytics and crash-report client that start-up configures. The program sends no
// events of its own; it only starts the client and tells it the user's country.
class TelemetryClient {
public:
    enum Service : unsigned { analytics = 1U << 0, crashes = 1U << 1 };
    enum class LogLevel { none, error, verbose };

    virtual ~TelemetryClient() = default;

    // `secret` identifies the application to the collection service; `services` is a Service set.
    virtual void start(const QString& secret, unsigned services) = 0;
    virtual void setLogLevel(LogLevel level) = 0;
    // ISO 3166 region code of the user's locale.
    virtual void setCountryCode(const QString& code) = 0;
    virtual void setCrashesEnabled(bool enabled) = 0;
};

}  // namespace klosia
