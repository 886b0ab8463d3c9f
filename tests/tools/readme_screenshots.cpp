// Makes the README's picture of the open menu: run inside the virtual desktop by
// scripts/make-screenshots.sh, never by the tests.
//
//   readme_screenshots OUTPUT_DIR
//
// Starts a few real clients (xterm, xclock, xlogo and two fixture windows with names and
// icons), gives Klosia a settings file in the session's own configuration directory with one
// application set to "Never Quit", starts Klosia, opens its menu from the tray icon, rests the
// pointer on one row's quit button, and saves the menu with the tray icon above it as
// OUTPUT_DIR/menu-open.png.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/AppInfo.h"
#include "model/AppPolicies.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

using klosia::test::BackgroundProgram;
using klosia::test::DesktopDriver;
using klosia::test::waitUntil;

namespace {

int fail(const char* message) {
    std::fprintf(stderr, "readme_screenshots: %s\n", message);
    return 1;
}

// One application set to "Never Quit", so the picture shows a dimmed row, and this version's
// first start counted as done, so the settings alert stays out of the picture.
bool writeSettings() {
    klosia::FileUserDefaults defaults(klosia::FileUserDefaults::defaultPath());
    klosia::AppPolicies policies;
    policies.insert(QStringLiteral("XClock"), klosia::MenuAppPolicy::never);
    klosia::saveAppPolicies(policies, defaults);
    defaults.set(
        QStringLiteral("kUserdefaultsFirstRunCount_") + QLatin1String(klosia::appinfo::kVersion),
        std::int64_t{1});
    return defaults.synchronize();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !qEnvironmentVariableIsSet("KLOSIA_SESSION_DIR")) {
        return fail("usage: run-session.sh -- readme_screenshots OUTPUT_DIR");
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[1]);
    DesktopDriver desktop;
    if (!desktop.isConnected() || !writeSettings()) {
        return fail("no X display, or the session's settings cannot be written");
    }

    std::vector<std::unique_ptr<BackgroundProgram>> clients;
    const auto launch = [&](const QString& program, const QStringList& arguments) {
        clients.push_back(std::make_unique<BackgroundProgram>(program, arguments));
        BackgroundProgram& client = *clients.back();
        return waitUntil([&] { return !desktop.windowsOf(client.pid()).empty(); });
    };
    const QString fixture = QStringLiteral(KLOSIA_FIXTURE_PATH);
    if (!launch(QStringLiteral("xterm"), {}) || !launch(QStringLiteral("xclock"), {}) ||
        !launch(QStringLiteral("xlogo"), {}) ||
        !launch(fixture,
                {QStringLiteral("--class"), QStringLiteral("notes,Notes"),
                 QStringLiteral("--title"), QStringLiteral("Notes"), QStringLiteral("--icon")}) ||
        !launch(fixture,
                {QStringLiteral("--class"), QStringLiteral("mail,Mail"), QStringLiteral("--title"),
                 QStringLiteral("Mail"), QStringLiteral("--icon")})) {
        return fail("a client did not start");
    }

    BackgroundProgram klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});
    QRect icon;
    if (!waitUntil([&] { return !(icon = desktop.trayIconOf(klosia.pid())).isEmpty(); },
                   std::chrono::seconds(20))) {
        return fail("Klosia's icon did not appear in the tray");
    }
    DesktopDriver::click(icon.center());
    QRect menu;
    if (!waitUntil([&] {
            const auto popups = desktop.popupsOf(klosia.pid());
            return !popups.empty() && !(menu = popups.front().geometry).isEmpty();
        })) {
        return fail("the menu did not open");
    }
    // The pointer on the second row's quit button: its hover look and the row's more button.
    const QPoint quitButton(menu.right() - 12 - 12, menu.top() + 50 + 27 + 13);
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QString::number(quitButton.x()),
                       QString::number(quitButton.y())});
    // The fade, a first load sample and the hover take a moment; then the picture holds still.
    waitUntil([] { return false; }, std::chrono::milliseconds(1500));

    const QRect area =
        menu.united(icon).adjusted(-12, -6, 12, 12).intersected(desktop.screenGeometry());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    QDir().mkpath(output);
    const QString path = output + QStringLiteral("/menu-open.png");
    if (!shot.save(path, "PNG", 9)) {
        return fail("cannot save the picture");
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), shot.width(), shot.height());
    return 0;
}
