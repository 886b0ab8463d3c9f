#pragma once

#include <QLatin1String>

#include <source_location>
#include <string>

namespace klosia {

class Dispatcher;
class SoundPlayer;

// The program's two sounds. Each call plays its sound once, from the background queue, and
// only when the play-sounds preference is on at that moment. The function and line in the log
// line are the caller's.
class Sound {
public:
    // File names (without ".wav") among the program's sounds.
    static constexpr QLatin1String kQuitSingle{"quit-single"};
    static constexpr QLatin1String kKlosia{"klosia"};

    // A row's own quit button.
    static void quitSingle(std::source_location caller = std::source_location::current());
    // The sample played when sounds are switched on.
    static void klosia(std::source_location caller = std::source_location::current());

    // Where sounds play and which queue starts them; set once at start-up (tests set fakes).
    // Until both are set, and after setBackend(nullptr, nullptr), nothing plays.
    static void setBackend(SoundPlayer* player, Dispatcher* dispatcher);

private:
    static void play(QLatin1String name, std::string logText);
};

}  // namespace klosia
