#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include "core/JsonFragment.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

// What lies at the settings path, and what a person reading the file sees.
namespace klosia {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QJsonObject storedValues(const QString& path) {
    return QJsonDocument::fromJson(readAll(path))
        .object()
        .value(QStringLiteral("values"))
        .toObject();
}

class FileUserDefaultsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("settings.json")); }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(FileUserDefaultsFileTest, JsonTextIsStoredAsJsonOnlyWhenItComesBackByteForByte) {
    const QList<QByteArray> readable{"true",
                                     "false",
                                     "null",
                                     "12",
                                     R"("Normal Quit")",
                                     "[1,\"two\"]",
                                     R"({"amount":1,"enabled":false,"unit":3600})",
                                     R"({"Grüße":"✓"})"};
    const QList<QByteArray> opaque{
        "",    " true",       "true\n", R"({"b":1,"a":2})",        R"({"a": 1})", "1.0",
        "1e2", "\"\\u0041\"", "tru",    QByteArray("\xff\x00", 2), "[1] [2]",     "1,2"};
    {
        FileUserDefaults defaults(path());
        for (int i = 0; i < readable.size(); ++i) {
            defaults.set(QStringLiteral("r%1").arg(i), readable[i]);
        }
        for (int i = 0; i < opaque.size(); ++i) {
            defaults.set(QStringLiteral("o%1").arg(i), opaque[i]);
        }
        ASSERT_TRUE(defaults.synchronize());
    }

    const QJsonObject values = storedValues(path());
    for (int i = 0; i < readable.size(); ++i) {
        const QJsonObject member = values.value(QStringLiteral("r%1").arg(i)).toObject();
        ASSERT_TRUE(member.contains(QStringLiteral("json"))) << readable[i].toStdString();
        EXPECT_EQ(member.value(QStringLiteral("json")), parseJsonFragment(readable[i]));
    }
    for (int i = 0; i < opaque.size(); ++i) {
        const QJsonObject member = values.value(QStringLiteral("o%1").arg(i)).toObject();
        EXPECT_EQ(member.value(QStringLiteral("data")).toString().toLatin1(), opaque[i].toBase64())
            << opaque[i].toStdString();
    }

    // Readers get back exactly the bytes that were stored, whichever form they went in.
    const FileUserDefaults loaded(path());
    for (int i = 0; i < readable.size(); ++i) {
        EXPECT_EQ(loaded.data(QStringLiteral("r%1").arg(i)), readable[i]);
    }
    for (int i = 0; i < opaque.size(); ++i) {
        EXPECT_EQ(loaded.data(QStringLiteral("o%1").arg(i)), opaque[i]);
    }
}

TEST_F(FileUserDefaultsFileTest, OlderBase64FilesAndHandEditsAreRead) {
    writeRaw(path(), R"({"format": 1, "values": {
        "old": {"data": "dHJ1ZQ=="},
        "edited": {"json": { "unit" : 60, "enabled": true,  "amount": 2 }},
        "both": {"json": true, "data": "dHJ1ZQ=="} }})");
    FileUserDefaults defaults(path());
    EXPECT_EQ(defaults.data(QStringLiteral("old")), QByteArray("true"));
    // Spacing and key order as a person typed them are not kept; the value is.
    EXPECT_EQ(defaults.data(QStringLiteral("edited")),
              QByteArray(R"({"amount":2,"enabled":true,"unit":60})"));
    EXPECT_EQ(defaults.object(QStringLiteral("both")), std::nullopt) << "an unknown shape";

    defaults.set(QStringLiteral("other"), true);
    ASSERT_TRUE(defaults.synchronize());
    const QJsonObject values = storedValues(path());
    EXPECT_EQ(values.value(QStringLiteral("old")).toObject().value(QStringLiteral("json")),
              QJsonValue(true))
        << "rewritten in the readable form";
    EXPECT_TRUE(values.value(QStringLiteral("both")).toObject().contains(QStringLiteral("data")));
}

TEST_F(FileUserDefaultsFileTest, AFifoAtThePathIsDamagedAndNeverWaitedOn) {
    const QByteArray fifo = QFile::encodeName(path());
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    for (const auto access :
         {FileUserDefaults::Access::readOnly, FileUserDefaults::Access::readWrite}) {
        test::LogCapture capture;
        // Loaded on a thread: if it waited for a writer of the FIFO, the test would unblock it
        // by opening the FIFO itself, and fail instead of hanging.
        std::atomic<bool> loaded{false};
        std::optional<FileUserDefaults> defaults;
        std::thread loader([&] {
            defaults.emplace(path(), access);
            loaded = true;
        });
        const bool returned = test::waitUntil([&] { return loaded.load(); });
        if (!returned) {
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
        }
        loader.join();
        ASSERT_TRUE(returned) << "loading waited for a writer of the FIFO";
        EXPECT_EQ(capture.matching("a FIFO").size(), 1U);

        if (access == FileUserDefaults::Access::readOnly) {
            EXPECT_EQ(entries(), QStringList{QStringLiteral("settings.json")});
            continue;
        }
        // Moved aside like any damaged file; a regular file takes its place.
        const QStringList aside =
            QDir(dir.path())
                .entryList({QStringLiteral("settings.json.damaged-*")}, QDir::System | QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(dir.filePath(aside.first())).constData(), &status), 0);
        EXPECT_TRUE(S_ISFIFO(status.st_mode));
        defaults->set(QStringLiteral("key"), true);
        ASSERT_TRUE(defaults->synchronize());
        EXPECT_TRUE(QFileInfo(path()).isFile());
        EXPECT_EQ(FileUserDefaults(path()).boolean(QStringLiteral("key")), true);
    }
}

TEST_F(FileUserDefaultsFileTest, ReadOnlyModeLeavesTheDiskAsItIs) {
    writeRaw(path(), "{ damaged");
    {
        const FileUserDefaults defaults(path(), FileUserDefaults::Access::readOnly);
        EXPECT_EQ(defaults.object(QStringLiteral("key")), std::nullopt);
    }
    EXPECT_EQ(entries(), QStringList{QStringLiteral("settings.json")});
    EXPECT_EQ(readAll(path()), "{ damaged");

    const QByteArray good = R"({"format": 1, "values": {"key": "stored"}})";
    writeRaw(path(), good);
    FileUserDefaults defaults(path(), FileUserDefaults::Access::readOnly);
    EXPECT_EQ(defaults.string(QStringLiteral("key")), QStringLiteral("stored"));
    defaults.set(QStringLiteral("key"), QStringLiteral("changed"));
    EXPECT_EQ(defaults.string(QStringLiteral("key")), QStringLiteral("changed"));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(entries(), QStringList{QStringLiteral("settings.json")}) << "not even a lock file";
    EXPECT_EQ(readAll(path()), good);
}

TEST_F(FileUserDefaultsFileTest, ALinkIsFollowedOnlyIntoTheUsersOwnDirectory) {
    // Into the user's own directory, a dangling link is followed and becomes valid.
    const QString own = dir.filePath(QStringLiteral("own/settings.json"));
    ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral("own"))));
    ASSERT_TRUE(QFile::link(own, path()));
    {
        FileUserDefaults defaults(path());
        defaults.set(QStringLiteral("key"), true);
        ASSERT_TRUE(defaults.synchronize());
    }
    EXPECT_EQ(FileUserDefaults(own).boolean(QStringLiteral("key")), true);
    ASSERT_TRUE(QFile::remove(path()));

    // A directory that belongs to another user: made so when the test may give it away,
    // otherwise the shared temporary directory, which belongs to root.
    QString foreign = dir.filePath(QStringLiteral("foreign"));
    ASSERT_TRUE(QDir().mkdir(foreign));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    } else {
        foreign = QDir::tempPath();
        struct stat status {};
        if (::stat(QFile::encodeName(foreign).constData(), &status) != 0 ||
            status.st_uid == ::geteuid()) {
            GTEST_SKIP() << "no directory of another user to point at";
        }
    }
    const QString target = foreign + QStringLiteral("/klosia-link-test-%1.json").arg(::getpid());
    ASSERT_TRUE(QFile::link(target, path()));
    FileUserDefaults defaults(path());
    std::vector<QString> told;
    defaults.setSaveFailureHandler([&](const QString& failure) { told.push_back(failure); });
    defaults.set(QStringLiteral("key"), true);
    const bool saved = defaults.synchronize();
    const bool created = QFile::exists(target);
    QFile::remove(target);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(created) << "wrote into " << foreign.toStdString();
    EXPECT_TRUE(QFileInfo(path()).isSymLink()) << "the link stays";
    ASSERT_EQ(told.size(), 1U);
    EXPECT_TRUE(told[0].contains(QStringLiteral("another user"))) << told[0].toStdString();
    EXPECT_EQ(defaults.boolean(QStringLiteral("key")), true);
}

}  // namespace
}  // namespace klosia
