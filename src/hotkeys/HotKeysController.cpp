#include "hotkeys/HotKeysController.h"

#include <QKeyEvent>

#include <atomic>
#include <utility>

#include "hotkeys/HotKey.h"

namespace klosia {

namespace {

std::atomic<HotKeysController*> sharedController{nullptr};

}  // namespace

HotKeysController::HotKeysController(HotKeyService* service)
    : service_(service), handle_(std::make_shared<HotKeysController*>(this)) {}

HotKeysController::~HotKeysController() {
    *handle_ = nullptr;
    if (service_ != nullptr) {
        for (const auto& [id, box] : hotKeys_) {
            if (box.carbonEventHotKey) {
                service_->unregisterHotKey({signature, id});
            }
        }
    }
    HotKeysController* self = this;
    sharedController.compare_exchange_strong(self, nullptr);
}

HotKeysController* HotKeysController::shared() {
    return sharedController.load();
}

void HotKeysController::setShared(HotKeysController* controller) {
    sharedController.store(controller);
}

void HotKeysController::registerHotKey(const std::shared_ptr<HotKey>& hotKey) {
    if (!hotKey || find(hotKey->identifier()) != hotKeys_.end()) {
        return;
    }
    const std::uint32_t id = ++hotKeysCount_;
    HotKeyBox& box = hotKeys_[id];
    box.identifier = hotKey->identifier();
    box.hotKey = hotKey;
    box.carbonHotKeyID = id;
    if (service_ != nullptr &&
        service_->registerHotKey({signature, id}, hotKey->keyCombo().platformCombination())) {
        box.carbonEventHotKey = true;
        installEventHandler();
    }
}

void HotKeysController::unregisterHotKey(const HotKey& hotKey) {
    const auto it = find(hotKey.identifier());
    if (it == hotKeys_.end()) {
        return;
    }
    if (it->second.carbonEventHotKey && service_ != nullptr) {
        service_->unregisterHotKey({signature, it->second.carbonHotKeyID});
    }
    hotKeys_.erase(it);
}

void HotKeysController::installEventHandler() {
    if (hotKeysCount_ == 0 || eventHandlerInstalled_ || service_ == nullptr) {
        return;
    }
    // Through the handle: a service that outlives the controller then answers "not handled".
    service_->installEventHandler([handle = handle_](const HotKeyEvent& event) {
        HotKeysController* controller = *handle;
        return controller != nullptr ? controller->dispatch(&event) : eventNotHandledErr;
    });
    eventHandlerInstalled_ = true;
}

int HotKeysController::dispatch(const HotKeyEvent* event) {
    if (event == nullptr || event->hotKeyId.signature != signature) {
        return eventNotHandledErr;
    }
    const auto it = hotKeys_.find(event->hotKeyId.id);
    if (it == hotKeys_.end()) {
        return eventNotHandledErr;
    }
    const std::shared_ptr<HotKey> hotKey = it->second.hotKey.lock();
    if (!hotKey) {
        hotKeys_.erase(it);
        return eventNotHandledErr;
    }
    HotKey::Handler handler;
    switch (event->kind) {
        case HotKeyEventKind::pressed:
            handler = hotKey->keyDownHandler;
            break;
        case HotKeyEventKind::released:
            handler = hotKey->keyUpHandler;
            break;
    }
    if (hotKey->isPaused() || !handler) {
        return eventNotHandledErr;
    }
    // A copy: the handler may replace itself or release the hot key while it runs.
    handler();
    return noErr;
}

bool HotKeysController::matches(const HotKey& hotKey, const QKeyEvent& event) const {
    return !hotKey.isPaused() && isRegistered(hotKey) && matches(hotKey.keyCombo(), event);
}

bool HotKeysController::matches(const KeyCombo& keyCombo, const QKeyEvent& event) const {
    return service_ != nullptr &&
           service_->isCombination(keyCombo.platformCombination(), event.nativeScanCode(),
                                   event.nativeModifiers());
}

bool HotKeysController::isRegistered(const HotKey& hotKey) const {
    const auto it = find(hotKey.identifier());
    return it != hotKeys_.end() && it->second.carbonEventHotKey;
}

std::map<std::uint32_t, HotKeysController::HotKeyBox>::const_iterator HotKeysController::find(
    const QUuid& identifier) const {
    for (auto it = hotKeys_.begin(); it != hotKeys_.end(); ++it) {
        if (it->second.identifier == identifier) {
            return it;
        }
    }
    return hotKeys_.end();
}

}  // namespace klosia
