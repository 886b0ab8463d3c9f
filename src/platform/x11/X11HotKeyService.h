#pragma once

#include <xcb/xcb.h>

#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/HotKeyService.h"
#include "platform/x11/XcbReply.h"

class QObject;
class QSocketNotifier;
class QTimer;

namespace klosia {

class X11KeyboardMap;
class XcbConnection;

// Global key combinations as passive key grabs on the root window of the X display.
//
// It talks to the server over a connection of its own rather than Qt's: its key events and
// mapping changes are not mixed into Qt's XInput2/XKB stream (Qt's connection turns on
// detectable auto-repeat and gets XKB map events, not core MappingNotify), a refused grab
// comes back to the request that made it instead of Qt's error log, and it works under any Qt
// platform. Events come back through the Qt event loop of the thread that created it (a socket
// notifier), so create and use it on the main thread.
class X11HotKeyService final : public HotKeyService {
public:
    explicit X11HotKeyService(std::shared_ptr<XcbConnection> connection);
    ~X11HotKeyService() override;
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    bool registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) override;
    void unregisterHotKey(HotKeyId hotKeyId) override;
    void installEventHandler(EventHandler handler) override;
    bool isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                       std::uint32_t nativeModifiers) const override;

    // Presses the keyboard's auto-repeat produced while a combination was held; they do not
    // fire again. For diagnostics and tests.
    std::uint64_t ignoredRepeats() const { return ignoredRepeats_; }
    // Keyboard mapping changes seen so far (each makes every grab anew).
    std::uint64_t mappingChanges() const { return mappingChanges_; }

private:
    // One physical grab: a keycode under one exact modifier mask (lock bits included).
    using Grab = std::pair<std::uint8_t, std::uint16_t>;

    struct Registration {
        HotKeyId hotKeyId;
        HotKeyCombination combination;
        std::vector<Grab> grabs;  // empty while not in force
    };

    std::vector<Grab> grabsFor(HotKeyCombination combination) const;
    // Takes the grabs for one registration; the grabs this program already holds only gain a
    // count. False, with nothing taken and one error logged, when the server refused any.
    bool acquire(const Registration& registration, const std::vector<Grab>& grabs);
    void release(const std::vector<Grab>& grabs);
    void regrabAll();

    void readEvents();
    void scheduleRead();
    // Whether the release is the first half of an auto-repeat: the server sends a release and
    // a press of the same key with the same time stamp for every repeat.
    bool isRepeatRelease(const xcb_key_release_event_t& release);
    void handleKey(bool pressed, std::uint8_t keycode, std::uint16_t state);
    void report(HotKeyId hotKeyId, HotKeyEventKind kind) const;

    std::shared_ptr<XcbConnection> connection_;
    std::unique_ptr<X11KeyboardMap> keyboard_;
    std::vector<Registration> registrations_;  // in registration order
    std::map<Grab, int> grabCounts_;           // how many registrations hold each grab
    EventHandler handler_;

    // Keys whose press fired, until their release: the identifiers the press went to.
    std::map<std::uint8_t, std::vector<HotKeyId>> held_;
    std::deque<XcbReply<xcb_generic_event_t>> pending_;  // events read, not yet handled
    bool handling_ = false;
    bool brokenReported_ = false;
    std::uint64_t ignoredRepeats_ = 0;
    std::uint64_t mappingChanges_ = 0;

    std::unique_ptr<QObject> context_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* readTimer_ = nullptr;
};

// A service on the display that DISPLAY names; nullptr and a message in *error when no X
// display can be opened.
std::unique_ptr<HotKeyService> createX11HotKeyService(QString* error);

}  // namespace klosia
