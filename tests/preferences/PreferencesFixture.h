#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include "core/NotificationBus.h"
#include "fakes/FakeLoginItems.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "settings/LaunchAtLogin.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace klosia::test {

// X keysyms the tests press.
inline constexpr quint32 kKeysymK = 0x6b;
inline constexpr quint32 kKeysymQ = 0x71;
inline constexpr quint32 kKeysymSpace = 0x20;
inline constexpr quint32 kKeysymTab = 0xff09;
inline constexpr quint32 kKeysymReturn = 0xff0d;
inline constexpr quint32 kKeysymEscape = 0xff1b;
inline constexpr quint32 kKeysymF5 = 0xffc2;
inline constexpr quint32 kKeysymControlL = 0xffe3;

// A preferences store of its own on a bus whose deliveries and queued refreshes run only when
// the test calls deliver(), with every log line captured.
class PreferencesFixture : public ::testing::Test {
public:
    PreferencesFixture() : bus(dispatcher), prefs(defaults) {
        NotificationBus::setDefaultCenter(&bus);
        LaunchAtLogin::setBackend(&login);
        Preferences::setShared(&prefs);
        bus.observe(
            &owner, [this](const Notification& n) { posts.push_back(n.name); },
            names::shortcutsDidChanged);
    }
    ~PreferencesFixture() override {
        Preferences::setShared(nullptr);
        LaunchAtLogin::setBackend(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }
    PreferencesFixture(const PreferencesFixture&) = delete;
    PreferencesFixture& operator=(const PreferencesFixture&) = delete;

protected:
    // Runs the posts and the refreshes they queue.
    void deliver() { dispatcher.runUntilIdle(); }

    QByteArray stored(const QString& key) const { return defaults.data(key).value_or("<absent>"); }

    // A key press as the xcb platform reports it: the Qt key, the modifiers and the X keysym.
    static bool press(QWidget* target, Qt::Key key, quint32 keysym,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      const QString& text = QString()) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, 0, keysym, 0, text);
        event.ignore();
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    }

    static void click(QWidget* target) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        const QPointF global = target->mapToGlobal(at);
        QMouseEvent down(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(target, &up);
    }

    LogCapture capture;
    ManualDispatcher dispatcher;
    NotificationBus bus;
    FakeLoginItems login;
    RecordingDefaults defaults;
    Preferences prefs;
    QObject owner;
    QStringList posts;  // "ShortcutsDidChanged" deliveries
};

}  // namespace klosia::test
