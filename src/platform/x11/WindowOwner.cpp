#include "platform/x11/WindowOwner.h"

#include "platform/x11/WindowRecord.h"

namespace klosia {

bool isThisHost(const QString& machine, const QString& hostName) {
    const QString name = machine.trimmed();
    return !name.isEmpty() && (name.compare(hostName, Qt::CaseInsensitive) == 0 ||
                               name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
}

WindowOwner decideOwner(const WindowRecord& window, const QString& hostName, bool serverKnowsPids) {
    const WindowOwner client{0, window.client};
    const bool named = !window.clientMachine.trimmed().isEmpty();
    const bool local = isThisHost(window.clientMachine, hostName);
    if (named && !local) {
        return client;
    }
    if (serverKnowsPids) {
        if (window.resourcePid <= 0) {
            return client;
        }
        if (window.netWmPid > 0 && window.netWmPid != window.resourcePid) {
            return client;
        }
        return {window.resourcePid, 0};
    }
    if (local && window.netWmPid > 0) {
        return {window.netWmPid, 0};
    }
    return client;
}

}  // namespace klosia
