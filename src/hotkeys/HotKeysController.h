#pragma once

#include <QUuid>

#include <cstdint>
#include <map>
#include <memory>

#include "platform/HotKeyService.h"

class QKeyEvent;

namespace klosia {

class HotKey;
class KeyCombo;

// The program's table of registered hot keys: hands out platform identifiers, registers and
// unregisters combinations with the hot-key service, and sends each event the service reports
// to the right handler. Use it from the main thread only.
class HotKeysController {
public:
    // "SSHk", first character in the highest byte: marks the program's hot keys in every
    // platform identifier.
    static constexpr std::uint32_t signature = (std::uint32_t{'S'} << 24) |
                                               (std::uint32_t{'S'} << 16) |
                                               (std::uint32_t{'H'} << 8) | std::uint32_t{'k'};
    static constexpr int noErr = 0;
    // What dispatch answers for an event that is not one of ours to handle.
    static constexpr int eventNotHandledErr = -9874;

    // One registration. The weak reference never keeps a hot key alive.
    struct HotKeyBox {
        QUuid identifier;
        std::weak_ptr<HotKey> hotKey;
        std::uint32_t carbonHotKeyID = 0;
        bool carbonEventHotKey = false;  // the service accepted the registration
    };

    // Without a service (no display) every registration is refused. The service must outlive
    // the controller.
    explicit HotKeysController(HotKeyService* service);
    ~HotKeysController();
    HotKeysController(const HotKeysController&) = delete;
    HotKeysController& operator=(const HotKeysController&) = delete;

    // The program's controller, used by hot keys created without one; none until start-up
    // installs it.
    static HotKeysController* shared();
    static void setShared(HotKeysController* controller);

    // Only HotKey calls these. Registering a hot key that has an entry does nothing; each new
    // registration takes the next identifier (1, 2, 3, ...), never one used before.
    void registerHotKey(const std::shared_ptr<HotKey>& hotKey);
    void unregisterHotKey(const HotKey& hotKey);

    // The event handler installed at the service: runs the hot key's handler and answers
    // noErr, or answers eventNotHandledErr (no event, another signature, an unknown
    // identifier, a hot key that is gone or paused, no handler for the event's kind).
    int dispatch(const HotKeyEvent* event);

    // Whether `event`, received by one of the program's own windows, is the hot key's
    // combination and the hot key is registered in force. Such windows hold the keyboard while
    // they are open, so registered combinations do not fire; they ask this instead.
    bool matches(const HotKey& hotKey, const QKeyEvent& event) const;
    // The same for any combination, registered or not.
    bool matches(const KeyCombo& keyCombo, const QKeyEvent& event) const;

    // Whether the service accepted the hot key's current registration.
    bool isRegistered(const HotKey& hotKey) const;

    const std::map<std::uint32_t, HotKeyBox>& hotKeys() const { return hotKeys_; }
    std::uint32_t hotKeysCount() const { return hotKeysCount_; }
    bool isEventHandlerInstalled() const { return eventHandlerInstalled_; }

    // Hot keys hold this instead of the controller itself: it reads null once the controller
    // is gone.
    std::shared_ptr<HotKeysController*> handle() const { return handle_; }

private:
    void installEventHandler();
    std::map<std::uint32_t, HotKeyBox>::const_iterator find(const QUuid& identifier) const;

    HotKeyService* service_;
    std::map<std::uint32_t, HotKeyBox> hotKeys_;
    std::uint32_t hotKeysCount_ = 0;
    bool eventHandlerInstalled_ = false;
    std::shared_ptr<HotKeysController*> handle_;
};

}  // namespace klosia
