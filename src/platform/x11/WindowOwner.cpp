#include "platform/x11/WindowOwner.h"

#include "platform/x11/WindowRecord.h"

namespace klosia {

bool isThisHost(const QString& machine, const QString& hostName) {
    const QString name = machine.trimmed();
    return !name.isEmpty() && (name.compare(hostName, Qt::CaseInsensitive) == 0 ||
                               name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
}

pid_t candidateOwnerPid(const WindowRecord& window, const QString& hostName, bool serverKnowsPids) {
    const bool named = !window.clientMachine.trimmed().isEmpty();
    const bool local = isThisHost(window.clientMachine, hostName);
    if (named && !local) {
        return 0;
    }
    if (serverKnowsPids) {
        if (window.resourcePid <= 0) {
            return 0;
        }
        if (window.netWmPid > 0 && window.netWmPid != window.resourcePid) {
            return 0;
        }
        return window.resourcePid;
    }
    return local && window.netWmPid > 0 ? window.netWmPid : 0;
}

WindowOwner decideOwner(const WindowRecord& window, const QString& hostName, bool serverKnowsPids,
                        const ConnectionProof& holdsConnection) {
    const pid_t pid = candidateOwnerPid(window, hostName, serverKnowsPids);
    if (pid > 0 && holdsConnection && holdsConnection(pid)) {
        return {pid, 0};
    }
    return {0, window.client};
}

}  // namespace klosia
