#include "platform/x11/X11HotKeyService.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "log/Vezizur.h"
#include "platform/x11/X11KeyGrabs.h"
#include "platform/x11/X11KeyboardMap.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

constexpr std::uint8_t kEventTypeMask = 0x7f;  // the top bit marks events sent by clients
constexpr std::uint16_t kModifierBits = 0xff;  // Shift … Mod5; the rest are pointer buttons
// How often the keyboard is read while a shortcut's key is held: well below the time between
// two presses of a fast double tap.
constexpr std::chrono::milliseconds kHeldPollInterval{20};

std::string describe(HotKeyCombination combination) {
    char text[64] = {};
    std::snprintf(text, sizeof text, "keysym 0x%x with modifiers 0x%x", combination.keysym,
                  static_cast<unsigned>(combination.modifiers));
    return text;
}

}  // namespace

X11HotKeyService::X11HotKeyService(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)),
      keyboard_(std::make_unique<X11KeyboardMap>(connection_->get())),
      grabs_(std::make_unique<X11KeyGrabs>(connection_->get(), connection_->root())),
      context_(std::make_unique<QObject>()) {
    notifier_ =
        new QSocketNotifier(connection_->fileDescriptor(), QSocketNotifier::Read, context_.get());
    QObject::connect(notifier_, &QSocketNotifier::activated, context_.get(),
                     [this] { readEvents(); });
    // Waiting for a reply makes xcb read whatever events came first; they sit in its queue
    // where the socket notifier cannot see them.
    readTimer_ = new QTimer(context_.get());
    readTimer_->setSingleShot(true);
    readTimer_->setInterval(0);
    QObject::connect(readTimer_, &QTimer::timeout, context_.get(), [this] { readEvents(); });
    heldTimer_ = new QTimer(context_.get());
    heldTimer_->setInterval(kHeldPollInterval);
    QObject::connect(heldTimer_, &QTimer::timeout, context_.get(), [this] { pollHeldKeys(); });
}

X11HotKeyService::~X11HotKeyService() {
    // The notifier and timers go before the state they use; the grabs go with grabs_.
    context_.reset();
}

bool X11HotKeyService::registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) {
    unregisterHotKey(hotKeyId);
    if (connection_->isBroken()) {
        logger.log("cannot register the global shortcut " + describe(combination) +
                       ": no connection to the X server",
                   VezizurLevel::error);
        return false;
    }
    const std::vector<Grab> grabs = grabsFor(combination);
    if (grabs.empty()) {
        logger.log("cannot register the global shortcut " + describe(combination) +
                       ": no key of this keyboard produces it",
                   VezizurLevel::error);
        return false;
    }
    Registration registration{hotKeyId, combination, {}};
    if (suspended_) {
        registrations_.push_back(registration);
        logger.log("registered the global shortcut " + describe(combination) + " as " +
                       std::to_string(hotKeyId.id) + ", in force once shortcuts resume",
                   VezizurLevel::info);
        return true;
    }
    const bool acquired = acquire(registration, grabs);
    scheduleRead();
    if (!acquired) {
        return false;
    }
    registration.grabs = grabs;
    registrations_.push_back(registration);
    logger.log("registered the global shortcut " + describe(combination) + " as " +
                   std::to_string(hotKeyId.id),
               VezizurLevel::info);
    return true;
}

void X11HotKeyService::unregisterHotKey(HotKeyId hotKeyId) {
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [&](const Registration& r) { return r.hotKeyId == hotKeyId; });
    if (it == registrations_.end()) {
        return;
    }
    const std::vector<Grab> grabs = std::move(it->grabs);
    registrations_.erase(it);
    grabs_->release(grabs);
    logger.log("unregistered the global shortcut " + std::to_string(hotKeyId.id),
               VezizurLevel::info);
}

void X11HotKeyService::setSuspended(bool suspended) {
    if (suspended == suspended_) {
        return;
    }
    suspended_ = suspended;
    if (connection_->isBroken()) {
        return;
    }
    if (suspended) {
        grabs_->clear();
        for (Registration& registration : registrations_) {
            registration.grabs.clear();
        }
        logger.log("global shortcuts suspended", VezizurLevel::info);
    } else {
        grabRegistrations();
        logger.log("global shortcuts resumed", VezizurLevel::info);
    }
    scheduleRead();
}

void X11HotKeyService::installEventHandler(EventHandler handler) {
    handler_ = std::move(handler);
}

bool X11HotKeyService::isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                                     std::uint32_t nativeModifiers) const {
    const std::vector<xcb_keycode_t> codes = keyboard_->keycodes(combination.keysym);
    if (std::find(codes.begin(), codes.end(), nativeScanCode) == codes.end()) {
        return false;
    }
    const auto locks = static_cast<std::uint16_t>(keyboard_->lockMasks() & ~combination.modifiers);
    return (nativeModifiers & kModifierBits & ~std::uint32_t{locks}) == combination.modifiers;
}

std::uint32_t X11HotKeyService::unshiftedKeysym(std::uint32_t nativeScanCode) const {
    if (nativeScanCode > std::numeric_limits<xcb_keycode_t>::max()) {
        return 0;
    }
    return keyboard_->firstKeysym(static_cast<xcb_keycode_t>(nativeScanCode));
}

std::vector<X11HotKeyService::Grab> X11HotKeyService::grabsFor(
    HotKeyCombination combination) const {
    std::vector<Grab> grabs;
    const std::vector<std::uint16_t> masks = keyboard_->lockVariants(combination.modifiers);
    for (const xcb_keycode_t code : keyboard_->keycodes(combination.keysym)) {
        for (const std::uint16_t mask : masks) {
            grabs.emplace_back(code, mask);
        }
    }
    return grabs;
}

bool X11HotKeyService::acquire(const Registration& registration, const std::vector<Grab>& grabs) {
    const int error = grabs_->acquire(grabs);
    if (error == 0) {
        return true;
    }
    const std::string what = "the global shortcut " + describe(registration.combination) + " (" +
                             std::to_string(registration.hotKeyId.id) + ")";
    if (error == XCB_ACCESS) {
        logger.log(what + " is taken by another program: it stays off", VezizurLevel::error);
    } else {
        logger.log("the X server refused " + what + " (error " + std::to_string(error) + ")",
                   VezizurLevel::error);
    }
    return false;
}

void X11HotKeyService::regrabAll() {
    ++mappingChanges_;
    keyboard_->reload();
    // The keys may sit on other keycodes now, and the lock keys on other modifiers.
    if (!suspended_) {
        grabRegistrations();
    }
    logger.log("keyboard mapping changed: global shortcuts grabbed again", VezizurLevel::info);
}

void X11HotKeyService::grabRegistrations() {
    grabs_->clear();
    // A registration that cannot be served (no key of the mapping, another program holds it)
    // stays registered but off until a later change.
    for (Registration& registration : registrations_) {
        registration.grabs.clear();
        const std::vector<Grab> grabs = grabsFor(registration.combination);
        if (grabs.empty()) {
            logger.log("the global shortcut " + describe(registration.combination) +
                           " has no key in the keyboard mapping",
                       VezizurLevel::error);
        } else if (acquire(registration, grabs)) {
            registration.grabs = grabs;
        }
    }
}

void X11HotKeyService::scheduleRead() {
    if (readTimer_ != nullptr && !readTimer_->isActive()) {
        readTimer_->start();
    }
}

void X11HotKeyService::readEvents() {
    xcb_connection_t* c = connection_->get();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        pending_.emplace_back(event);
    }
    if (connection_->isBroken()) {
        if (!brokenReported_) {
            brokenReported_ = true;
            logger.log("lost the connection to the X server: global shortcuts stop working",
                       VezizurLevel::error);
        }
        notifier_->setEnabled(false);
        heldTimer_->stop();
        held_.clear();
        pending_.clear();
        return;
    }
    // A handler that runs a nested event loop brings us back here: the outer call goes on
    // with what was read once the handler returns.
    if (handling_) {
        return;
    }
    handling_ = true;
    while (!pending_.empty()) {
        const XcbReply<xcb_generic_event_t> event = std::move(pending_.front());
        pending_.pop_front();
        const std::uint8_t type = event->response_type & kEventTypeMask;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
            if (type == XCB_KEY_RELEASE && isRepeatRelease(*key)) {
                pending_.pop_front();  // its press
                ++ignoredRepeats_;
                continue;
            }
            if (type == XCB_KEY_PRESS) {
                handlePress(key->detail, key->state);
            } else {
                handleRelease(key->detail);
            }
        } else if (type == XCB_MAPPING_NOTIFY) {
            const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event.get());
            // One change often comes as several notifications: grab once, after the last.
            const bool moreFollow = !pending_.empty() && (pending_.front()->response_type &
                                                          kEventTypeMask) == XCB_MAPPING_NOTIFY;
            if (mapping->request != XCB_MAPPING_POINTER && !moreFollow) {
                regrabAll();
            }
        }
        // Anything else (errors of ungrabs of keys the server no longer knew) is of no use.
        if (pending_.empty()) {
            while (xcb_generic_event_t* next = xcb_poll_for_event(c)) {
                pending_.emplace_back(next);
            }
        }
    }
    handling_ = false;
}

bool X11HotKeyService::isRepeatRelease(const xcb_key_release_event_t& release) {
    if (pending_.empty()) {
        // The server writes both halves together; xcb may have split them between reads.
        if (xcb_generic_event_t* next = xcb_poll_for_event(connection_->get())) {
            pending_.emplace_back(next);
        }
    }
    if (pending_.empty() || (pending_.front()->response_type & kEventTypeMask) != XCB_KEY_PRESS) {
        return false;
    }
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(pending_.front().get());
    return press->detail == release.detail && press->time == release.time;
}

void X11HotKeyService::handlePress(std::uint8_t keycode, std::uint16_t state) {
    if (held_.find(keycode) != held_.end()) {
        ++ignoredRepeats_;
        return;
    }
    const Grab grab(keycode, static_cast<std::uint16_t>(state & kModifierBits));
    std::vector<HotKeyId> ids;
    for (const Registration& registration : registrations_) {
        if (std::find(registration.grabs.begin(), registration.grabs.end(), grab) !=
            registration.grabs.end()) {
            ids.push_back(registration.hotKeyId);
        }
    }
    if (ids.empty()) {
        return;
    }
    held_[keycode] = ids;
    heldTimer_->start();
    letGoOfKeyboard();
    // Handlers may register and unregister: they run on a copy.
    for (const HotKeyId& id : ids) {
        report(id, HotKeyEventKind::pressed);
    }
}

void X11HotKeyService::handleRelease(std::uint8_t keycode) {
    const auto it = held_.find(keycode);
    if (it == held_.end()) {
        return;
    }
    // The two halves of an auto-repeat can arrive in separate reads; the server makes both in
    // one go, so by the time it answers, a repeated key is down again.
    const std::optional<Keymap> keymap = queryKeymap();
    if (keymap && isDown(*keymap, keycode)) {
        ++ignoredRepeats_;
        return;
    }
    const std::vector<HotKeyId> ids = std::move(it->second);
    held_.erase(it);
    if (held_.empty()) {
        heldTimer_->stop();
    }
    for (const HotKeyId& id : ids) {
        report(id, HotKeyEventKind::released);
    }
}

void X11HotKeyService::letGoOfKeyboard() {
    // The press made the passive grab an active one that lasts until the key is released. A
    // menu opened by the handler could not take the keyboard meanwhile (the user holds the
    // keys for a moment), so it ends here, and the round trip makes sure the server has done
    // so before the handler asks for the keyboard on another connection.
    xcb_connection_t* c = connection_->get();
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    const XcbReply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::optional<X11HotKeyService::Keymap> X11HotKeyService::queryKeymap() const {
    xcb_connection_t* c = connection_->get();
    const XcbReply<xcb_query_keymap_reply_t> reply(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    Keymap keymap{};
    std::copy(std::begin(reply->keys), std::end(reply->keys), keymap.begin());
    return keymap;
}

bool X11HotKeyService::isDown(const Keymap& keymap, std::uint8_t keycode) {
    return (keymap[keycode / 8] & (1U << (keycode % 8))) != 0;
}

void X11HotKeyService::pollHeldKeys() {
    const std::optional<Keymap> keymap = queryKeymap();
    if (!keymap) {
        return;
    }
    std::vector<std::uint8_t> released;
    for (const auto& [keycode, ids] : held_) {
        if (!isDown(*keymap, keycode)) {
            released.push_back(keycode);
        }
    }
    for (const std::uint8_t keycode : released) {
        handleRelease(keycode);
    }
    // Events may have arrived with the reply.
    scheduleRead();
}

void X11HotKeyService::report(HotKeyId hotKeyId, HotKeyEventKind kind) const {
    if (handler_) {
        handler_(HotKeyEvent{hotKeyId, kind});
    }
}

std::unique_ptr<HotKeyService> createX11HotKeyService(QString* error) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11HotKeyService>(std::move(connection));
}

}  // namespace klosia
