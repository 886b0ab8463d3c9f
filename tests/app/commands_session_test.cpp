// The commands a later start sends the running program (klosia --toggle-menu, --quit ID, ...),
// in the virtual desktop with real clients: each one's effect and exit status, an identifier
// nothing has, and the same without a Klosia running, when nothing may be started instead. Once
// more without a session bus, over the runtime directory's socket.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>
#include <tuple>

#include "FirstRun.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);
const QString kFixture = QStringLiteral(KLOSIA_FIXTURE_PATH);

QProcessEnvironment withoutBus() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/nonexistent/klosia-test-bus"));
    return environment;
}

std::tuple<int, QString> klosia(
    const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(kKlosia, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("did not finish")};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// The identifier --list gives the process with this pid.
QString identifierOf(pid_t pid) {
    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list"), QStringLiteral("--json")});
    list.waitForFinished(30000);
    for (const QJsonValue app : QJsonDocument::fromJson(list.readAllStandardOutput()).array()) {
        if (app.toObject().value(QStringLiteral("pids")).toArray().contains(qint64{pid})) {
            return app.toObject().value(QStringLiteral("bundleIdentifier")).toString();
        }
    }
    return {};
}

bool running(BackgroundProgram& program) {
    return program.process().state() == QProcess::Running;
}

class CommandsSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(test::skipFirstRunAlert());
    }
    // Starts Klosia and waits for its icon.
    void start(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        program = std::make_unique<BackgroundProgram>(kKlosia, QStringList{}, environment);
        ASSERT_TRUE(waitUntil([&] { return !desktop.trayIconOf(program->pid()).isEmpty(); },
                              std::chrono::seconds(20)))
            << "Klosia's icon never appeared in the tray";
    }
    bool menuShown() const { return !desktop.popupsOf(program->pid()).empty(); }

    DesktopDriver desktop;
    std::unique_ptr<BackgroundProgram> program;
};

TEST_F(CommandsSession, WithoutARunningKlosiaEachFailsAndNothingIsStarted) {
    for (const QStringList& command :
         {QStringList{QStringLiteral("--toggle-menu")}, QStringList{QStringLiteral("--quit-all")},
          QStringList{QStringLiteral("--force-quit"), QStringLiteral("xlogo")}}) {
        const auto [status, message] = klosia(command);
        EXPECT_EQ(status, 1) << command.join(' ').toStdString();
        EXPECT_TRUE(message.contains(QLatin1String("Klosia is not running")))
            << message.toStdString();
    }
    const auto [status, message] = klosia({QStringLiteral("--quit-all")}, withoutBus());
    EXPECT_EQ(status, 1) << "nobody on the socket either";
    QProcess owner;
    owner.start(QStringLiteral("dbus-send"),
                {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                 QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                 QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                 QStringLiteral("string:org.klosia.Klosia")});
    ASSERT_TRUE(owner.waitForFinished(10000));
    EXPECT_TRUE(owner.readAllStandardOutput().contains("boolean false"))
        << "a command started a Klosia";
}

TEST_F(CommandsSession, EachCommandDoesWhatItsShortcutOrRowDoes) {
    BackgroundProgram logo(QStringLiteral("xlogo"), {});
    BackgroundProgram stubborn(
        kFixture, {QStringLiteral("--title"), QStringLiteral("Stubborn"), QStringLiteral("--class"),
                   QStringLiteral("stubborn,Stubborn"), QStringLiteral("--ignore-close")});
    BackgroundProgram other(kFixture, {QStringLiteral("--title"), QStringLiteral("Other"),
                                       QStringLiteral("--class"), QStringLiteral("other,Other")});
    ASSERT_TRUE(waitUntil([&] {
        return !desktop.windowsOf(logo.pid()).empty() &&
               !desktop.windowsOf(stubborn.pid()).empty() &&
               !desktop.windowsOf(other.pid()).empty();
    }));
    start();

    // The menu, open and closed again.
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--toggle-menu")})), 0);
    EXPECT_TRUE(waitUntil([&] { return menuShown(); })) << "--toggle-menu did not open the menu";
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--toggle-menu")})), 0);
    EXPECT_TRUE(waitUntil([&] { return !menuShown(); })) << "nor close it";

    // One application by the identifier --list prints: only it is asked.
    const QString logoId = identifierOf(logo.pid());
    ASSERT_FALSE(logoId.isEmpty()) << "xlogo is not listed";
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--quit"), logoId})), 0);
    EXPECT_TRUE(waitUntil([&] { return !running(logo); })) << "xlogo was not quit";
    EXPECT_TRUE(running(other));

    const auto [unknown, why] = klosia({QStringLiteral("--quit"), QStringLiteral("no.such.app")});
    EXPECT_EQ(unknown, 1);
    EXPECT_TRUE(why.contains(QLatin1String("no application has the identifier 'no.such.app'")))
        << why.toStdString();
    const auto [gone, whyGone] = klosia({QStringLiteral("--quit"), logoId});
    EXPECT_EQ(gone, 1) << "quit already: " << whyGone.toStdString();

    // One that ignores the polite request, then without asking.
    const QString stubbornId = identifierOf(stubborn.pid());
    ASSERT_FALSE(stubbornId.isEmpty());
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--quit"), stubbornId})), 0);
    EXPECT_FALSE(waitUntil([&] { return !running(stubborn); }, std::chrono::seconds(1)));
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--force-quit"), stubbornId})), 0);
    EXPECT_TRUE(waitUntil([&] { return !running(stubborn); })) << "--force-quit did not end it";

    // Every regular application, as the quit shortcut does; Klosia itself stays.
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--quit-all")})), 0);
    EXPECT_TRUE(waitUntil([&] { return !running(other); })) << "--quit-all left one running";
    EXPECT_TRUE(running(*program));
}

TEST_F(CommandsSession, WithoutASessionBusTheyGoOverTheSocket) {
    BackgroundProgram logo(QStringLiteral("xlogo"), {});
    ASSERT_TRUE(waitUntil([&] { return !desktop.windowsOf(logo.pid()).empty(); }));
    start(withoutBus());
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--toggle-menu")}, withoutBus())), 0);
    EXPECT_TRUE(waitUntil([&] { return menuShown(); }));
    const auto [unknown, why] =
        klosia({QStringLiteral("--force-quit"), QStringLiteral("no.such.app")}, withoutBus());
    EXPECT_EQ(unknown, 1);
    EXPECT_TRUE(why.contains(QLatin1String("no application has the identifier")))
        << why.toStdString();
    EXPECT_TRUE(running(logo));
    EXPECT_EQ(std::get<0>(klosia({QStringLiteral("--force-quit-all")}, withoutBus())), 0);
    EXPECT_TRUE(waitUntil([&] { return !running(logo); }));
}

}  // namespace
}  // namespace klosia
