#pragma once

#include <xcb/xcb.h>

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/HotKeyService.h"
#include "platform/x11/X11KeyGrabs.h"
#include "platform/x11/XcbReply.h"

class QObject;
class QSocketNotifier;
class QTimer;

namespace klosia {

class X11KeyboardMap;
class XcbConnection;

// Global key combinations as passive key grabs on the root window of the X display.
//
// It talks to the server over a connection of its own rather than Qt's: Qt reads its
// connection on a thread of its own and takes keys through XInput2 and XKB, whereas a grab
// needs its error back at the request that made it and the core MappingNotify events; and this
// way it works under any Qt platform. Events come back through the Qt event loop of the thread
// that created it (a socket notifier), so create and use it on the main thread.
//
// A press fires once: further presses of a key until it is released are the keyboard's
// auto-repeat. The keyboard grab that a press starts is given up at once, so that a window the
// handler opens (the menu) can take the keyboard while the user still holds the keys; the
// release is then noticed by reading the server's key state.
class X11HotKeyService final : public HotKeyService {
public:
    explicit X11HotKeyService(std::shared_ptr<XcbConnection> connection);
    ~X11HotKeyService() override;
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    bool registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) override;
    void unregisterHotKey(HotKeyId hotKeyId) override;
    void setSuspended(bool suspended) override;
    void installEventHandler(EventHandler handler) override;
    bool isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                       std::uint32_t nativeModifiers) const override;
    std::uint32_t unshiftedKeysym(std::uint32_t nativeScanCode) const override;

    // Presses the keyboard's auto-repeat produced while a combination was held; they do not
    // fire again. For diagnostics and tests.
    std::uint64_t ignoredRepeats() const { return ignoredRepeats_; }
    // Keyboard mapping changes seen so far (each makes every grab anew).
    std::uint64_t mappingChanges() const { return mappingChanges_; }

private:
    using Grab = X11KeyGrabs::Grab;

    struct Registration {
        HotKeyId hotKeyId;
        HotKeyCombination combination;
        std::vector<Grab> grabs;  // empty while not in force
    };

    std::vector<Grab> grabsFor(HotKeyCombination combination) const;
    // Takes the grabs for one registration. False, with nothing taken and one error logged,
    // when the server refused any.
    bool acquire(const Registration& registration, const std::vector<Grab>& grabs);
    void regrabAll();
    // Takes every registration's grabs anew, after all were dropped.
    void grabRegistrations();

    void readEvents();
    void scheduleRead();
    // Whether the release is the first half of an auto-repeat: the server sends a release and
    // a press of the same key with the same time stamp for every repeat.
    bool isRepeatRelease(const xcb_key_release_event_t& release);
    void handlePress(std::uint8_t keycode, std::uint16_t state);
    void handleRelease(std::uint8_t keycode);
    // Ends the keyboard grab a press started, so that a window the handler opens can take the
    // keyboard; the key's release then goes elsewhere and is noticed by polling.
    void letGoOfKeyboard();
    void pollHeldKeys();

    // The server's bitmap of the keys that are down, one bit per keycode.
    using Keymap = std::array<std::uint8_t, 32>;
    std::optional<Keymap> queryKeymap() const;
    static bool isDown(const Keymap& keymap, std::uint8_t keycode);
    void report(HotKeyId hotKeyId, HotKeyEventKind kind) const;

    std::shared_ptr<XcbConnection> connection_;
    std::unique_ptr<X11KeyboardMap> keyboard_;
    std::vector<Registration> registrations_;  // in registration order
    std::unique_ptr<X11KeyGrabs> grabs_;
    EventHandler handler_;

    // Keys whose press fired, until their release: the identifiers the press went to. Further
    // presses of a held key are auto-repeat.
    std::map<std::uint8_t, std::vector<HotKeyId>> held_;
    std::deque<XcbReply<xcb_generic_event_t>> pending_;  // events read, not yet handled
    bool handling_ = false;
    bool brokenReported_ = false;
    bool suspended_ = false;
    std::uint64_t ignoredRepeats_ = 0;
    std::uint64_t mappingChanges_ = 0;

    std::unique_ptr<QObject> context_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* readTimer_ = nullptr;
    QTimer* heldTimer_ = nullptr;  // runs while a key is held
};

// A service on the display that DISPLAY names; nullptr and a message in *error when no X
// display can be opened.
std::unique_ptr<HotKeyService> createX11HotKeyService(QString* error);

}  // namespace klosia
