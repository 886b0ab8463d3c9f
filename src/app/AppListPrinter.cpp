#include "app/AppListPrinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace klosia {

namespace {

// An entry takes its kind from the process that made it; grouped helpers join it.
ActivationPolicy entryPolicy(const MenuApp& app) {
    return app.apps.empty() ? ActivationPolicy::regular : app.apps.front()->activationPolicy();
}

bool entryActive(const MenuApp& app) {
    return std::any_of(app.apps.begin(), app.apps.end(),
                       [](const RunningApplicationPtr& a) { return a && a->isActive(); });
}

// The local processes of an entry. An application without one (an X client on another host or
// behind a proxy) has pid 0, which names no process and is left out.
std::vector<pid_t> localPids(const MenuApp& app) {
    std::vector<pid_t> pids;
    for (const auto& process : app.apps) {
        if (process && process->processIdentifier() > 0) {
            pids.push_back(process->processIdentifier());
        }
    }
    return pids;
}

QString pidText(const MenuApp& app) {
    QStringList pids;
    for (const pid_t pid : localPids(app)) {
        pids << QString::number(pid);
    }
    return pids.isEmpty() ? QStringLiteral("-") : pids.join(QLatin1Char(','));
}

}  // namespace

QString AppListPrinter::table(const std::vector<MenuAppPtr>& apps) {
    if (apps.empty()) {
        return QStringLiteral("no applications\n");
    }
    qsizetype titleWidth = 4;
    qsizetype idWidth = 10;
    for (const auto& app : apps) {
        titleWidth = std::max(titleWidth, app->title().size());
        idWidth = std::max(idWidth, app->bundleIdentifier.size());
    }
    QString out = QStringLiteral("    %1  %2  %3  %4  %5\n")
                      .arg(QStringLiteral("NAME"), -static_cast<int>(titleWidth))
                      .arg(QStringLiteral("IDENTIFIER"), -static_cast<int>(idWidth))
                      .arg(QStringLiteral("POLICY"), -8)
                      .arg(QStringLiteral("KIND"), -10)
                      .arg(QStringLiteral("PIDS"));
    for (const auto& app : apps) {
        const QString mark = app->selected ? QStringLiteral("[x]") : QStringLiteral("[ ]");
        QString kind = QLatin1String(activationPolicyName(entryPolicy(*app)));
        if (entryActive(*app)) {
            kind += QLatin1Char('*');
        }
        out += QStringLiteral("%1 %2  %3  %4  %5  %6\n")
                   .arg(mark)
                   .arg(app->title(), -static_cast<int>(titleWidth))
                   .arg(app->bundleIdentifier, -static_cast<int>(idWidth))
                   .arg(rawValue(app->policy), -8)
                   .arg(kind, -10)
                   .arg(pidText(*app));
    }
    out += QStringLiteral("(* active; [x] checked, quit by the main button; - no local process)\n");
    return out;
}

QString AppListPrinter::json(const std::vector<MenuAppPtr>& apps) {
    QJsonArray array;
    for (const auto& app : apps) {
        QJsonArray pids;
        for (const pid_t pid : localPids(*app)) {
            pids.append(static_cast<qint64>(pid));
        }
        array.append(QJsonObject{
            {QStringLiteral("name"), app->name},
            {QStringLiteral("bundleIdentifier"), app->bundleIdentifier},
            {QStringLiteral("policy"), rawValue(app->policy)},
            {QStringLiteral("selected"), app->selected},
            {QStringLiteral("pids"), pids},
            {QStringLiteral("activationPolicy"),
             QLatin1String(activationPolicyName(entryPolicy(*app)))},
            {QStringLiteral("active"), entryActive(*app)},
            {QStringLiteral("responding"),
             std::all_of(app->apps.begin(), app->apps.end(),
                         [](const RunningApplicationPtr& a) { return !a || a->isResponding(); })},
        });
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

}  // namespace klosia
