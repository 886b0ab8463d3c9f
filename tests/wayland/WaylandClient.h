#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <sys/types.h>

#include "platform/linux/ProcessInfo.h"
#include "support/Wait.h"

namespace klosia::test {

inline const QString kQtFixture = QStringLiteral(KLOSIA_QT_FIXTURE_PATH);

// A client program of the Wayland session, on the Wayland platform unless told otherwise;
// killed on destruction if still running.
class Client {
public:
    Client(const QString& program, const QStringList& arguments, bool wayland = true) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (wayland) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        }
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
