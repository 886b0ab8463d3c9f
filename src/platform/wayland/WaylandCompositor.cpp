#include "platform/wayland/WaylandCompositor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "log/Vezizur.h"
#include "platform/wayland/GnomeShellWindows.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayTree.h"

namespace klosia {

WaylandCompositor::WaylandCompositor(QString swaySocket, QObject* parent)
    : QObject(parent), swaySocket_(std::move(swaySocket)), timer_(new QTimer(this)) {
    timer_->setInterval(kPlaceIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (placeNow() || --triesLeft_ <= 0) {
            timer_->stop();
        }
    });
}

WaylandCompositor::~WaylandCompositor() = default;

void WaylandCompositor::placeWindow(const QString& title, const QRect& frame) {
    if (swaySocket_.isEmpty() &&
        QDBusConnection::sessionBus()
            .interface()
            ->isServiceRegistered(QLatin1String(GnomeShellWindows::kService))
            .value()) {
        placeWithGnomeShell(title, frame);
        return;
    }
    if (swaySocket_.isEmpty() && QDBusConnection::sessionBus()
                                     .interface()
                                     ->isServiceRegistered(QStringLiteral("org.kde.KWin"))
                                     .value()) {
        placeWithKWin(title, frame);
        return;
    }
    if (swaySocket_.isEmpty()) {
        if (!toldCannotPlace_) {
            toldCannotPlace_ = true;
            logger.log("menu placement: this compositor places windows itself", VezizurLevel::info);
        }
        return;
    }
    title_ = title;
    frame_ = frame;
    triesLeft_ = kPlaceTries;
    // The window shows a moment after Qt commits it; until then sway does not know it.
    if (!placeNow()) {
        timer_->start();
    }
}

void WaylandCompositor::placeWithGnomeShell(const QString& title, const QRect& frame) {
    // The extension moves the window when the Shell shows it, if it does not yet, and keeps it
    // inside the monitor's work area; it moves only windows of the program that asks.
    QDBusMessage place = QDBusMessage::createMethodCall(
        QLatin1String(GnomeShellWindows::kService), QLatin1String(GnomeShellWindows::kPath),
        QLatin1String(GnomeShellWindows::kInterface), QStringLiteral("Place"));
    place << title << frame.x() << frame.y() << frame.width() << frame.height();
    QDBusConnection::sessionBus().callWithCallback(place, this, SLOT(placed(bool)),
                                                   SLOT(notPlaced(QDBusError)));
}

void WaylandCompositor::placed(bool found) {
    if (!found) {
        logger.log("menu placement: GNOME Shell will place the menu once it shows it",
                   VezizurLevel::info);
    }
}

void WaylandCompositor::notPlaced(const QDBusError& error) {
    logger.log("menu placement: GNOME Shell's extension: " + error.message().toStdString(),
               VezizurLevel::error);
}

void WaylandCompositor::placeWithKWin(const QString& title, const QRect& frame) {
    // The script finds our window by pid and title, now or when KWin adds it, and keeps it
    // inside the area windows may cover (panels left out). One script at a time: the one of a
    // previous showing goes first.
    const QString caption =
        QString::fromUtf8(QJsonDocument(QJsonArray{title}).toJson(QJsonDocument::Compact));
    const QString script =
        QStringLiteral(
            "var wanted = %1[0];\n"
            "function place(c) {\n"
            "    if (c.pid != %2 || c.caption != wanted) { return; }\n"
            "    var area = workspace.clientArea(KWin.MaximizeArea, c);\n"
            "    var x = Math.max(area.x, Math.min(%3, area.x + area.width - %5));\n"
            "    var y = Math.max(area.y, Math.min(%4, area.y + area.height - %6));\n"
            "    c.noBorder = true; c.skipTaskbar = true; c.skipPager = true;\n"
            "    c.skipSwitcher = true; c.keepAbove = true;\n"
            "    c.frameGeometry = {x: x, y: y, width: %5, height: %6};\n"
            "}\n"
            "workspace.clientList().forEach(place);\n"
            "workspace.clientAdded.connect(place);\n")
            .arg(caption)
            .arg(::getpid())
            .arg(frame.x())
            .arg(frame.y())
            .arg(frame.width())
            .arg(frame.height());
    if (!scriptFile_) {
        scriptFile_ = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                       QStringLiteral("/klosia-menu-XXXXXX.js"));
    }
    if (!scriptFile_->open() || !scriptFile_->resize(0) ||
        scriptFile_->write(script.toUtf8()) < 0 || !scriptFile_->flush()) {
        logger.log("menu placement: cannot write KWin's script", VezizurLevel::error);
        return;
    }
    const QString plugin = QStringLiteral("klosia-menu-placement");
    const auto call = [](const QString& path, const QString& method, const QVariantList& args) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), path, QStringLiteral("org.kde.kwin.Scripting"), method);
        message.setArguments(args);
        return QDBusConnection::sessionBus().call(message, QDBus::Block, 2000);
    };
    call(QStringLiteral("/Scripting"), QStringLiteral("unloadScript"), {plugin});
    const QDBusMessage loaded = call(QStringLiteral("/Scripting"), QStringLiteral("loadScript"),
                                     {scriptFile_->fileName(), plugin});
    if (loaded.type() != QDBusMessage::ReplyMessage) {
        logger.log(
            "menu placement: KWin did not load the script: " + loaded.errorMessage().toStdString(),
            VezizurLevel::error);
        return;
    }
    call(QStringLiteral("/Scripting"), QStringLiteral("start"), {});
}

QRect WaylandCompositor::withinWorkspace(const QRect& frame) const {
    // A workspace's rectangle leaves out the panels' exclusive zones (waybar's, swaybar's): a
    // menu asked for at a point on the panel goes just beside it instead of under it.
    QString error;
    const auto reply = SwayIpc::request(swaySocket_, SwayIpc::kGetWorkspaces, {}, &error);
    if (!reply) {
        return frame;
    }
    for (const QJsonValue workspace : QJsonDocument::fromJson(*reply).array()) {
        const QJsonObject rect = workspace.toObject().value(QStringLiteral("rect")).toObject();
        const QRect area(rect.value(QStringLiteral("x")).toInt(),
                         rect.value(QStringLiteral("y")).toInt(),
                         rect.value(QStringLiteral("width")).toInt(),
                         rect.value(QStringLiteral("height")).toInt());
        if (!workspace.toObject().value(QStringLiteral("visible")).toBool() ||
            !area.adjusted(0, -frame.height(), 0, frame.height()).contains(frame.center())) {
            continue;
        }
        QRect inside = frame;
        inside.moveLeft(std::clamp(frame.left(), area.left(),
                                   std::max(area.left(), area.right() + 1 - frame.width())));
        inside.moveTop(std::clamp(frame.top(), area.top(),
                                  std::max(area.top(), area.bottom() + 1 - frame.height())));
        return inside;
    }
    return frame;
}

bool WaylandCompositor::placeNow() {
    QString error;
    const auto views = SwayTree::read(swaySocket_, &error);
    if (!views) {
        logger.log("menu placement: " + error.toStdString(), VezizurLevel::error);
        triesLeft_ = 0;
        return false;
    }
    // Ours, by its title; the newest when several match.
    const pid_t self = ::getpid();
    const SwayTree::View* ours = nullptr;
    for (const SwayTree::View& view : *views) {
        if (view.pid == self && view.title == title_ && (ours == nullptr || view.id > ours->id)) {
            ours = &view;
        }
    }
    if (ours == nullptr) {
        return false;
    }
    const QRect frame = withinWorkspace(frame_);
    // No focus command: sway gives a new window the focus itself, and one sent with a later
    // placement (the menu resized by a search) would take it back from a window the user has
    // chosen since.
    const QString command = QStringLiteral(
                                "[con_id=%1] floating enable, border none, sticky enable, "
                                "resize set %2 %3, move absolute position %4 %5")
                                .arg(ours->id)
                                .arg(frame.width())
                                .arg(frame.height())
                                .arg(frame.x())
                                .arg(frame.y());
    if (!SwayIpc::runCommand(swaySocket_, command.toUtf8(), &error)) {
        logger.log("menu placement: " + error.toStdString(), VezizurLevel::error);
    }
    return true;
}

}  // namespace klosia
