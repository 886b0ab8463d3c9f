#include "core/JsonFragment.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace klosia {

std::optional<QJsonValue> parseJsonFragment(const QByteArray& text) {
    // Qt's document parser only takes arrays and objects at the top level, so the value is
    // wrapped in an array; anything that is not exactly one element was not one value.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson("[" + text + "]", &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    if (array.size() != 1) {
        return std::nullopt;
    }
    return array.at(0);
}

QByteArray jsonFragmentText(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

}  // namespace klosia
