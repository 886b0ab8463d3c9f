#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "settings/GlobalShortcut.h"
#include "settings/InactiveAppsAfter.h"
#include "settings/InactiveAppsAfterTime.h"

namespace klosia {
namespace {

QJsonObject object(const char* json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

// --- GlobalShortcut ---------------------------------------------------------------------------

TEST(GlobalShortcutRecord, NewRecordDescription) {
    EXPECT_EQ(GlobalShortcut{}.description(),
              QStringLiteral("key: , modifiers: , enabled: false, deleted: false"));
    const GlobalShortcut quit{.key = Key::q,
                              .modifiers = ModifierFlags::control | ModifierFlags::option,
                              .enabled = true};
    EXPECT_EQ(quit.description(),
              QString::fromUtf8("key: Q, modifiers: \u2303\u2325, enabled: true, deleted: false"));
}

TEST(GlobalShortcutRecord, EncodesOnlyPresentFields) {
    const GlobalShortcut bare{.enabled = true};
    const QJsonObject json = bare.toJson();
    EXPECT_EQ(json, object(R"({"enabled": true, "deleted": false})"));
    EXPECT_EQ(GlobalShortcut::fromJson(json), bare);

    const GlobalShortcut quit{.key = Key::q,
                              .modifiers = ModifierFlags::control | ModifierFlags::option,
                              .enabled = true};
    EXPECT_EQ(quit.toJson(),
              object(R"({"key": 12, "modifiers": 6144, "enabled": true, "deleted": false})"));
    EXPECT_EQ(GlobalShortcut::fromJson(quit.toJson()), quit);

    // Empty modifiers are still present and stay so.
    const GlobalShortcut noModifiers{.key = Key::f5, .modifiers = ModifierFlags(), .deleted = true};
    EXPECT_EQ(noModifiers.toJson().value(QStringLiteral("modifiers")).toInt(-1), 0);
    EXPECT_EQ(GlobalShortcut::fromJson(noModifiers.toJson()), noModifiers);
}

TEST(GlobalShortcutRecord, EnabledAndDeletedAreRequiredBooleans) {
    QString error;
    EXPECT_FALSE(GlobalShortcut::fromJson(object(R"({"key": 12, "enabled": true})"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("deleted"))) << error.toStdString();
    EXPECT_FALSE(GlobalShortcut::fromJson(object(R"({"key": 12, "deleted": false})")));
    EXPECT_FALSE(GlobalShortcut::fromJson(object(R"({"enabled": 1, "deleted": false})")));
    EXPECT_FALSE(GlobalShortcut::fromJson(object(R"({"enabled": true, "deleted": "false"})")));
    EXPECT_FALSE(GlobalShortcut::fromJson(object(R"({"enabled": true, "deleted": null})")));
    EXPECT_FALSE(GlobalShortcut::fromJson(QJsonValue(true)));
    EXPECT_FALSE(GlobalShortcut::fromJson(QJsonValue()));
}

TEST(GlobalShortcutRecord, DamagedKeyOrModifiersAreDropped) {
    const auto decode = [](const char* json) {
        const auto shortcut = GlobalShortcut::fromJson(object(json));
        EXPECT_TRUE(shortcut.has_value()) << json;
        return shortcut.value_or(GlobalShortcut{});
    };
    const auto keyString = decode(R"({"key": "12", "modifiers": 6144, "enabled": true,
                                      "deleted": false})");
    EXPECT_FALSE(keyString.key.has_value());
    EXPECT_EQ(keyString.modifiers, ModifierFlags::control | ModifierFlags::option);
    EXPECT_TRUE(keyString.enabled);

    const auto negativeModifiers =
        decode(R"({"key": 12, "modifiers": -1, "enabled": false, "deleted": true})");
    EXPECT_EQ(negativeModifiers.key, Key::q);
    EXPECT_FALSE(negativeModifiers.modifiers.has_value());
    EXPECT_TRUE(negativeModifiers.deleted);

    EXPECT_FALSE(decode(R"({"key": 12.5, "enabled": true, "deleted": false})").key);
    EXPECT_FALSE(decode(R"({"key": 4294967308, "enabled": true, "deleted": false})").key);
    EXPECT_FALSE(decode(R"({"key": true, "enabled": true, "deleted": false})").key);
    EXPECT_FALSE(
        decode(R"({"modifiers": 4294967296, "enabled": true, "deleted": false})").modifiers);
    EXPECT_FALSE(decode(R"({"modifiers": [256], "enabled": true, "deleted": false})").modifiers);
    // A code no key has still loads the record, without a key.
    EXPECT_FALSE(decode(R"({"key": 52, "enabled": true, "deleted": false})").key);
    EXPECT_EQ(decode(R"({"key": 12.0, "enabled": true, "deleted": false})").key, Key::q);
    // Unknown mask bits are ignored.
    EXPECT_EQ(decode(R"({"modifiers": 1024, "enabled": true, "deleted": false})").modifiers,
              ModifierFlags());
}

TEST(GlobalShortcutRecord, SymbolsAreUserPerceivedCharacters) {
    const ModifierFlags controlOption = ModifierFlags::control | ModifierFlags::option;
    const QStringList returnCaps =
        GlobalShortcut{.key = Key::return_, .modifiers = controlOption}.symbols();
    EXPECT_EQ(returnCaps, (QStringList{QString::fromUtf8("\u2303"), QString::fromUtf8("\u2325"),
                                       QString::fromUtf8("\u21A9\uFE0E")}));
    EXPECT_EQ(GlobalShortcut{.key = Key::function}.symbols(),
              (QStringList{QStringLiteral("f"), QStringLiteral("n")}));
    EXPECT_EQ(GlobalShortcut{.key = Key::help}.symbols().size(), 1);
    EXPECT_EQ(GlobalShortcut{.key = Key::volumeUp}.symbols().size(), 1);
    EXPECT_EQ(GlobalShortcut{.modifiers = ModifierFlags::command}.symbols(),
              QStringList{QString::fromUtf8("\u2318")});
    EXPECT_TRUE(GlobalShortcut{}.symbols().isEmpty());
    const GlobalShortcut deleted{.key = Key::q, .modifiers = controlOption, .deleted = true};
    EXPECT_TRUE(deleted.symbols().isEmpty());
}

// --- InactiveAppsAfter ------------------------------------------------------------------------

TEST(InactiveAppsAfterRecord, NewRecordAndRoundTrip) {
    const InactiveAppsAfter rule;
    EXPECT_EQ(rule.description(), QStringLiteral("enabled: false, amount: 1, unit: hour"));
    EXPECT_EQ(rule.toJson(), object(R"({"enabled": false, "amount": 1, "unit": 3600})"));
    EXPECT_EQ(InactiveAppsAfter::fromJson(rule.toJson()), rule);

    const InactiveAppsAfter days{.enabled = true, .amount = -3, .unit = InactiveAppsAfterTime::day};
    EXPECT_EQ(days.description(), QStringLiteral("enabled: true, amount: -3, unit: day"));
    EXPECT_EQ(days.toJson().value(QStringLiteral("unit")).toInteger(), 8640);
    EXPECT_EQ(InactiveAppsAfter::fromJson(days.toJson()), days);

    // 64-bit amounts survive the JSON text exactly, above 2^53 too.
    const InactiveAppsAfter large{.amount = 9007199254740993};
    const QByteArray text = QJsonDocument(large.toJson()).toJson(QJsonDocument::Compact);
    EXPECT_EQ(InactiveAppsAfter::fromJson(QJsonDocument::fromJson(text).object()), large);
}

TEST(InactiveAppsAfterRecord, EveryFieldIsRequiredAndStrict) {
    const char* rejected[] = {
        R"({"enabled": false, "amount": 1})",
        R"({"enabled": false, "unit": 60})",
        R"({"amount": 1, "unit": 60})",
        R"({"enabled": false, "amount": 1, "unit": 86400})",
        R"({"enabled": false, "amount": 1, "unit": 0})",
        R"({"enabled": false, "amount": 1, "unit": "hour"})",
        R"({"enabled": false, "amount": 1.5, "unit": 60})",
        R"({"enabled": false, "amount": "1", "unit": 60})",
        R"({"enabled": false, "amount": 9223372036854775808, "unit": 60})",
        R"({"enabled": 1, "amount": 1, "unit": 60})",
        R"({"enabled": null, "amount": 1, "unit": 60})",
    };
    for (const char* json : rejected) {
        QString error;
        EXPECT_FALSE(InactiveAppsAfter::fromJson(object(json), &error)) << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
    EXPECT_FALSE(InactiveAppsAfter::fromJson(QJsonValue(3600)));

    const auto minutes =
        InactiveAppsAfter::fromJson(object(R"({"enabled": true, "amount": 30, "unit": 60})"));
    ASSERT_TRUE(minutes);
    EXPECT_EQ(*minutes, (InactiveAppsAfter{
                            .enabled = true, .amount = 30, .unit = InactiveAppsAfterTime::minute}));
}

TEST(InactiveAppsAfterTimeUnit, CodesAndNames) {
    EXPECT_EQ(inactiveAppsAfterTimeFromRawValue(60), InactiveAppsAfterTime::minute);
    EXPECT_EQ(inactiveAppsAfterTimeFromRawValue(3600), InactiveAppsAfterTime::hour);
    EXPECT_EQ(inactiveAppsAfterTimeFromRawValue(8640), InactiveAppsAfterTime::day);
    EXPECT_FALSE(inactiveAppsAfterTimeFromRawValue(86400));
    EXPECT_FALSE(inactiveAppsAfterTimeFromRawValue(-60));
    EXPECT_EQ(caseName(InactiveAppsAfterTime::minute), "minute");
    EXPECT_EQ(caseName(InactiveAppsAfterTime::day), "day");
}

}  // namespace
}  // namespace klosia
