#include "support/DunstHistory.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace klosia::test {

QString DunstHistory::dunstctl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("dunstctl"), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << "dunstctl " << arguments.join(QLatin1Char(' ')).toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

void DunstHistory::closeAll() {
    dunstctl({QStringLiteral("close-all")});
}

// `dunstctl history` prints {"type": "aa{sv}", "data": [[entry...]]}, each field of an entry
// again a {type, data} pair.
std::vector<DunstHistory::Entry> DunstHistory::entries() {
    std::vector<Entry> result;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(dunstctl({QStringLiteral("history")}).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        ADD_FAILURE() << "dunstctl history is not JSON: " << error.errorString().toStdString();
        return result;
    }
    const QJsonArray outer = document.object().value(QStringLiteral("data")).toArray();
    for (const QJsonValue group : outer) {
        for (const QJsonValue entry : group.toArray()) {
            const QJsonObject fields = entry.toObject();
            auto data = [&fields](const char* key) {
                return fields.value(QLatin1String(key)).toObject().value(QStringLiteral("data"));
            };
            result.push_back({data("id").toInt(), data("appname").toString(),
                              data("summary").toString(), data("body").toString(),
                              data("message").toString()});
        }
    }
    return result;
}

}  // namespace klosia::test
