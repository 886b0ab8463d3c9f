#include "services/Sound.h"

#include <atomic>
#include <utility>

#include "core/Dispatcher.h"
#include "log/Vezizur.h"
#include "platform/SoundPlayer.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

std::atomic<SoundPlayer*> currentPlayer{nullptr};
std::atomic<Dispatcher*> currentDispatcher{nullptr};

std::string callerText(const std::source_location& caller) {
    return Vezizur::functionIdentifier(caller.function_name()) + ", " +
           std::to_string(caller.line());
}

}  // namespace

void Sound::setBackend(SoundPlayer* player, Dispatcher* dispatcher) {
    currentPlayer.store(player);
    currentDispatcher.store(dispatcher);
}

void Sound::quitSingle(std::source_location caller) {
    play(kQuitSingle, "play quit: " + callerText(caller));
}

void Sound::klosia(std::source_location caller) {
    play(kKlosia, "play klosia: " + callerText(caller));
}

void Sound::play(QLatin1String name, std::string logText) {
    Dispatcher* dispatcher = currentDispatcher.load();
    if (dispatcher == nullptr) {
        return;
    }
    dispatcher->background([name, logText = std::move(logText)] {
        // Read here, not at the call: switching sounds off stops those not yet started.
        if (!Preferences::shared().playSounds()) {
            return;
        }
        logger.log(logText, VezizurLevel::info);
        SoundPlayer* player = currentPlayer.load();
        if (player == nullptr) {
            return;
        }
        QString error;
        if (!player->play(name, error)) {
            logger.log(error, VezizurLevel::error);
        }
    });
}

}  // namespace klosia
