#pragma once

#include <QObject>

#include <functional>

namespace klosia {

// The receiver of the Shell extension's change signal: QtDBus delivers signals to slots only.
class GnomeShellSignals final : public QObject {
    Q_OBJECT

public:
    explicit GnomeShellSignals(std::function<void()> changed) : changed_(std::move(changed)) {}

public Q_SLOTS:
    void windowsChanged() { changed_(); }

private:
    std::function<void()> changed_;
};

}  // namespace klosia
