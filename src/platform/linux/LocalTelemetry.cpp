#include "platform/linux/LocalTelemetry.h"

#include "log/Vezizur.h"

namespace klosia {

void LocalTelemetry::start(const QString& /*secret*/, unsigned services) {
    // The secret is deliberately not logged: it is the only thing that names the application to
    // a collection service, and this build talks to none.
    logger.log(
        QStringLiteral("telemetry: started locally, nothing is sent (services %1)").arg(services),
        VezizurLevel::info);
}

void LocalTelemetry::setLogLevel(LogLevel /*level*/) {}

void LocalTelemetry::setCountryCode(const QString& /*code*/) {}

void LocalTelemetry::setCrashesEnabled(bool /*enabled*/) {}

}  // namespace klosia
