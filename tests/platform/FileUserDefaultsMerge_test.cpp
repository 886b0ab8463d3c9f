#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

#include "log/Vezizur.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

void writeInPlace(const QString& path, const QByteArray& bytes) {
    // As an editor saves: over the same file, not through a new one.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class FileUserDefaultsMergeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("settings.json")); }
};

TEST_F(FileUserDefaultsMergeTest, TwoWritersKeepEachOthersKeysAndTheLastWriterWins) {
    FileUserDefaults first(path());
    FileUserDefaults second(path());

    first.set(QStringLiteral("a"), std::int64_t{1});
    ASSERT_TRUE(first.synchronize());
    second.set(QStringLiteral("b"), std::int64_t{2});
    ASSERT_TRUE(second.synchronize());
    EXPECT_EQ(second.integer(QStringLiteral("a")), 1) << "the merge becomes the writer's view";
    first.set(QStringLiteral("c"), std::int64_t{3});
    ASSERT_TRUE(first.synchronize());
    EXPECT_EQ(first.integer(QStringLiteral("b")), 2);

    // Both change one key: whoever writes last wins, also against a later write of the other.
    first.set(QStringLiteral("shared"), QStringLiteral("first"));
    second.set(QStringLiteral("shared"), QStringLiteral("second"));
    ASSERT_TRUE(first.synchronize());
    ASSERT_TRUE(second.synchronize());
    first.set(QStringLiteral("d"), std::int64_t{4});
    ASSERT_TRUE(first.synchronize());
    EXPECT_EQ(first.string(QStringLiteral("shared")), QStringLiteral("second"));

    // A removal by one writer reaches the other, unless the other changed that key itself.
    first.remove(QStringLiteral("a"));
    first.remove(QStringLiteral("b"));
    ASSERT_TRUE(first.synchronize());
    second.set(QStringLiteral("b"), std::int64_t{20});
    ASSERT_TRUE(second.synchronize());
    EXPECT_EQ(second.object(QStringLiteral("a")), std::nullopt);

    const FileUserDefaults result(path());
    EXPECT_EQ(result.object(QStringLiteral("a")), std::nullopt);
    EXPECT_EQ(result.integer(QStringLiteral("b")), 20);
    EXPECT_EQ(result.integer(QStringLiteral("c")), 3);
    EXPECT_EQ(result.integer(QStringLiteral("d")), 4);
    EXPECT_EQ(result.string(QStringLiteral("shared")), QStringLiteral("second"));
}

TEST_F(FileUserDefaultsMergeTest, AnEditorsChangesSurviveAndItsMistakesAreKeptAside) {
    FileUserDefaults defaults(path());
    defaults.set(QStringLiteral("mine"), true);
    defaults.set(QStringLiteral("dropped"), true);
    ASSERT_TRUE(defaults.synchronize());

    // The person keeps "mine", removes "dropped", and adds a key and a shape of their own.
    writeInPlace(path(), R"({"format": 1, "values": {"mine": true, "theirs": "x",
                                                     "later": [1, 2]}})");
    defaults.set(QStringLiteral("other"), std::int64_t{1});
    ASSERT_TRUE(defaults.synchronize());
    {
        const FileUserDefaults result(path());
        EXPECT_EQ(result.boolean(QStringLiteral("mine")), true);
        EXPECT_EQ(result.string(QStringLiteral("theirs")), QStringLiteral("x"));
        EXPECT_EQ(result.object(QStringLiteral("dropped")), std::nullopt);
        EXPECT_EQ(result.integer(QStringLiteral("other")), 1);
    }
    QFile written(path());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("\"later\"")) << "an unknown shape is kept too";
    EXPECT_EQ(defaults.string(QStringLiteral("theirs")), QStringLiteral("x"));

    // A slip leaves the file broken: it is kept aside and every value known here is written.
    test::LogCapture capture;
    writeInPlace(path(), R"({"format": 1, "values": {"mine": tru)");
    defaults.set(QStringLiteral("more"), std::int64_t{2});
    ASSERT_TRUE(defaults.synchronize());
    const QStringList aside =
        QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().endsWith("tru"));
    const FileUserDefaults result(path());
    EXPECT_EQ(result.boolean(QStringLiteral("mine")), true);
    EXPECT_EQ(result.string(QStringLiteral("theirs")), QStringLiteral("x"));
    EXPECT_EQ(result.integer(QStringLiteral("other")), 1);
    EXPECT_EQ(result.integer(QStringLiteral("more")), 2);
    EXPECT_EQ(capture.matching("is damaged").size(), 1U);
}

TEST_F(FileUserDefaultsMergeTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kKeys = 40;
    const QStringList names{QStringLiteral("left"), QStringLiteral("right")};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString& name : names) {
        auto& writer = writers.emplace_back(std::make_unique<QProcess>());
        writer->start(QStringLiteral(KLOSIA_DEFAULTS_KEY_WRITER),
                      {path(), name, QString::number(kKeys)});
    }
    for (auto& writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(60000));
        EXPECT_EQ(writer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    }

    const FileUserDefaults result(path());
    for (const QString& name : names) {
        for (int i = 1; i <= kKeys; ++i) {
            const QString key = QStringLiteral("%1.%2").arg(name).arg(i);
            EXPECT_EQ(result.integer(key), i) << key.toStdString();
        }
    }
    EXPECT_TRUE(names.contains(result.string(QStringLiteral("last")).value_or(QString())));
}

TEST_F(FileUserDefaultsMergeTest, AFailureToSaveIsToldOncePerFailure) {
    const QString place = dir.filePath(QStringLiteral("config"));
    QFile blocker(place);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the directory should be
    blocker.close();
    const QString settings = place + QStringLiteral("/settings.json");

    FileUserDefaults defaults(settings);
    QStringList told;
    defaults.setSaveFailureHandler([&](const QString& failure) { told.append(failure); });
    for (std::int64_t i = 0; i < 3; ++i) {
        defaults.set(QStringLiteral("key"), i);
        EXPECT_FALSE(defaults.synchronize());
    }
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(place)) << told[0].toStdString();

    // Once saving works again, a new failure is told again.
    ASSERT_TRUE(QFile::rename(place, dir.filePath(QStringLiteral("plain"))));
    blocker.setFileName(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(QDir().mkdir(place));
    EXPECT_TRUE(defaults.synchronize());
    ASSERT_TRUE(QFile::remove(settings));
    ASSERT_TRUE(QDir().mkdir(settings));  // now the settings file cannot be read
    defaults.set(QStringLiteral("key"), std::int64_t{9});
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.synchronize());
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].contains(QStringLiteral("cannot be read")));

    // The shipped program logs nothing, so a separate process shows what reaches standard error.
    QProcess writer;
    writer.start(QStringLiteral(KLOSIA_DEFAULTS_KEY_WRITER),
                 {blocker.fileName() + QStringLiteral("/settings.json"), QStringLiteral("w"),
                  QStringLiteral("3")});
    ASSERT_TRUE(writer.waitForFinished(30000));
    EXPECT_EQ(writer.exitCode(), 1);
    const QString errors = QString::fromLocal8Bit(writer.readAllStandardError());
    EXPECT_EQ(errors.count(QStringLiteral("klosia: cannot save settings to ")), 1)
        << errors.toStdString();
}

}  // namespace
}  // namespace klosia
