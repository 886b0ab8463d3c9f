#include "platform/wayland/SwayTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/wayland/SwayIpc.h"

namespace klosia {
namespace {

void collect(const QJsonObject& node, std::vector<SwayTree::View>& out, bool floating) {
    const QJsonValue pid = node.value(QStringLiteral("pid"));
    if (pid.isDouble() && pid.toInteger() > 0) {
        SwayTree::View view;
        view.pid = static_cast<pid_t>(pid.toInteger());
        view.title = node.value(QStringLiteral("name")).toString();
        view.focused = node.value(QStringLiteral("focused")).toBool();
        view.xwayland = node.value(QStringLiteral("shell")).toString() == QLatin1String("xwayland");
        view.appId = view.xwayland ? node.value(QStringLiteral("window_properties"))
                                         .toObject()
                                         .value(QStringLiteral("class"))
                                         .toString()
                                   : node.value(QStringLiteral("app_id")).toString();
        view.id = node.value(QStringLiteral("id")).toInteger();
        const QJsonObject window = node.value(QStringLiteral("window_rect")).toObject();
        view.size = QSize(window.value(QStringLiteral("width")).toInt(),
                          window.value(QStringLiteral("height")).toInt());
        const QJsonObject frame = node.value(QStringLiteral("rect")).toObject();
        view.frame = QRect(frame.value(QStringLiteral("x")).toInt(),
                           frame.value(QStringLiteral("y")).toInt(),
                           frame.value(QStringLiteral("width")).toInt(),
                           frame.value(QStringLiteral("height")).toInt());
        view.floating = floating;
        out.push_back(view);
    }
    for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray()) {
        collect(child.toObject(), out, floating);
    }
    for (const QJsonValue child : node.value(QStringLiteral("floating_nodes")).toArray()) {
        collect(child.toObject(), out, true);
    }
}

}  // namespace

std::vector<SwayTree::View> SwayTree::parse(const QByteArray& json) {
    std::vector<View> views;
    collect(QJsonDocument::fromJson(json).object(), views, false);
    return views;
}

std::optional<std::vector<SwayTree::View>> SwayTree::read(const QString& path, QString* error) {
    const std::optional<QByteArray> json = SwayIpc::request(path, SwayIpc::kGetTree, {}, error);
    if (!json) {
        return std::nullopt;
    }
    return parse(*json);
}

}  // namespace klosia
