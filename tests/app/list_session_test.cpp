#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include "model/AppPolicies.h"
#include "platform/linux/FileUserDefaults.h"
#include "settings/Preferences.h"

using namespace klosia;

namespace {

QJsonArray listJson(const QStringList& extra = {}) {
    QProcess klosia;
    klosia.start(QStringLiteral(KLOSIA_EXECUTABLE),
                 QStringList{QStringLiteral("--list"), QStringLiteral("--json")} + extra);
    klosia.waitForFinished(30000);
    EXPECT_EQ(klosia.exitCode(), 0) << klosia.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(klosia.readAllStandardOutput()).array();
}

QJsonObject entryWithPid(const QJsonArray& list, qint64 pid) {
    for (const auto& value : list) {
        QJsonObject entry = value.toObject();
        if (entry.value(QStringLiteral("pids")).toArray().contains(QJsonValue(pid))) {
            return entry;
        }
    }
    return {};
}

// Polls the listing until `pid` shows up (the window must be mapped and managed first).
QJsonObject waitForEntry(qint64 pid, const QStringList& extra = {}) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000) {
        QJsonObject entry = entryWithPid(listJson(extra), pid);
        if (!entry.isEmpty()) {
            return entry;
        }
        QThread::msleep(100);
    }
    return {};
}

}  // namespace

TEST(ListCommand, ShowsRealClientsWithStoredPoliciesAndPreferences) {
    // The session gives us a private config home: the program reads its settings from there.
    FileUserDefaults defaults(FileUserDefaults::defaultPath());
    saveAppPolicies({{QStringLiteral("XLogo"), MenuAppPolicy::never}}, defaults);
    defaults.set(QString(Preferences::kDeselectApps), QByteArray("true"));
    ASSERT_TRUE(defaults.synchronize());

    QProcess xlogo;
    QProcess xclock;
    xlogo.start(QStringLiteral("xlogo"), {});
    xclock.start(QStringLiteral("xclock"), {});
    ASSERT_TRUE(xlogo.waitForStarted());
    ASSERT_TRUE(xclock.waitForStarted());

    const QJsonObject logo = waitForEntry(xlogo.processId());
    ASSERT_FALSE(logo.isEmpty()) << "xlogo was never listed";
    EXPECT_EQ(logo.value(QStringLiteral("bundleIdentifier")).toString(), QStringLiteral("XLogo"));
    EXPECT_EQ(logo.value(QStringLiteral("policy")).toString(), QStringLiteral("Never"));
    EXPECT_FALSE(logo.value(QStringLiteral("selected")).toBool());
    EXPECT_EQ(logo.value(QStringLiteral("activationPolicy")).toString(), QStringLiteral("regular"));

    const QJsonObject clock = waitForEntry(xclock.processId());
    ASSERT_FALSE(clock.isEmpty()) << "xclock was never listed";
    EXPECT_EQ(clock.value(QStringLiteral("policy")).toString(), QStringLiteral("Standard"));
    EXPECT_FALSE(clock.value(QStringLiteral("selected")).toBool())
        << "with the deselect preference on, applications start unchecked";

    // The table form lists the same clients.
    QProcess table;
    table.start(QStringLiteral(KLOSIA_EXECUTABLE), {QStringLiteral("--list")});
    table.waitForFinished(30000);
    const QString text = QString::fromUtf8(table.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QString::number(xlogo.processId()))) << text.toStdString();

    xlogo.kill();
    xclock.kill();
    xlogo.waitForFinished();
    xclock.waitForFinished();
}

TEST(ListCommand, OnlyReadsTheSettings) {
    // A damaged settings file: the running program would move it aside, a listing must not.
    const QString path = FileUserDefaults::defaultPath();
    const QDir directory = QFileInfo(path).dir();
    ASSERT_TRUE(QDir().mkpath(directory.path()));
    const QByteArray damaged = R"({"format": 1, "values": {"kUserdefaultsDeselectApps": tru)";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(damaged), damaged.size());
    }
    const auto listing = [&] {
        return directory.entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                   QDir::NoDotAndDotDot);
    };
    const QStringList before = listing();

    QProcess klosia;
    klosia.start(QStringLiteral(KLOSIA_EXECUTABLE),
                 {QStringLiteral("--list"), QStringLiteral("--json")});
    ASSERT_TRUE(klosia.waitForFinished(30000));
    EXPECT_EQ(klosia.exitCode(), 0);
    EXPECT_TRUE(QJsonDocument::fromJson(klosia.readAllStandardOutput()).isArray());
    const QString errors = QString::fromLocal8Bit(klosia.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("is damaged"))) << errors.toStdString();

    EXPECT_EQ(listing(), before);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
    file.close();
    EXPECT_TRUE(QFile::remove(path));
}
