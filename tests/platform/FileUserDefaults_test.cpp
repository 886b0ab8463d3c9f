#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <limits>
#include <string>
#include <thread>

#include "fakes/ThreadedDispatcher.h"
#include "log/Vezizur.h"
#include "platform/linux/FileLock.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

// Settings bytes print as text in failure messages and test names, not byte by byte.
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"';
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7f) {
            *out << c;
        } else {
            *out << "\\x" << QByteArray(1, c).toHex().toStdString();
        }
    }
    *out << '"';
}

namespace klosia {
namespace {

using test::LogCapture;

std::vector<std::string> errorLines(const LogCapture& capture) {
    return capture.matching(std::string(Vezizur::mark(VezizurLevel::error)));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList damagedCopies(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files | QDir::Hidden);
}

class FileUserDefaultsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("settings.json")); }
};

TEST_F(FileUserDefaultsTest, EveryTypeSurvivesAWriteAndANewInstance) {
    const QByteArray binary("\x00\xff\x01 text\n", 8);
    {
        FileUserDefaults defaults(path());
        defaults.set(QStringLiteral("data"), binary);
        defaults.set(QStringLiteral("emptyData"), QByteArray());
        defaults.set(QStringLiteral("string"), QStringLiteral("Grüße \"quoted\" \\ ✓"));
        defaults.set(QStringLiteral("emptyString"), QString());
        defaults.set(QStringLiteral("negative"), std::int64_t{-42});
        defaults.set(QStringLiteral("max"), std::numeric_limits<std::int64_t>::max());
        defaults.set(QStringLiteral("min"), std::numeric_limits<std::int64_t>::min());
        defaults.set(QStringLiteral("true"), true);
        defaults.set(QStringLiteral("false"), false);
        ASSERT_TRUE(defaults.synchronize());
    }
    const FileUserDefaults loaded(path());
    EXPECT_EQ(loaded.data(QStringLiteral("data")), binary);
    EXPECT_EQ(loaded.data(QStringLiteral("emptyData")), QByteArray());
    EXPECT_EQ(loaded.string(QStringLiteral("string")), QStringLiteral("Grüße \"quoted\" \\ ✓"));
    EXPECT_EQ(loaded.string(QStringLiteral("emptyString")), QString());
    EXPECT_EQ(loaded.integer(QStringLiteral("negative")), -42);
    EXPECT_EQ(loaded.integer(QStringLiteral("max")), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(loaded.integer(QStringLiteral("min")), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(loaded.boolean(QStringLiteral("true")), true);
    EXPECT_EQ(loaded.boolean(QStringLiteral("false")), false);
    EXPECT_EQ(loaded.object(QStringLiteral("absent")), std::nullopt);

    // Typed reads answer only for their own type: a Boolean is not an integer, data no string.
    EXPECT_EQ(loaded.integer(QStringLiteral("true")), std::nullopt);
    EXPECT_EQ(loaded.string(QStringLiteral("data")), std::nullopt);
    EXPECT_EQ(loaded.boolean(QStringLiteral("negative")), std::nullopt);
    EXPECT_EQ(loaded.data(QStringLiteral("string")), std::nullopt);

    EXPECT_EQ(QFile::permissions(path()), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST_F(FileUserDefaultsTest, FileIsVersionedAndValuesCannotCollideWithIt) {
    FileUserDefaults defaults(path());
    defaults.set(QStringLiteral("format"), QStringLiteral("mine"));
    defaults.set(QStringLiteral("blob"), QByteArray("ab"));
    ASSERT_TRUE(defaults.synchronize());

    const QJsonObject root = QJsonDocument::fromJson(readAll(path())).object();
    EXPECT_EQ(root.value(QStringLiteral("format")).toInteger(), 1);
    const QJsonObject values = root.value(QStringLiteral("values")).toObject();
    EXPECT_EQ(values.value(QStringLiteral("format")).toString(), QStringLiteral("mine"));
    EXPECT_EQ(values.value(QStringLiteral("blob")).toObject().value(QStringLiteral("data")),
              QStringLiteral("YWI="));
    EXPECT_EQ(FileUserDefaults(path()).string(QStringLiteral("format")), QStringLiteral("mine"));
}

TEST_F(FileUserDefaultsTest, RemoveAndOverwriteReachTheFile) {
    {
        FileUserDefaults defaults(path());
        defaults.set(QStringLiteral("gone"), true);
        defaults.set(QStringLiteral("kept"), std::int64_t{1});
        ASSERT_TRUE(defaults.synchronize());
        defaults.remove(QStringLiteral("gone"));
        defaults.set(QStringLiteral("kept"), QStringLiteral("now a string"));
        ASSERT_TRUE(defaults.synchronize());
    }
    EXPECT_FALSE(readAll(path()).contains("gone"));
    const FileUserDefaults loaded(path());
    EXPECT_EQ(loaded.object(QStringLiteral("gone")), std::nullopt);
    EXPECT_EQ(loaded.string(QStringLiteral("kept")), QStringLiteral("now a string"));
}

TEST_F(FileUserDefaultsTest, NothingIsWrittenWithoutAChange) {
    FileUserDefaults defaults(path());
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_FALSE(QFile::exists(path()));  // a fresh start leaves no file behind

    defaults.set(QStringLiteral("key"), true);
    ASSERT_TRUE(defaults.synchronize());
    // Replace the file behind the store's back: an unchanged store must not rewrite it.
    writeRaw(path(), R"({"format": 1, "values": {"other": 5}})");
    defaults.set(QStringLiteral("key"), true);  // same value: no change
    defaults.remove(QStringLiteral("absent"));
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_TRUE(readAll(path()).contains("other"));
}

TEST_F(FileUserDefaultsTest, UnknownValueShapesAreSkippedAndKept) {
    writeRaw(path(), R"({"format": 1, "values": {
        "good": "yes", "float": 1.5, "list": [1, 2], "null": null,
        "notData": {"data": "!!!not base64"}, "twoKeys": {"data": "", "more": 1},
        "flag": true }})");
    LogCapture capture;
    FileUserDefaults defaults(path());
    EXPECT_EQ(defaults.string(QStringLiteral("good")), QStringLiteral("yes"));
    EXPECT_EQ(defaults.boolean(QStringLiteral("flag")), true);
    for (const char* key : {"float", "list", "null", "notData", "twoKeys"}) {
        EXPECT_EQ(defaults.object(QLatin1String(key)), std::nullopt) << key;
    }
    EXPECT_TRUE(errorLines(capture).empty());
    EXPECT_EQ(capture.matching("unknown form").size(), 5U);
    EXPECT_TRUE(damagedCopies(dir).isEmpty());

    // Written back untouched, except where this program sets its own value.
    defaults.set(QStringLiteral("list"), std::int64_t{3});
    ASSERT_TRUE(defaults.synchronize());
    const QJsonObject values = QJsonDocument::fromJson(readAll(path()))
                                   .object()
                                   .value(QStringLiteral("values"))
                                   .toObject();
    EXPECT_EQ(values.value(QStringLiteral("float")).toDouble(), 1.5);
    EXPECT_TRUE(values.value(QStringLiteral("null")).isNull());
    EXPECT_EQ(values.value(QStringLiteral("list")).toInteger(), 3);
    EXPECT_EQ(FileUserDefaults(path()).integer(QStringLiteral("list")), 3);
}

class DamagedFileTest : public FileUserDefaultsTest,
                        public ::testing::WithParamInterface<QByteArray> {};

TEST_P(DamagedFileTest, IsKeptAsideAndNeverOverwritten) {
    const QByteArray original = GetParam();
    writeRaw(path(), original);
    LogCapture capture;
    FileUserDefaults defaults(path());

    EXPECT_EQ(defaults.object(QStringLiteral("key")), std::nullopt);
    EXPECT_EQ(defaults.object(QStringLiteral("a")), std::nullopt);
    EXPECT_FALSE(QFile::exists(path()));
    const QStringList copies = damagedCopies(dir);
    ASSERT_EQ(copies.size(), 1);
    const QString aside = dir.filePath(copies.first());
    EXPECT_EQ(readAll(aside), original);

    const auto errors = errorLines(capture);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_NE(errors[0].find(path().toStdString()), std::string::npos);
    EXPECT_NE(errors[0].find(aside.toStdString()), std::string::npos);
    EXPECT_EQ(capture.lines().size(), 1U);

    defaults.set(QStringLiteral("key"), QStringLiteral("fresh"));
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(FileUserDefaults(path()).string(QStringLiteral("key")), QStringLiteral("fresh"));
    EXPECT_EQ(readAll(aside), original);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DamagedFileTest,
    ::testing::Values(QByteArray("\x89PNG\r\n\x1a\n\x00\x00garbage", 17), QByteArray(),
                      QByteArray(R"({"format": 1, "values": {"key": "tru)"),
                      QByteArray(R"([{"key": true}])"), QByteArray(R"({"key": true})"),
                      QByteArray(R"({"format": 2, "values": {"key": true}})"),
                      QByteArray(R"({"format": "1", "values": {"key": true}})"),
                      QByteArray(R"({"format": 1, "values": [["key", true]]})"),
                      QByteArray("\"just a string\"")),
    // Short names keep the test list readable; the shapes are in the values above.
    [](const ::testing::TestParamInfo<QByteArray>& shape) {
        return "shape" + std::to_string(shape.index);
    });

TEST_F(FileUserDefaultsTest, SecondDamagedFileInTheSameSecondGetsItsOwnName) {
    writeRaw(path(), "first");
    const FileUserDefaults first(path());
    writeRaw(path(), "second");
    const FileUserDefaults second(path());
    writeRaw(path(), "third");
    const FileUserDefaults third(path());

    QStringList contents;
    for (const QString& copy : damagedCopies(dir)) {
        contents.append(QString::fromLatin1(readAll(dir.filePath(copy))));
    }
    contents.sort();
    EXPECT_EQ(contents, (QStringList{"first", "second", "third"}));
}

TEST_F(FileUserDefaultsTest, UnreadableFileIsLeftInPlaceAndNotWrittenOver) {
    // A directory where the file should be cannot be read, whoever runs the test.
    ASSERT_TRUE(QDir().mkdir(path()));
    LogCapture capture;
    FileUserDefaults defaults(path());
    EXPECT_EQ(errorLines(capture).size(), 1U);

    defaults.set(QStringLiteral("key"), true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.boolean(QStringLiteral("key")), true);
    EXPECT_TRUE(QFileInfo(path()).isDir());
    EXPECT_TRUE(damagedCopies(dir).isEmpty());
    // The failed save is told once, however often it is tried again.
    const auto errors = errorLines(capture);
    ASSERT_EQ(errors.size(), 2U);
    EXPECT_NE(errors[1].find("cannot save settings"), std::string::npos);
}

TEST_F(FileUserDefaultsTest, UnreadableByPermissionIsNotWrittenOver) {
    writeRaw(path(), R"({"format": 1, "values": {"key": "secret"}})");
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0), 0);
    if (QFile file(path()); file.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "running with permission to read any file (root): chmod cannot stop it";
    }
    LogCapture capture;
    FileUserDefaults defaults(path());
    defaults.set(QStringLiteral("key"), QStringLiteral("new"));
    EXPECT_FALSE(defaults.synchronize());
    ::chmod(QFile::encodeName(path()).constData(), 0600);
    EXPECT_EQ(FileUserDefaults(path()).string(QStringLiteral("key")), QStringLiteral("secret"));
}

TEST_F(FileUserDefaultsTest, UnwritablePlaceKeepsValuesInMemoryAndLogsOnce) {
    // The parent "directory" is a regular file: no one, not even root, can write under it.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    writeRaw(blocker, "not a directory");
    LogCapture capture;
    FileUserDefaults defaults(blocker + QStringLiteral("/sub/settings.json"));
    EXPECT_TRUE(capture.lines().empty());  // a missing file is simply empty

    defaults.set(QStringLiteral("key"), std::int64_t{7});
    EXPECT_FALSE(defaults.synchronize());
    defaults.set(QStringLiteral("other"), true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.integer(QStringLiteral("key")), 7);
    EXPECT_EQ(defaults.boolean(QStringLiteral("other")), true);
    const auto errors = errorLines(capture);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_NE(errors[0].find(blocker.toStdString()), std::string::npos);
    EXPECT_EQ(readAll(blocker), "not a directory");
}

TEST_F(FileUserDefaultsTest, ReadOnlyDirectoryFailsThenRecovers) {
    const QString settingsDir = dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkdir(settingsDir));
    ASSERT_EQ(::chmod(QFile::encodeName(settingsDir).constData(), 0500), 0);
    if (QFile probe(settingsDir + QStringLiteral("/probe")); probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        ::chmod(QFile::encodeName(settingsDir).constData(), 0700);
        GTEST_SKIP() << "running with permission to write anywhere (root): chmod cannot stop it";
    }
    LogCapture capture;
    FileUserDefaults defaults(settingsDir + QStringLiteral("/settings.json"));
    defaults.set(QStringLiteral("key"), true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(errorLines(capture).size(), 1U);
    EXPECT_TRUE(QDir(settingsDir)
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());  // no temporary file left behind

    ASSERT_EQ(::chmod(QFile::encodeName(settingsDir).constData(), 0700), 0);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(FileUserDefaults(settingsDir + QStringLiteral("/settings.json"))
                  .boolean(QStringLiteral("key")),
              true);
}

TEST_F(FileUserDefaultsTest, CreatesMissingDirectoriesPrivately) {
    const QString nested = dir.filePath(QStringLiteral("a/b/settings.json"));
    FileUserDefaults defaults(nested);
    defaults.set(QStringLiteral("key"), true);
    ASSERT_TRUE(defaults.synchronize());
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(QStringLiteral("a"))).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700U);
    EXPECT_EQ(FileUserDefaults(nested).boolean(QStringLiteral("key")), true);
}

TEST_F(FileUserDefaultsTest, WritesThroughASymbolicLink) {
    const QString real = dir.filePath(QStringLiteral("real.json"));
    ASSERT_TRUE(QFile::link(real, path()));
    FileUserDefaults defaults(path());
    defaults.set(QStringLiteral("key"), true);
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_EQ(FileUserDefaults(real).boolean(QStringLiteral("key")), true);
}

TEST_F(FileUserDefaultsTest, BackgroundSavesNeverWaitForAStuckLockAndTheLastValueWins) {
    test::ThreadedDispatcher dispatcher(2);
    FileUserDefaults defaults(path());
    defaults.saveInBackground(&dispatcher);
    // Another writer holds the lock, as a stuck instance would.
    FileLock stuck;
    QString error;
    ASSERT_TRUE(stuck.acquire(defaults.lockPath(), std::chrono::milliseconds(0), error));
    for (std::int64_t value = 1; value <= 3; ++value) {
        defaults.set(QStringLiteral("k"), value);
        EXPECT_TRUE(defaults.synchronize()) << "nothing failed so far";
    }
    // Every call returned while the lock is still held: the save waits, not the caller.
    EXPECT_TRUE(defaults.isSaving());
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_EQ(defaults.integer(QStringLiteral("k")), 3);
    stuck.release();
    defaults.flush();
    EXPECT_FALSE(defaults.isSaving());
    EXPECT_EQ(
        FileUserDefaults(path(), FileUserDefaults::Access::readOnly).integer(QStringLiteral("k")),
        3);
    // Saves reach the disk in order: a later one is never overtaken by an earlier one.
    for (std::int64_t value = 4; value <= 40; ++value) {
        defaults.set(QStringLiteral("k"), value);
        defaults.synchronize();
    }
    defaults.flush();
    EXPECT_EQ(
        FileUserDefaults(path(), FileUserDefaults::Access::readOnly).integer(QStringLiteral("k")),
        40);
}

TEST_F(FileUserDefaultsTest, ConcurrentReadersAndWritersStayConsistent) {
    // One thread sets a growing counter, another saves all the while, a third reads. The reader
    // must only ever see the counter grow and never a value not yet set; a change made while a
    // save is under way must not be taken for saved. Findings are counted and checked after the
    // threads are joined, so that a failure cannot leave a thread running.
    FileUserDefaults defaults(path());
    constexpr std::int64_t kLast = 199;
    std::atomic<std::int64_t> latestSet{-1};
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> backwards{0};
    std::atomic<int> unset{0};
    std::atomic<int> failedSaves{0};
    std::thread reader([&] {
        std::int64_t previous = -1;
        while (!stop) {
            const auto value = defaults.integer(QStringLiteral("counter"));
            if (!value) {
                continue;
            }
            ++reads;
            backwards += *value < previous ? 1 : 0;
            unset += *value < 0 || *value > latestSet ? 1 : 0;
            previous = *value;
        }
    });
    std::thread saver([&] {
        while (!stop) {
            failedSaves += defaults.synchronize() ? 0 : 1;
        }
    });
    for (std::int64_t i = 0; i <= kLast; ++i) {
        latestSet = i;
        defaults.set(QStringLiteral("counter"), i);
        if (i == 0) {
            test::waitUntil([&] { return reads > 0; });
        }
    }
    const bool lastSave = defaults.synchronize();
    stop = true;
    reader.join();
    saver.join();

    EXPECT_TRUE(lastSave);
    EXPECT_EQ(failedSaves, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(backwards, 0);
    EXPECT_EQ(unset, 0);
    EXPECT_EQ(FileUserDefaults(path()).integer(QStringLiteral("counter")), kLast);
}

}  // namespace
}  // namespace klosia
