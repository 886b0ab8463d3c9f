#pragma once

#include <map>
#include <memory>

#include "platform/x11/ApplicationKey.h"
#include "platform/x11/IdentityFinder.h"
#include "platform/x11/WindowIcons.h"
#include "platform/x11/WorkspaceScan.h"

namespace klosia {

class XcbConnection;

// The full look at the desktop: every window of the client list with its properties, the tray,
// /proc, the identities and the windowless helpers. It does all the reading, from the X server
// and /proc, and touches no handle of the workspace, so it may run on a thread of its own. It
// remembers what it found per application between scans, so an identity is looked for only
// when something it depends on changed, and a window icon is read once. Used by one thread at a
// time.
class WorkspaceScanner {
public:
    // `withIcons`: read each application's window icon (off the GUI thread, for icon()).
    WorkspaceScanner(std::shared_ptr<XcbConnection> connection, bool withIcons);
    ~WorkspaceScanner();
    WorkspaceScanner(const WorkspaceScanner&) = delete;
    WorkspaceScanner& operator=(const WorkspaceScanner&) = delete;

    WorkspaceScan scan();

private:
    struct Known {
        FoundIdentity identity;
        std::uint32_t iconReadFrom = 0;  // the window the icon was read from; 0: not read
        WindowIcon windowIcon;
    };

    void readIcons(WorkspaceScan* result, std::map<ApplicationKey, Known>* known) const;

    std::shared_ptr<XcbConnection> connection_;
    const bool withIcons_;
    IdentityFinder identities_;
    std::map<ApplicationKey, Known> known_;  // the applications of the last scan
};

}  // namespace klosia
