#include "settings/GlobalShortcut.h"

#include <QTextBoundaryFinder>

#include "settings/JsonValues.h"

namespace klosia {

namespace {

constexpr QLatin1StringView kKeyKey("key");
constexpr QLatin1StringView kModifiersKey("modifiers");
constexpr QLatin1StringView kEnabledKey("enabled");
constexpr QLatin1StringView kDeletedKey("deleted");

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QStringList graphemes(const QString& text) {
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        if (end > start) {
            result.append(text.mid(start, end - start));
        }
        start = end;
    }
    return result;
}

}  // namespace

QString GlobalShortcut::description() const {
    return QStringLiteral("key: ") + (key ? klosia::description(*key) : QString()) +
           QStringLiteral(", modifiers: ") + (modifiers ? modifiers->description() : QString()) +
           QStringLiteral(", enabled: ") + boolText(enabled) + QStringLiteral(", deleted: ") +
           boolText(deleted);
}

QStringList GlobalShortcut::symbols() const {
    if (deleted) {
        return {};
    }
    QString text;
    if (modifiers) {
        text += modifiers->description();
    }
    if (key) {
        text += klosia::description(*key);
    }
    return graphemes(text);
}

QJsonObject GlobalShortcut::toJson() const {
    QJsonObject object;
    if (key) {
        object.insert(kKeyKey, QJsonValue(static_cast<qint64>(carbonKeyCode(*key))));
    }
    if (modifiers) {
        object.insert(kModifiersKey, QJsonValue(static_cast<qint64>(modifiers->carbonFlags())));
    }
    object.insert(kEnabledKey, enabled);
    object.insert(kDeletedKey, deleted);
    return object;
}

std::optional<GlobalShortcut> GlobalShortcut::fromJson(const QJsonValue& json, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<GlobalShortcut> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    if (!json.isObject()) {
        return fail(QStringLiteral("not a JSON object"));
    }
    const QJsonObject object = json.toObject();

    GlobalShortcut shortcut;
    if (const std::optional<std::uint32_t> code = jsonUInt32(object.value(kKeyKey))) {
        shortcut.key = keyFromCarbonKeyCode(*code);
    }
    if (const std::optional<std::uint32_t> mask = jsonUInt32(object.value(kModifiersKey))) {
        shortcut.modifiers = ModifierFlags::fromCarbonFlags(*mask);
    }
    const std::optional<bool> enabled = jsonBool(object.value(kEnabledKey));
    if (!enabled) {
        return fail(QStringLiteral("\"enabled\" is missing or not a Boolean"));
    }
    const std::optional<bool> deleted = jsonBool(object.value(kDeletedKey));
    if (!deleted) {
        return fail(QStringLiteral("\"deleted\" is missing or not a Boolean"));
    }
    shortcut.enabled = *enabled;
    shortcut.deleted = *deleted;
    return shortcut;
}

}  // namespace klosia
