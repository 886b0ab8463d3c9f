#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <cstdint>
#include <optional>

namespace klosia::test {

// A client a session test starts; killed by pid when the test ends, whatever happened.
class Client {
public:
    Client(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool hasExited();
    QProcess& process() { return process_; }
    // The last stdout line starting with `prefix`, once one arrives.
    std::optional<QString> line(const QString& prefix);
    bool stderrContains(const QString& text);

private:
    QProcess process_;
    QString stdout_;
    QString stderr_;
};

// A process a client started itself (not our child); killed by pid and start time at the end.
struct Orphan {
    pid_t pid = 0;
    std::uint64_t startTime = 0;

    Orphan() = default;
    // Names the process that runs as `pid` now.
    explicit Orphan(pid_t running);
    ~Orphan();
    Orphan(const Orphan&) = delete;
    Orphan& operator=(const Orphan&) = delete;
    bool isRunning() const;
};

}  // namespace klosia::test
