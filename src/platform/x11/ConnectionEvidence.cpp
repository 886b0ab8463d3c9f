#include "platform/x11/ConnectionEvidence.h"

#include <QStringList>

namespace klosia {

bool isForwardingProgram(const QString& program) {
    static const QStringList forwarders = {
        QStringLiteral("ssh"),
        QStringLiteral("sshd"),
        QStringLiteral("socat"),
        QStringLiteral("xpra"),
        QStringLiteral("waypipe"),
        QStringLiteral("nxproxy"),
        QStringLiteral("nxagent"),
        QStringLiteral("x2goagent"),
        QStringLiteral("x11docker"),
        QStringLiteral("Xwayland"),
        QStringLiteral("xwayland-satellite"),
    };
    return forwarders.contains(program);
}

bool holdsOwnConnection(const ConnectionEvidence& evidence) {
    return evidence.checked && evidence.connections > 0 &&
           evidence.clients <= evidence.connections && !evidence.servesDisplays &&
           evidence.programs <= 1 && !isForwardingProgram(evidence.program);
}

}  // namespace klosia
