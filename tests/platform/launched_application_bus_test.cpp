// The polite quit of an application found by its systemd unit, against fake applications on a
// private bus daemon that the test starts: it goes through the application's own quit action,
// and nowhere when there is none, or when the name is owned from outside the unit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QMutex>
#include <QProcess>
#include <QThread>

#include <vector>

#include "platform/linux/LaunchedApplication.h"
#include "platform/linux/ProcessInfo.h"
#include "support/Wait.h"

namespace klosia {
namespace {

// An application's org.gtk.Actions, with the actions it was given; it records every call. It
// answers List alone: QtDBus cannot write the empty parameter type with which Describe tells of
// an action without a parameter, and List is the other way the quit action is found.
class FakeApplication : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gtk.Actions")

public:
    explicit FakeApplication(QStringList actions) : actions_(std::move(actions)) {}

    void record(const QString& call) {
        const QMutexLocker lock(&mutex_);
        calls_ << call;
    }
    QStringList calls() const {
        const QMutexLocker lock(&mutex_);
        return calls_;
    }

public Q_SLOTS:
    QStringList List() {
        record(QStringLiteral("List"));
        return actions_;
    }

private:
    QStringList actions_;
    mutable QMutex mutex_;
    QStringList calls_;
};

// Its org.freedesktop.Application.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(FakeApplication* application)
        : QDBusAbstractAdaptor(application), application_(application) {}

public Q_SLOTS:
    void ActivateAction(const QString& name, const QVariantList& parameter,
                        const QVariantMap& platformData) {
        application_->record(QStringLiteral("ActivateAction %1 %2 %3")
                                 .arg(name)
                                 .arg(parameter.size())
                                 .arg(platformData.size()));
    }
    void Activate(const QVariantMap& /*platformData*/) { application_->record("Activate"); }

private:
    FakeApplication* application_;
};

class LaunchedApplicationBus : public ::testing::Test {
protected:
    void SetUp() override {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        ASSERT_TRUE(test::waitUntil([this] { return daemon_.canReadLine(); }));
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        klosia = QDBusConnection::connectToBus(address, QStringLiteral("klosia"));
        applications = QDBusConnection::connectToBus(address, QStringLiteral("applications"));
        ASSERT_TRUE(klosia.isConnected());
        ASSERT_TRUE(applications.isConnected());
        // The applications answer from a thread of their own while the test waits for them.
        thread_.start();
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("klosia"));
        QDBusConnection::disconnectFromBus(QStringLiteral("applications"));
        // Deleted in their own thread, which deletes them as it finishes.
        for (FakeApplication* fake : fakes_) {
            fake->deleteLater();
        }
        thread_.quit();
        thread_.wait();
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished()) {
                daemon_.kill();
                daemon_.waitForFinished();
            }
        }
    }

    FakeApplication& serve(const QString& id, const QString& path, const QStringList& actions) {
        auto* fake = new FakeApplication(actions);
        new ApplicationAdaptor(fake);
        fake->moveToThread(&thread_);
        fakes_.push_back(fake);
        EXPECT_TRUE(applications.registerObject(
            path, fake, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors));
        EXPECT_TRUE(applications.registerService(id));
        return *fake;
    }

    // A unit of this test's own process, or of a pid that is not ours.
    static UnitGroup unit(pid_t pid = ::getpid()) {
        return {*SystemdUnit::fromName("app-gnome-org.example.Editor-1.scope"),
                {{pid, ::getppid(), ProcessInfo::startTime(pid).value_or(1)}}};
    }
    LaunchedApplication application(const QString& id, const UnitGroup& group,
                                    LaunchedApplication::Clock::time_point now) const {
        return {klosia, QStringLiteral("/proc"), {id, id, {}}, group, group.processes.front(), now};
    }

    QDBusConnection klosia{QString()};
    QDBusConnection applications{QString()};

private:
    QProcess daemon_;
    QThread thread_;
    std::vector<FakeApplication*> fakes_;  // deleted in their thread
};

TEST_F(LaunchedApplicationBus, AsksTheQuitActionOfTheNamesOwnerInTheUnit) {
    const QString id = QStringLiteral("org.example.Text-Editor");
    const auto start = LaunchedApplication::Clock::now();
    LaunchedApplication editor = application(id, unit(), start);
    EXPECT_FALSE(editor.quitUnavailableReason().isEmpty()) << "nobody owns the name yet";

    // It registers its name a moment after its unit appeared: a later look finds it.
    FakeApplication& fake =
        serve(id, QStringLiteral("/org/example/Text_Editor"), {"about", "quit"});
    editor.lookForQuitAgain(unit(), start + LaunchedApplication::kQuitLookInterval);
    EXPECT_TRUE(editor.quitUnavailableReason().isEmpty());
    EXPECT_TRUE(editor.terminate());
    EXPECT_TRUE(test::waitUntil([&] {
        return fake.calls().contains(QStringLiteral("ActivateAction quit 0 0"));
    })) << fake.calls().join(QStringLiteral(", ")).toStdString();
}

TEST_F(LaunchedApplicationBus, NothingIsSentWithoutAQuitActionOfItsOwn) {
    const auto now = LaunchedApplication::Clock::now();
    FakeApplication& viewer = serve(QStringLiteral("org.example.Viewer"),
                                    QStringLiteral("/org/example/Viewer"), {"about"});
    FakeApplication& editor = serve(QStringLiteral("org.example.Editor"),
                                    QStringLiteral("/org/example/Editor"), {"quit"});
    struct Case {
        QString id;
        UnitGroup group;
    };
    const std::vector<Case> table{
        {QStringLiteral("org.example.Viewer"), unit()},   // no quit among its actions
        {QStringLiteral("org.example.Editor"), unit(1)},  // its owner is not in the unit
        {QStringLiteral("org.example.Absent"), unit()},   // nobody owns the name
        {QStringLiteral("foot"), unit()},                 // no bus name
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.id.toStdString());
        LaunchedApplication app = application(c.id, c.group, now);
        EXPECT_FALSE(app.quitUnavailableReason().isEmpty());
        EXPECT_FALSE(app.terminate());
    }
    EXPECT_EQ(viewer.calls(), QStringList{QStringLiteral("List")});
    for (const FakeApplication* fake : {&viewer, &editor}) {
        EXPECT_TRUE(fake->calls().filter(QStringLiteral("Activate")).isEmpty())
            << fake->calls().join(QStringLiteral(", ")).toStdString();
    }
}

}  // namespace
}  // namespace klosia

#include "launched_application_bus_test.moc"
