#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <thread>

#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "fakes/FakeSoundPlayer.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "platform/helpers/ScopedEnv.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "services/Sound.h"
#include "services/SoundFiles.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

using namespace klosia;

namespace {

class SoundTest : public ::testing::Test {
public:
    SoundTest() : bus(dispatcher), preferences(defaults) {
        NotificationBus::setDefaultCenter(&bus);
        Preferences::setShared(&preferences);
        Sound::setBackend(&player, &dispatcher);
    }
    ~SoundTest() override {
        Sound::setBackend(nullptr, nullptr);
        Preferences::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }

protected:
    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::RecordingDefaults defaults;
    Preferences preferences;
    test::FakeSoundPlayer player;
};

TEST_F(SoundTest, PlaysOnTheBackgroundQueueWithTheCallersPosition) {
    preferences.setPlaySounds(true);
    dispatcher.runUntilIdle();
    capture.clear();

    Sound::quitSingle();
    const int quitLine = __LINE__ - 1;
    Sound::klosia();
    const int klosiaLine = __LINE__ - 1;
    EXPECT_TRUE(player.played().isEmpty()) << "played on the caller's thread";
    EXPECT_EQ(dispatcher.pendingBackground(), 2U);

    dispatcher.runUntilIdle();
    EXPECT_EQ(player.played(), QStringList({Sound::kQuitSingle, Sound::kKlosia}));
    EXPECT_EQ(capture.matching("play quit: TestBody(), " + std::to_string(quitLine)).size(), 1U);
    EXPECT_EQ(capture.matching("play klosia: TestBody(), " + std::to_string(klosiaLine)).size(),
              1U);
}

TEST_F(SoundTest, NothingPlaysOrLogsWhileSoundsAreOff) {
    Sound::quitSingle();
    Sound::klosia();
    dispatcher.runUntilIdle();
    EXPECT_TRUE(player.played().isEmpty());
    EXPECT_TRUE(capture.matching("play quit").empty());
    EXPECT_TRUE(capture.matching("play klosia").empty());

    // The preference counts when the sound would start, not when it was asked for.
    preferences.setPlaySounds(true);
    Sound::quitSingle();
    preferences.setPlaySounds(false);
    dispatcher.runUntilIdle();
    EXPECT_TRUE(player.played().isEmpty());
    EXPECT_TRUE(capture.matching("play quit").empty());
}

TEST_F(SoundTest, AFailedSoundIsLoggedAsAnError) {
    preferences.setPlaySounds(true);
    player.failure = QStringLiteral("quit-single.wav not played: Not available");
    Sound::quitSingle();
    dispatcher.runUntilIdle();
    const auto lines = capture.matching("Not available");
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_TRUE(lines.front().starts_with(Vezizur::mark(VezizurLevel::error))) << lines.front();
}

TEST(SoundThreads, TheRealDispatcherPlaysOffTheMainThread) {
    QtDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    NotificationBus::setDefaultCenter(&bus);
    test::RecordingDefaults defaults;
    Preferences preferences(defaults);
    Preferences::setShared(&preferences);
    preferences.setPlaySounds(true);
    test::FakeSoundPlayer player;
    Sound::setBackend(&player, &dispatcher);

    Sound::klosia();
    EXPECT_TRUE(test::waitUntil([&] { return !player.played().isEmpty(); }));
    dispatcher.waitForBackground();
    Sound::setBackend(nullptr, nullptr);
    Preferences::setShared(nullptr);
    NotificationBus::setDefaultCenter(nullptr);

    ASSERT_EQ(player.threads().size(), 1U);
    EXPECT_NE(player.threads().front(), std::this_thread::get_id());
}

TEST(SoundFilesTest, BothSoundsAreFoundFromTheBuildTree) {
    const CanberraSoundPlayer player(SoundFiles::directories());
    for (const QLatin1String name : {Sound::kQuitSingle, Sound::kKlosia}) {
        const QString file = player.fileFor(name);
        EXPECT_TRUE(file.endsWith(name + QStringLiteral(".wav"))) << file.toStdString();
    }
    // Names never reach outside the sound directories.
    EXPECT_TRUE(player.fileFor(QStringLiteral("../sounds/klosia")).isEmpty());
    EXPECT_TRUE(player.fileFor(QStringLiteral("..")).isEmpty());
}

TEST(SoundFilesTest, OurFilesPlayThroughLibcanberra) {
    // ALSA's null device stands in for a sound card: libcanberra still has to find, read and
    // decode each file (a damaged one fails here), and nothing is heard.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QFile asoundrc(home.filePath(QStringLiteral(".asoundrc")));
    ASSERT_TRUE(asoundrc.open(QIODevice::WriteOnly));
    asoundrc.write("pcm.!default { type null }\n");
    asoundrc.close();
    const test::ScopedEnv env("HOME", QFile::encodeName(home.path()));

    CanberraSoundPlayer player(SoundFiles::directories());
    for (const QLatin1String name : {Sound::kQuitSingle, Sound::kKlosia}) {
        QString error;
        EXPECT_TRUE(player.play(name, error)) << error.toStdString();
    }
}

TEST(SoundFilesTest, AMissingSoundIsAFailureWithAReason) {
    CanberraSoundPlayer player(SoundFiles::directories());
    QString error;
    EXPECT_FALSE(player.play(QStringLiteral("no-such-sound"), error));
    EXPECT_TRUE(error.contains(QStringLiteral("no-such-sound"))) << error.toStdString();
}

}  // namespace
