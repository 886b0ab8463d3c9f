#pragma once

#include <QString>
#include <QStringList>

#include "platform/SoundPlayer.h"

namespace klosia {

// Plays the program's own sound files through libcanberra (the desktop's sound server, or ALSA
// directly). A name is a file "<name>.wav" in the first of the directories that has it; the
// sound theme is not consulted, so the program sounds the same everywhere.
//
// Without an audio device libcanberra reports an error (and ALSA prints to standard error):
// play() returns false with the reason, nothing else happens.
//
// Every player shares one libcanberra context for the life of the process. Destroying a context
// unloads its output module while ALSA's detached playback thread may still be returning from
// the last sound, which crashes that thread; a context kept to the end of the process is never
// unloaded, and the operating system reclaims it at exit.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    explicit CanberraSoundPlayer(QStringList directories);
    ~CanberraSoundPlayer() override = default;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    bool play(const QString& name, QString& error) override;

    // The file `name` plays, empty when there is none.
    QString fileFor(const QString& name) const;

private:
    const QStringList directories_;
};

}  // namespace klosia
