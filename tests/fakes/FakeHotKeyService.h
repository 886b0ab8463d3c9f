#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/HotKeyService.h"

namespace klosia::test {

// Hot keys in memory. Records every call in order, refuses the combinations the test lists,
// and sends events only when the test says so. Its key events compare the scan code with the
// keysym, so a test can make one with QKeyEvent(..., nativeScanCode = keysym, ...).
class FakeHotKeyService final : public HotKeyService {
public:
    bool registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) override {
        calls.push_back("register " + std::to_string(hotKeyId.id));
        if (std::find(refused.begin(), refused.end(), combination) != refused.end()) {
            return false;
        }
        registered[hotKeyId.id] = combination;
        return true;
    }
    void unregisterHotKey(HotKeyId hotKeyId) override {
        calls.push_back("unregister " + std::to_string(hotKeyId.id));
        registered.erase(hotKeyId.id);
    }
    void setSuspended(bool value) override {
        calls.emplace_back(value ? "suspend" : "resume");
        suspended = value;
    }
    void installEventHandler(EventHandler handler) override {
        ++installations;
        handler_ = std::move(handler);
    }
    bool isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                       std::uint32_t nativeModifiers) const override {
        constexpr std::uint32_t kShortcutModifiers = 0x1 | 0x4 | 0x8 | 0x40;
        return nativeScanCode == combination.keysym &&
               (nativeModifiers & kShortcutModifiers) == combination.modifiers;
    }

    std::uint32_t unshiftedKeysym(std::uint32_t nativeScanCode) const override {
        const auto it = unshifted.find(nativeScanCode);
        return it == unshifted.end() ? 0 : it->second;
    }

    bool hasHandler() const { return static_cast<bool>(handler_); }
    // What the installed handler answers; -1 without one.
    int send(HotKeyEvent event) const { return handler_ ? handler_(event) : -1; }
    int send(std::uint32_t signature, std::uint32_t id, HotKeyEventKind kind) const {
        return send(HotKeyEvent{{signature, id}, kind});
    }
    // The identifier under which the combination is registered now; 0 when it is not.
    std::uint32_t idOf(HotKeyCombination combination) const {
        for (const auto& [id, registeredCombination] : registered) {
            if (registeredCombination == combination) {
                return id;
            }
        }
        return 0;
    }

    std::vector<std::string> calls;  // "register 1", "unregister 1", ...
    std::map<std::uint32_t, HotKeyCombination> registered;
    std::vector<HotKeyCombination> refused;
    int installations = 0;
    bool suspended = false;
    std::map<std::uint32_t, std::uint32_t> unshifted;  // scan code -> keysym

private:
    EventHandler handler_;
};

}  // namespace klosia::test
