#include "hotkeys/HotKey.h"

#include <utility>

#include "hotkeys/HotKeysController.h"

namespace klosia {

HotKey::HotKey(Passkey /*unused*/, const KeyCombo& keyCombo, Handler keyDown, Handler keyUp,
               HotKeysController* controller)
    : keyDownHandler(std::move(keyDown)),
      keyUpHandler(std::move(keyUp)),
      identifier_(QUuid::createUuid()),
      keyCombo_(keyCombo),
      controller_(controller != nullptr ? controller->handle()
                                        : std::make_shared<HotKeysController*>(nullptr)) {}

HotKey::~HotKey() {
    if (HotKeysController* c = controller()) {
        c->unregisterHotKey(*this);
    }
}

std::shared_ptr<HotKey> HotKey::create(const KeyCombo& keyCombo, Handler keyDown, Handler keyUp,
                                       HotKeysController* controller) {
    auto hotKey = std::make_shared<HotKey>(Passkey{}, keyCombo, std::move(keyDown),
                                           std::move(keyUp), controller);
    if (controller != nullptr) {
        controller->registerHotKey(hotKey);
    }
    return hotKey;
}

std::shared_ptr<HotKey> HotKey::create(Key key, ModifierFlags modifiers, Handler keyDown,
                                       Handler keyUp, HotKeysController* controller) {
    return create(KeyCombo(key, modifiers), std::move(keyDown), std::move(keyUp), controller);
}

std::shared_ptr<HotKey> HotKey::create(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers,
                                       Handler keyDown, Handler keyUp,
                                       HotKeysController* controller) {
    return create(KeyCombo(carbonKeyCode, carbonModifiers), std::move(keyDown), std::move(keyUp),
                  controller);
}

void HotKey::setPaused(bool paused) {
    paused_ = paused;
    HotKeysController* c = controller();
    if (c == nullptr) {
        return;
    }
    // Both calls are no-ops when the state already matches: a hot key is never registered
    // twice, and unregistering an unregistered one finds nothing.
    if (paused) {
        c->unregisterHotKey(*this);
    } else {
        c->registerHotKey(shared_from_this());
    }
}

HotKeysController* HotKey::defaultController() {
    return HotKeysController::shared();
}

HotKeysController* HotKey::controller() const {
    return *controller_;
}

}  // namespace klosia
