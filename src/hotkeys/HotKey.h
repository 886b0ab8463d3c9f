#pragma once

#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>

#include "hotkeys/Key.h"
#include "hotkeys/KeyCombo.h"
#include "hotkeys/ModifierFlags.h"

namespace klosia {

class HotKeysController;

// One global key combination with what to run on its press and release. It is registered from
// creation until it is paused or its last owner lets go of it: whoever holds the shared pointer
// decides how long the shortcut works. The controller only keeps a weak reference.
class HotKey : public std::enable_shared_from_this<HotKey> {
    struct Passkey {};

public:
    using Handler = std::function<void()>;

    // Each creates the hot key and registers it with `controller` at once (refused
    // registrations are silent: the hot key then never fires). Without a controller it stays
    // unregistered.
    static std::shared_ptr<HotKey> create(const KeyCombo& keyCombo, Handler keyDown = {},
                                          Handler keyUp = {},
                                          HotKeysController* controller = defaultController());
    static std::shared_ptr<HotKey> create(Key key, ModifierFlags modifiers, Handler keyDown = {},
                                          Handler keyUp = {},
                                          HotKeysController* controller = defaultController());
    static std::shared_ptr<HotKey> create(std::uint32_t carbonKeyCode,
                                          std::uint32_t carbonModifiers, Handler keyDown = {},
                                          Handler keyUp = {},
                                          HotKeysController* controller = defaultController());

    HotKey(Passkey, const KeyCombo& keyCombo, Handler keyDown, Handler keyUp,
           HotKeysController* controller);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // Fresh for every object: its identity in the controller's table.
    const QUuid& identifier() const { return identifier_; }
    const KeyCombo& keyCombo() const { return keyCombo_; }

    // May be set or replaced at any time; an absent handler leaves the event unhandled.
    Handler keyDownHandler;
    Handler keyUpHandler;

    // While paused the combination is not registered and events are ignored; resuming
    // registers it again under a new platform identifier.
    bool isPaused() const { return paused_; }
    void setPaused(bool paused);

private:
    static HotKeysController* defaultController();

    HotKeysController* controller() const;

    QUuid identifier_;
    KeyCombo keyCombo_;
    bool paused_ = false;
    // Cleared when the controller goes away first, so a late release does not reach it.
    std::shared_ptr<HotKeysController*> controller_;
};

using HotKeyPtr = std::shared_ptr<HotKey>;

}  // namespace klosia
