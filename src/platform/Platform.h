#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include "platform/Compositor.h"
#include "platform/HotKeyService.h"
#include "platform/LoginItems.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationSettings.h"
#include "platform/ProcessStatus.h"
#include "platform/ReleaseFeed.h"
#include "platform/SoundPlayer.h"
#include "platform/TelemetryClient.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

namespace klosia {

// Everything the program needs from the desktop, in one bundle: start-up builds the Linux one,
// tests build theirs from fakes.
struct Platform {
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LoginItems> loginItems;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<ProcessStatus> processStatus;
    std::unique_ptr<TelemetryClient> telemetry;
    std::unique_ptr<NotificationCenter> notificationCenter;
    std::unique_ptr<NotificationSettings> notificationSettings;
    std::unique_ptr<SoundPlayer> soundPlayer;
    std::unique_ptr<Compositor> compositor;
    // Null where the desktop gives no program global shortcuts; `shortcutsNotice` then says how
    // to bind the program's commands instead.
    std::unique_ptr<HotKeyService> hotKeys;
    QString shortcutsNotice;
    // Where the desktop decides the keys itself: the command that opens its shortcut settings.
    QStringList shortcutsSettings;
    std::unique_ptr<ReleaseFeed> releaseFeed;
};

}  // namespace klosia
