#pragma once

#include "platform/TelemetryClient.h"

namespace klosia {

// The telemetry client of the Linux build: it accepts start-up's calls and sends nothing
// anywhere, so no usage data or crash report ever leaves the machine. The calls are logged so a
// diagnostic build shows what start-up asked for.
class LocalTelemetry final : public TelemetryClient {
public:
    void start(const QString& secret, unsigned services) override;
    void setLogLevel(LogLevel level) override;
    void setCountryCode(const QString& code) override;
    void setCrashesEnabled(bool enabled) override;
};

}  // namespace klosia
