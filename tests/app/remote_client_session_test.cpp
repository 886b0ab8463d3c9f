// Clients whose X connection comes through a local proxy, as ssh -X forwards a remote program's:
// the X server then names the proxy as the client's process. Such an application is listed
// without pids, never signalled, asked to close its windows, and force-quit by closing its X
// connection while the proxy keeps running.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/X11Workspace.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

const QString kForeignHost = QStringLiteral("klosia-test-remote-host");

bool hasAbstractSocket(const QString& name) {
    QFile table(QStringLiteral("/proc/net/unix"));
    return table.open(QIODevice::ReadOnly) &&
           table.readAll().contains(QByteArray(" @") + name.toUtf8() + '\n');
}

// socat listening as display :N (an abstract socket, gone with the process) and forwarding each
// connection to the session's X server.
class ProxyDisplay {
public:
    ProxyDisplay() {
        const QString session = qEnvironmentVariable("DISPLAY").section(QLatin1Char(':'), 1);
        const QString target = QStringLiteral("/tmp/.X11-unix/X") + session.section('.', 0, 0);
        for (int attempt = 0; attempt < 50 && number_ < 0; ++attempt) {
            const int candidate = 600 + static_cast<int>((::getpid() + attempt * 7) % 300);
            const QString name = QStringLiteral("/tmp/.X11-unix/X%1").arg(candidate);
            if (QFile::exists(name) || hasAbstractSocket(name)) {
                continue;  // another display's
            }
            socat_ = std::make_unique<QProcess>();
            socat_->start(QStringLiteral("socat"),
                          {QStringLiteral("ABSTRACT-LISTEN:%1,fork").arg(name),
                           QStringLiteral("UNIX-CONNECT:") + target});
            if (waitUntil([&] {
                    return hasAbstractSocket(name) || socat_->state() == QProcess::NotRunning;
                }) &&
                socat_->state() == QProcess::Running) {
                number_ = candidate;
            }
        }
        if (number_ < 0) {
            return;
        }
        // The clients of the proxy display present the session's cookie.
        QProcess list;
        list.start(QStringLiteral("xauth"),
                   {QStringLiteral("list"), qEnvironmentVariable("DISPLAY")});
        list.waitForFinished(10000);
        const QString cookie =
            QString::fromUtf8(list.readAllStandardOutput()).section('\n', 0, 0).section(' ', -1);
        QProcess add;
        add.start(QStringLiteral("xauth"),
                  {QStringLiteral("add"), display(), QStringLiteral("."), cookie.trimmed()});
        add.waitForFinished(10000);
        ready_ = !cookie.trimmed().isEmpty() && add.exitCode() == 0;
    }
    ~ProxyDisplay() {
        if (socat_ && socat_->state() != QProcess::NotRunning) {
            socat_->kill();
            socat_->waitForFinished(5000);
        }
    }
    ProxyDisplay(const ProxyDisplay&) = delete;
    ProxyDisplay& operator=(const ProxyDisplay&) = delete;

    bool ready() const { return ready_; }
    QString display() const { return QStringLiteral(":%1").arg(number_); }
    pid_t pid() const { return socat_ ? static_cast<pid_t>(socat_->processId()) : 0; }
    bool running() const { return socat_ && socat_->state() == QProcess::Running; }

    // The proxy's processes: the listener and one child per connection.
    std::vector<qint64> processes() const {
        std::vector<qint64> pids{pid()};
        for (const pid_t other : ProcessInfo::listPids()) {
            const auto stat = ProcessInfo::stat(other);
            if (stat && stat->ppid == pid()) {
                pids.push_back(other);
            }
        }
        return pids;
    }

private:
    std::unique_ptr<QProcess> socat_;
    int number_ = -1;
    bool ready_ = false;
};

// The fixture client on the proxy display.
class ProxiedClient {
public:
    ProxiedClient(const ProxyDisplay& proxy, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), proxy.display());
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(KLOSIA_FIXTURE_PATH), arguments);
        ready_ = process_.waitForStarted(10000) && waitUntil([&] {
                     output_ += process_.readAllStandardOutput();
                     return output_.contains("ready\n") || process_.state() == QProcess::NotRunning;
                 }) &&
                 output_.contains("ready\n");
    }
    ~ProxiedClient() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    ProxiedClient(const ProxiedClient&) = delete;
    ProxiedClient& operator=(const ProxiedClient&) = delete;

    bool ready() const { return ready_; }
    qint64 pid() const { return process_.processId(); }
    QProcess& process() { return process_; }
    bool hasExited() {
        return waitUntil([this] { return process_.state() == QProcess::NotRunning; });
    }

private:
    QProcess process_;
    QByteArray output_;
    bool ready_ = false;
};

QJsonArray listJson() {
    QProcess klosia;
    klosia.start(QStringLiteral(KLOSIA_EXECUTABLE),
                 {QStringLiteral("--list"), QStringLiteral("--json")});
    klosia.waitForFinished(30000);
    EXPECT_EQ(klosia.exitCode(), 0) << klosia.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(klosia.readAllStandardOutput()).array();
}

// Polls the listing until an entry with the identifier shows up.
std::optional<QJsonObject> waitForEntry(const QString& identifier, QJsonArray* whole) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000) {
        *whole = listJson();
        for (const auto& value : *whole) {
            const QJsonObject entry = value.toObject();
            if (entry.value(QStringLiteral("bundleIdentifier")).toString() == identifier) {
                return entry;
            }
        }
        QThread::msleep(100);
    }
    return std::nullopt;
}

RunningApplicationPtr findApp(Workspace& workspace, const QString& identifier) {
    RunningApplicationPtr found;
    waitUntil([&] {
        for (const RunningApplicationPtr& app : workspace.runningApplications()) {
            if (app->bundleIdentifier() == identifier) {
                found = app;
                return true;
            }
        }
        return false;
    });
    return found;
}

TEST(ProxiedClientSessionTest, ListedWithoutPidsAndNeverSignalled) {
    ProxyDisplay proxy;
    ASSERT_TRUE(proxy.ready()) << "cannot start socat as a proxy display";
    // A program on another host, and a local one whose _NET_WM_PID is not the proxy's pid.
    ProxiedClient remote(proxy, {QStringLiteral("--class"), QStringLiteral("remote,RemoteFixture"),
                                 QStringLiteral("--client-machine"), kForeignHost});
    ProxiedClient local(proxy,
                        {QStringLiteral("--class"), QStringLiteral("proxied,ProxiedFixture")});
    // And clients that say nothing of their pid, one naming this host as its machine (xlogo
    // behind a proxy), one naming none: the server names the proxy, which relays them.
    ProxiedClient bare(proxy, {QStringLiteral("--class"), QStringLiteral("bare,BareProxied"),
                               QStringLiteral("--no-pid")});
    ProxiedClient silent(proxy,
                         {QStringLiteral("--class"), QStringLiteral("silent,SilentProxied"),
                          QStringLiteral("--no-pid"), QStringLiteral("--no-client-machine")});
    ASSERT_TRUE(remote.ready());
    ASSERT_TRUE(local.ready());
    ASSERT_TRUE(bare.ready());
    ASSERT_TRUE(silent.ready());

    QJsonArray list;
    const auto remoteEntry = waitForEntry(QStringLiteral("RemoteFixture"), &list);
    ASSERT_TRUE(remoteEntry.has_value()) << "the remote client is not listed";
    const auto localEntry = waitForEntry(QStringLiteral("ProxiedFixture"), &list);
    ASSERT_TRUE(localEntry.has_value()) << "the proxied client is not listed";
    const auto bareEntry = waitForEntry(QStringLiteral("BareProxied"), &list);
    ASSERT_TRUE(bareEntry.has_value()) << "the proxied client without a pid is not listed";
    const auto silentEntry = waitForEntry(QStringLiteral("SilentProxied"), &list);
    ASSERT_TRUE(silentEntry.has_value()) << "the proxied client without a machine is not listed";
    EXPECT_TRUE(remoteEntry->value(QStringLiteral("pids")).toArray().isEmpty());
    EXPECT_TRUE(localEntry->value(QStringLiteral("pids")).toArray().isEmpty());
    EXPECT_TRUE(bareEntry->value(QStringLiteral("pids")).toArray().isEmpty());
    EXPECT_TRUE(silentEntry->value(QStringLiteral("pids")).toArray().isEmpty());
    EXPECT_EQ(remoteEntry->value(QStringLiteral("activationPolicy")).toString(),
              QStringLiteral("regular"));
    // No entry at all stands for the proxy's processes.
    for (const auto& value : list) {
        for (const auto& pid : value.toObject().value(QStringLiteral("pids")).toArray()) {
            for (const qint64 proxyPid : proxy.processes()) {
                EXPECT_NE(pid.toInteger(), proxyPid) << "the proxy is listed";
            }
        }
    }

    QString error;
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    ASSERT_NE(workspace, nullptr) << error.toStdString();
    const RunningApplicationPtr remoteApp = findApp(*workspace, QStringLiteral("RemoteFixture"));
    const RunningApplicationPtr localApp = findApp(*workspace, QStringLiteral("ProxiedFixture"));
    ASSERT_TRUE(remoteApp && localApp);
    EXPECT_EQ(remoteApp->processIdentifier(), 0);
    EXPECT_EQ(localApp->processIdentifier(), 0);
    EXPECT_FALSE(remoteApp->isTerminated());

    test::LogCapture capture;
    // Force quit: the client's connection is closed; the proxy, like ssh, keeps running.
    EXPECT_TRUE(remoteApp->forceTerminate());
    ASSERT_TRUE(remote.hasExited());
    EXPECT_EQ(remote.process().exitCode(), 3) << "the fixture did not lose its connection";
    EXPECT_TRUE(waitUntil([&] { return remoteApp->isTerminated(); }));
    EXPECT_TRUE(proxy.running());
    EXPECT_EQ(capture.matching("disconnected X client").size(), 1U);
    for (const QString& identifier :
         {QStringLiteral("BareProxied"), QStringLiteral("SilentProxied")}) {
        const RunningApplicationPtr app = findApp(*workspace, identifier);
        ASSERT_TRUE(app);
        EXPECT_EQ(app->processIdentifier(), 0);
        EXPECT_TRUE(app->forceTerminate());
    }
    ASSERT_TRUE(bare.hasExited());
    ASSERT_TRUE(silent.hasExited());
    EXPECT_EQ(bare.process().exitCode(), 3) << "the fixture did not lose its connection";
    EXPECT_EQ(silent.process().exitCode(), 3) << "the fixture did not lose its connection";
    EXPECT_TRUE(proxy.running());
    EXPECT_TRUE(capture.matching("sent SIG").empty());

    // Polite quit: its window is asked to close, and the client ends on its own.
    EXPECT_TRUE(localApp->terminate());
    ASSERT_TRUE(local.hasExited());
    EXPECT_EQ(local.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(local.process().exitCode(), 0);
    EXPECT_TRUE(proxy.running());
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(capture.matching("refused").empty());
}

}  // namespace
}  // namespace klosia
