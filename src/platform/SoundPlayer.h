#pragma once

#include <QString>

namespace klosia {

// Plays short event sounds by name.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    // Starts the named sound once and returns without waiting for its end. May be called from
    // any thread. False, with `error` set, when nothing could be played (no such sound, no
    // audio device).
    virtual bool play(const QString& name, QString& error) = 0;
};

}  // namespace klosia
