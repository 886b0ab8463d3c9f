#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <sys/types.h>

#include "platform/linux/ProcessInfo.h"
#include "support/Wait.h"

namespace klosia::test {

inline const QString kQtFixture = QStringLiteral(KLOSIA_QT_FIXTURE_PATH);
inline const QString kGtkFixture = QStringLiteral(KLOSIA_GTK_FIXTURE_PATH);

// A desktop entry in the session's own data directory, as a package installs one.
inline bool installDesktopEntry(const QString& id, const QString& name, const QString& program,
                                const QString& extra = {}) {
    const QString directory =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(directory);
    QFile file(directory + QLatin1Char('/') + id + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n%3")
                   .arg(name, program, extra)
                   .toUtf8());
    return file.flush();
}

// What the package installs for Klosia, here for a program of the tests: KWin shows its window
// list only to a program that an installed desktop file grants it to. Other compositors ignore it.
inline bool grantWindowList(
    const QString& name, const QString& program,
    const QString& interfaces = QStringLiteral("org_kde_plasma_window_management")) {
    return installDesktopEntry(
        name, name, program,
        QStringLiteral("NoDisplay=true\nX-KDE-Wayland-Interfaces=%1\n").arg(interfaces));
}

// A client program of the Wayland session, Qt's and GTK's on the Wayland platform or, told so,
// on X11 through Xwayland; killed on destruction if still running.
class Client {
public:
    Client(const QString& program, const QStringList& arguments, bool wayland = true) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           wayland ? QStringLiteral("wayland") : QStringLiteral("xcb"));
        environment.insert(QStringLiteral("GDK_BACKEND"),
                           wayland ? QStringLiteral("wayland") : QStringLiteral("x11"));
        process_.setProcessEnvironment(environment);
        process_.start(program, arguments);
        process_.waitForStarted();
        pid_ = static_cast<pid_t>(process_.processId());
    }
    ~Client() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    pid_t pid() const { return pid_; }
    // Read from /proc rather than from QProcess, which on a loaded machine was seen to learn of
    // a child's exit only seconds later. An exited child not yet reaped has ended too.
    bool running() const {
        const auto stat = ProcessInfo::stat(pid_);
        return pid_ > 0 && stat && !stat->hasEnded();
    }
    bool waitEnded() {
        return test::waitUntil([&] { return !running(); }, std::chrono::seconds(10));
    }
    QProcess& process() { return process_; }
    // What the Qt fixture printed so far ("exposed", "refused a close", ...).
    const QByteArray& output() {
        output_ += process_.readAllStandardOutput();
        return output_;
    }
    bool waitExposed() {
        return test::waitUntil([&] { return output().contains("exposed"); });
    }

private:
    QProcess process_;
    pid_t pid_ = 0;
    QByteArray output_;
};

}  // namespace klosia::test
