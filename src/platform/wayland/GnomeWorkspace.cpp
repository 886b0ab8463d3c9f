#include "platform/wayland/GnomeWorkspace.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QProcess>

#include "log/Vezizur.h"
#include "platform/wayland/GnomeShellWindows.h"

namespace klosia {

GnomeWorkspace::GnomeWorkspace(Factory withExtension, Factory reduced, std::function<void()> enable)
    : withExtension_(std::move(withExtension)),
      reduced_(std::move(reduced)),
      enable_(std::move(enable)),
      watcher_(std::make_unique<QDBusServiceWatcher>(QLatin1String(GnomeShellWindows::kService),
                                                     QDBusConnection::sessionBus(),
                                                     QDBusServiceWatcher::WatchForOwnerChange)) {
    choose();
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, watcher_.get(),
                     [this](const QString&, const QString&, const QString& owner) {
                         // A new owner while the extension serves us: its list follows it.
                         if (!usesExtension_ || owner.isEmpty()) {
                             choose();
                         }
                     });
}

GnomeWorkspace::~GnomeWorkspace() = default;

void GnomeWorkspace::choose() {
    QString error;
    if (auto extension = withExtension_(&error)) {
        logger.log("workspace: GNOME Shell's extension serves the list", VezizurLevel::info);
        adopt(std::move(extension), true);
        return;
    }
    reason_ = error;
    if (usesExtension_ || !current_) {
        logger.log("workspace: launched applications only: " + error.toStdString(),
                   VezizurLevel::error);
        adopt(reduced_(&error), false);
    }
}

void GnomeWorkspace::adopt(std::unique_ptr<Workspace> next, bool usesExtension) {
    const std::vector<RunningApplicationPtr> left =
        current_ ? current_->knownApplications() : std::vector<RunningApplicationPtr>{};
    const bool announce = current_ != nullptr;
    current_ = std::move(next);
    usesExtension_ = usesExtension && current_ != nullptr;
    if (!current_) {
        return;
    }
    current_->setDidLaunchHandler([this](const RunningApplicationPtr& app) { postDidLaunch(app); });
    current_->setDidTerminateHandler(
        [this](const RunningApplicationPtr& app) { postDidTerminate(app); });
    if (announce) {
        for (const RunningApplicationPtr& app : left) {
            postDidTerminate(app);
        }
        for (const RunningApplicationPtr& app : current_->runningApplications()) {
            postDidLaunch(app);
        }
    }
}

std::vector<RunningApplicationPtr> GnomeWorkspace::runningApplications() {
    return current_ ? current_->runningApplications() : std::vector<RunningApplicationPtr>{};
}

std::vector<RunningApplicationPtr> GnomeWorkspace::knownApplications() {
    return current_ ? current_->knownApplications() : std::vector<RunningApplicationPtr>{};
}

RunningApplicationPtr GnomeWorkspace::frontmostApplication() {
    return current_ ? current_->frontmostApplication() : nullptr;
}

QString GnomeWorkspace::unavailableReason() const {
    if (current_) {
        return current_->unavailableReason();
    }
    return QCoreApplication::translate(
        "klosia::GnomeWorkspace",
        "This desktop does not let Klosia see other applications' windows.");
}

std::vector<ListedWindow> GnomeWorkspace::listedWindows() const {
    return current_ ? current_->listedWindows() : std::vector<ListedWindow>{};
}

bool GnomeWorkspace::knowsActiveApplication() const {
    return usesExtension_ && current_->knowsActiveApplication();
}

WorkspaceBanner GnomeWorkspace::banner() const {
    if (usesExtension_ || !current_) {
        return {};
    }
    return {QCoreApplication::translate(
                "klosia::GnomeWorkspace",
                "Launched applications only. With Klosia's GNOME Shell extension enabled, "
                "Klosia sees windows and can ask them to close."),
            QCoreApplication::translate("klosia::GnomeWorkspace", "Enable"), enable_};
}

QString GnomeWorkspace::description() const {
    return usesExtension_ ? QStringLiteral("wayland (GNOME Shell extension, pids from the Shell)")
                          : QStringLiteral("launched applications (systemd units): ") + reason_;
}

bool GnomeWorkspace::enableExtension() {
    const bool started = QProcess::startDetached(
        QStringLiteral("gnome-extensions"),
        {QStringLiteral("enable"), QLatin1String(GnomeShellWindows::kUuid)});
    if (!started) {
        logger.log("cannot run gnome-extensions to enable Klosia's extension", VezizurLevel::error);
    }
    return started;
}

}  // namespace klosia
