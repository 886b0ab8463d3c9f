// One instance per session without a session bus: the local socket decides, and a second start
// reaches the first.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include "platform/helpers/ScopedEnv.h"
#include "platform/linux/SingleInstance.h"
#include "support/Wait.h"

namespace klosia {
namespace {

const QString kName = QStringLiteral("org.klosia.KlosiaTest");

TEST(SingleInstanceSocket, SecondStartReachesTheFirstAndAStaleSocketIsReclaimed) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const test::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    int requests = 0;
    {
        SingleInstance first(kName, false);
        ASSERT_EQ(first.acquire(), SingleInstance::Role::primary);
        QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++requests; });

        SingleInstance second(kName, false);
        EXPECT_EQ(second.acquire(), SingleInstance::Role::secondary);
        EXPECT_TRUE(second.activatePrimary());
        EXPECT_TRUE(test::waitUntil([&] { return requests == 1; }));

        // Garbage on the socket is not a request; the whole request after it is.
        QLocalSocket stray;
        stray.connectToServer(first.socketPath());
        ASSERT_TRUE(stray.waitForConnected(5000));
        stray.write("rm -rf\nPerformMenu\n");
        stray.waitForBytesWritten(5000);
        EXPECT_TRUE(test::waitUntil([&] { return requests >= 2; }));
        EXPECT_EQ(requests, 2);
    }

    // A socket file left by a crashed instance answers nobody: the next start takes over.
    const QString path = runtime.path() + QLatin1Char('/') + kName + QStringLiteral(".socket");
    // Closing a QLocalServer removes its file; a crash would not. Leave a file of that name.
    QFile leftover(path);
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    SingleInstance restarted(kName, false);
    EXPECT_EQ(restarted.acquire(), SingleInstance::Role::primary);
}

}  // namespace
}  // namespace klosia
