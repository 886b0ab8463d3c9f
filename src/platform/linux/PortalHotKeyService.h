#pragma once

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>
#include <utility>

#include "platform/HotKeyService.h"

namespace klosia {

// Global shortcuts through the desktop's org.freedesktop.portal.GlobalShortcuts (KDE Plasma
// 5.27): one session, every registered combination bound in it as a proposal. The desktop owns
// the key choice: it may bind other keys, and the user changes them in the desktop's own
// settings. A press arrives as the portal's Activated, a release as Deactivated.
class PortalHotKeyService final : public QObject, public HotKeyService {
    Q_OBJECT

public:
    // Whether the session bus offers the portal with its GlobalShortcuts interface now.
    static bool available();

    explicit PortalHotKeyService(QObject* parent = nullptr);
    ~PortalHotKeyService() override;

    bool registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) override;
    void unregisterHotKey(HotKeyId hotKeyId) override;
    // The desktop takes the keys; nothing of ours to suspend.
    void setSuspended(bool suspended) override { static_cast<void>(suspended); }
    void installEventHandler(EventHandler handler) override { handler_ = std::move(handler); }
    // Our windows never see the desktop's combinations as their own keys.
    bool isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                       std::uint32_t nativeModifiers) const override;
    std::uint32_t unshiftedKeysym(std::uint32_t nativeScanCode) const override;

    // The trigger the portal is asked for, in the shortcuts specification's words
    // ("CTRL+ALT+Escape"); for tests too.
    static QString triggerOf(HotKeyCombination combination);
    // The shortcut's name on the portal: the registration's signature and number.
    static QString shortcutId(HotKeyId hotKeyId);

private Q_SLOTS:
    void sessionCreated(uint response, const QVariantMap& results);
    // Activated and Deactivated: (o session, s shortcut, t timestamp, a{sv} options), read
    // from the message itself.
    void activated(const QDBusMessage& message);
    void deactivated(const QDBusMessage& message);

private:
    void bind();
    void deliver(const QDBusMessage& message, HotKeyEventKind kind);
    // Where the portal will answer a request made with `token`.
    static QString requestPath(const QString& token);

    std::map<QString, std::pair<HotKeyId, HotKeyCombination>> shortcuts_;
    EventHandler handler_;
    QString session_;
    bool bindPending_ = false;
    int requests_ = 0;
};

}  // namespace klosia
