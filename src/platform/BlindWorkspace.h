#pragma once

#include "platform/Workspace.h"

namespace klosia {

// The workspace of a desktop that lets no program see the others' windows (GNOME's Mutter, or
// a compositor without any window list for us): it lists nothing, so nothing can be quit, and
// says why instead of passing an empty or partial list off as the desktop.
class BlindWorkspace : public Workspace {
public:
    explicit BlindWorkspace(QString reason) : reason_(std::move(reason)) {}

    std::vector<RunningApplicationPtr> runningApplications() override { return {}; }
    RunningApplicationPtr frontmostApplication() override { return nullptr; }
    QString unavailableReason() const override { return reason_; }

private:
    QString reason_;
};

}  // namespace klosia
