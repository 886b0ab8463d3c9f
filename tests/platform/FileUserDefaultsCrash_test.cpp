#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <random>
#include <thread>

#include "log/Vezizur.h"
#include "platform/helpers/CrashGeneration.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using test::CrashGeneration;
using namespace std::chrono_literals;

// The last generation a writer reported as written, from its whole output; 0 for none.
std::int64_t lastReported(const QByteArray& output) {
    static const QRegularExpression wrote(QStringLiteral("wrote (\\d+)\\n"));
    std::int64_t last = 0;
    for (auto it = wrote.globalMatch(QString::fromLatin1(output)); it.hasNext();) {
        last = it.next().captured(1).toLongLong();
    }
    return last;
}

// A separate writer process is killed with SIGKILL at random moments, mostly in the middle of
// a write. Every load afterwards must see one whole write: the one it last reported, or the
// next one if that was renamed into place before the report got out.
TEST(FileUserDefaultsCrashTest, KilledWriterLeavesEitherTheOldOrTheNewFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.json"));
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayMs(0, 40);

    std::int64_t previous = 0;
    int killsLeavingTemporaryFiles = 0;
    int temporaryFiles = 0;
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    int iteration = 0;
    for (; iteration < 50 && std::chrono::steady_clock::now() < deadline; ++iteration) {
        SCOPED_TRACE(testing::Message() << "iteration " << iteration);
        QProcess writer;
        writer.start(QStringLiteral(KLOSIA_DEFAULTS_CRASH_WRITER), {path});
        ASSERT_TRUE(writer.waitForStarted(5000));
        QByteArray output;
        // The first writer is let finish one write, so that later kills always meet a file
        // with content; how long a write takes (disk, load of the machine) must not decide
        // whether any write ever completes.
        const char* awaited = iteration == 0 ? "wrote " : "ready\n";
        while (!output.contains(awaited)) {
            ASSERT_TRUE(writer.waitForReadyRead(5000)) << writer.readAllStandardError().data();
            output += writer.readAllStandardOutput();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(5000));
        output += writer.readAllStandardOutput();
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << writer.readAllStandardError().data();

        test::LogCapture capture;
        const FileUserDefaults loaded(path);
        const QString problem = CrashGeneration::check(loaded);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        EXPECT_TRUE(capture.matching(std::string(Vezizur::mark(VezizurLevel::error))).empty());

        const std::int64_t generation = loaded.integer(QStringLiteral("generation")).value_or(0);
        const std::int64_t reported = std::max(lastReported(output), previous);
        EXPECT_GE(generation, reported);
        EXPECT_LE(generation, reported + 1);
        previous = generation;

        const int leftovers = static_cast<int>(
            QDir(dir.path())
                .entryList(QDir::Files | QDir::Hidden)
                .filter(QRegularExpression(QStringLiteral("^\\.settings\\.json\\.tmp-")))
                .size());
        if (leftovers > temporaryFiles) {
            ++killsLeavingTemporaryFiles;
        }
        temporaryFiles = leftovers;
    }

    EXPECT_GE(iteration, 20) << "too few kills within the time limit";
    EXPECT_GT(previous, 0) << "the writer never finished a write";
    // Evidence that kills did land mid-write; the chance that none of them did is negligible.
    EXPECT_GT(killsLeavingTemporaryFiles, 0);
    std::printf("%d kills, generation %lld, %d killed mid-write\n", iteration,
                static_cast<long long>(previous), killsLeavingTemporaryFiles);

    // Every file in the directory is the settings file, its lock file or a leftover temporary;
    // nothing was judged damaged and set aside.
    const QString lockName = QFileInfo(FileUserDefaults(path).lockPath()).fileName();
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_TRUE(name == QStringLiteral("settings.json") || name == lockName ||
                    AtomicFile::isTemporaryFor(name, path))
            << name.toStdString();
    }
}

}  // namespace
}  // namespace klosia
