#include "support/session/ClientProcess.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "support/Wait.h"

namespace klosia::test {

Client::Client(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment) {
    process_.setProgram(program);
    process_.setArguments(arguments);
    process_.setProcessEnvironment(environment);
    process_.start();
    if (!process_.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
    }
}

Client::~Client() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool Client::hasExited() {
    return waitUntil([this] { return process_.state() == QProcess::NotRunning; });
}

std::optional<QString> Client::line(const QString& prefix) {
    std::optional<QString> found;
    waitUntil([&] {
        stdout_ += QString::fromUtf8(process_.readAllStandardOutput());
        for (const QString& text : stdout_.split(QLatin1Char('\n'))) {
            if (text.startsWith(prefix)) {
                found = text;
            }
        }
        return found.has_value();
    });
    return found;
}

bool Client::stderrContains(const QString& text) {
    return waitUntil([&] {
        stderr_ += QString::fromUtf8(process_.readAllStandardError());
        return stderr_.contains(text);
    });
}

Orphan::Orphan(pid_t running)
    : pid(running), startTime(ProcessInfo::startTime(running).value_or(0)) {}

Orphan::~Orphan() {
    if (isRunning()) {
        ProcessControl::sendSignal(pid, startTime, SIGKILL);
    }
}

bool Orphan::isRunning() const {
    return pid > 0 && ProcessControl::isAlive(pid, startTime);
}

}  // namespace klosia::test
