#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

#include "platform/SoundPlayer.h"

struct ca_context;

namespace klosia {

// Plays the program's own sound files through libcanberra (the desktop's sound server, or ALSA
// directly). A name is a file "<name>.wav" in the first of the directories that has it; the
// sound theme is not consulted, so the program sounds the same everywhere.
//
// Without an audio device libcanberra reports an error (and ALSA prints to standard error):
// play() returns false with the reason, nothing else happens.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    explicit CanberraSoundPlayer(QStringList directories);
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    bool play(const QString& name, QString& error) override;

    // The file `name` plays, empty when there is none.
    QString fileFor(const QString& name) const;

private:
    // Opens the context on first use: a start without sounds never touches the audio stack.
    int openContext();

    const QStringList directories_;
    std::mutex mutex_;
    ca_context* context_ = nullptr;
};

}  // namespace klosia
