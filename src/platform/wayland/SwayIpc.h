#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace klosia {

// One request to a running sway over its IPC socket ($SWAYSOCK) and its reply: the i3 IPC
// framing ("i3-ipc", length, type), with a bounded wait at every step.
class SwayIpc {
public:
    static constexpr std::uint32_t kRunCommand = 0;
    static constexpr std::uint32_t kGetWorkspaces = 1;
    static constexpr std::uint32_t kGetTree = 4;

    // The reply's payload, or nothing with `error` set when sway does not answer in time or
    // answers something else.
    static std::optional<QByteArray> request(const QString& path, std::uint32_t type,
                                             const QByteArray& payload, QString* error);
    // Runs sway commands ("[con_id=3] move absolute position 10 20"); false, with `error`, when
    // sway refused one of them or did not answer.
    static bool runCommand(const QString& path, const QByteArray& command, QString* error);
};

}  // namespace klosia
