#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "log/Vezizur.h"
#include "support/LogCapture.h"

using namespace klosia;
using namespace std::chrono;

namespace {

// A logger whose lines land in `lines`, at a fixed moment.
struct Recorder {
    Vezizur log;
    std::vector<std::string> lines;
    Recorder() {
        log.sink = [this](std::string_view line) { lines.emplace_back(line); };
        log.clock = [] { return system_clock::time_point(seconds(1'709'647'629)); };
        log.environment = VezizurEnvironment::debug;
    }
};

// Runs `body` with the process's standard output sent to a file, and returns what it wrote.
template <typename F>
std::string capturedStdout(F body) {
    std::fflush(stdout);
    char path[] = "/tmp/klosia-stdout-XXXXXX";
    const int fd = mkstemp(path);
    const int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string out;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    unlink(path);
    return out;
}

class ZoneAndLocale {
public:
    ZoneAndLocale(const char* zone, const char* locale)
        : previousLocale_(icu::Locale::getDefault()) {
        const char* tz = std::getenv("TZ");
        if (tz != nullptr) {
            previousZone_ = tz;
        }
        hadZone_ = tz != nullptr;
        setenv("TZ", zone, 1);
        tzset();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(locale), status);
    }
    ~ZoneAndLocale() {
        if (hadZone_) {
            setenv("TZ", previousZone_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(previousLocale_, status);
    }

private:
    icu::Locale previousLocale_;
    std::string previousZone_;
    bool hadZone_ = false;
};

system_clock::time_point utc(int y, unsigned m, unsigned d, int h) {
    return sys_days(year(y) / month(m) / day(d)) + hours(h);
}

}  // namespace

TEST(VezizurSettings, ShippedConfigurationWritesNothing) {
    Vezizur log;
    EXPECT_EQ(log.version, "1.0");
    EXPECT_EQ(log.print.rawValue, 17);
    EXPECT_EQ(log.dateFormat, "YYYY-MM-dd HH:mm:ss");
#if defined(KLOSIA_DEBUG_LOG)
    EXPECT_EQ(log.level, VezizurLevel::all);
    EXPECT_EQ(log.environment, VezizurEnvironment::debug);
#else
    EXPECT_EQ(log.level.rawValue, 6);
    EXPECT_EQ(log.environment.rawValue, 1);
    const std::string out = capturedStdout([&] {
        log.log("info", VezizurLevel::info, "Klosia/a.cpp", "f()", 1);
        log.log("failure", VezizurLevel::error, "Klosia/a.cpp", "f()", 2);
    });
    EXPECT_EQ(out, "");
#endif
}

TEST(VezizurSettings, OptionSetsCombineBitwise) {
    EXPECT_EQ(VezizurLevel::all.rawValue, 7);
    EXPECT_EQ(VezizurPrint::all.rawValue, 31);
    EXPECT_EQ(VezizurEnvironment::all.rawValue, 3);
    const auto both = VezizurLevel::fromList({VezizurLevel::info, VezizurLevel::error});
    EXPECT_EQ(both.rawValue, 5);
    EXPECT_TRUE(both.contains(VezizurLevel::error));
    EXPECT_FALSE(both.contains(VezizurLevel::warning));
    EXPECT_TRUE(both.isSubset(VezizurLevel::all));
    EXPECT_TRUE(VezizurLevel::all.isSuperset(both));
    EXPECT_TRUE(both.isDisjoint(VezizurLevel::warning));
    EXPECT_EQ(both.symmetricDifference(VezizurLevel::all), VezizurLevel::warning);
    EXPECT_EQ(VezizurLevel::all.subtracting(both), VezizurLevel::warning);
    auto set = VezizurPrint{};
    EXPECT_TRUE(set.isEmpty());
    set.insert(VezizurPrint::message);
    set.insert(VezizurPrint::timestamp);
    set.remove(VezizurPrint::timestamp);
    EXPECT_EQ(set, VezizurPrint::message);
}

TEST(VezizurOutput, DebugEnvironmentWritesExactlyOneLineToStandardOutput) {
    Vezizur log;
    log.environment = VezizurEnvironment::debug;
    log.level = VezizurLevel::warning | VezizurLevel::error;
    log.print = VezizurPrint::message;
    const std::string out = capturedStdout([&] {
        log.log("dropped", VezizurLevel::info, "Klosia/a.cpp", "f()", 1);
        log.log("kept", VezizurLevel::error, "Klosia/a.cpp", "f()", 2);
    });
    EXPECT_EQ(out, std::string(Vezizur::mark(VezizurLevel::error)) + " kept\n");

    log.environment = VezizurEnvironment::release;
    EXPECT_EQ(capturedStdout([&] { log.log("x", VezizurLevel::error, "f", "g", 3); }), "");
}

TEST(VezizurOutput, LevelFilterNeedsEveryBitOfTheMessageLevel) {
    Recorder r;
    r.log.print = VezizurPrint::message;
    const VezizurLevel infoAndWarning{3};
    r.log.level = VezizurLevel::warning;
    r.log.log("mixed", infoAndWarning, "f", "g", 1);
    EXPECT_TRUE(r.lines.empty());
    r.log.level = VezizurLevel::info | VezizurLevel::warning;
    r.log.log("mixed", infoAndWarning, "f", "g", 1);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], "❓  mixed");
}

TEST(VezizurOutput, MarksAreDistinctSingleEmojis) {
    const std::string info(Vezizur::mark(VezizurLevel::info));
    const std::string warning(Vezizur::mark(VezizurLevel::warning));
    const std::string error(Vezizur::mark(VezizurLevel::error));
    EXPECT_EQ(warning, "🟡 ");
    EXPECT_NE(info, error);
    for (const auto& mark : {info, error}) {
        EXPECT_NE(mark, warning);
        EXPECT_NE(mark, "❓ ");
        EXPECT_EQ(mark.back(), ' ');
        EXPECT_EQ(mark.size(), 5u);  // one four-byte emoji and the space
    }
}

TEST(VezizurOutput, PartsFollowInFixedOrder) {
    const ZoneAndLocale fixed("UTC", "en_US");
    Recorder r;
    r.log.level = VezizurLevel::all;

    r.log.print = VezizurPrint{};
    r.log.log("hello", VezizurLevel::warning, "Demo/Main.src", "run()", 12);
    r.log.print = VezizurPrint::all;
    r.log.log("hello", VezizurLevel::warning, "Demo/Main.src", "run()", 12);
    r.log.print = VezizurPrint::message | VezizurPrint::lineNumber;
    r.log.log("hello", VezizurLevel::warning, "Demo/Main.src", "run()", 12);
    r.log.print = VezizurPrint::timestamp | VezizurPrint::message;
    r.log.log("hello", VezizurLevel::warning, "Demo/Main.src", "run()", 12);

    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0], "🟡 ");
    EXPECT_EQ(r.lines[1],
              "🟡 2024-03-05 14:07:09 \u25B6\uFE0E [file: Demo/Main.src] [function: run()] "
              "[line: 12] hello");
    EXPECT_EQ(r.lines[2], "🟡  [line: 12] hello");
    EXPECT_EQ(r.lines[3], "🟡 2024-03-05 14:07:09 ▶︎ hello");
}

TEST(VezizurTimestamp, WeekBasedYearAtTheTurnOfTheYear) {
    {
        const ZoneAndLocale us("UTC", "en_US");
        // Monday 30 December 2024 lies in the first week of 2025.
        EXPECT_EQ(Vezizur::formatDate(utc(2024, 12, 30, 12), "YYYY-MM-dd HH:mm:ss"),
                  "2025-12-30 12:00:00");
        EXPECT_EQ(Vezizur::formatDate(utc(2024, 12, 27, 12), "YYYY-MM-dd HH:mm:ss"),
                  "2024-12-27 12:00:00");
        // Friday 1 January 2021 starts week 1 of 2021 where weeks start on Sunday...
        EXPECT_EQ(Vezizur::formatDate(utc(2021, 1, 1, 0), "YYYY"), "2021");
    }
    {
        // ...but belongs to week 53 of 2020 under the ISO rules of a German locale.
        const ZoneAndLocale de("UTC", "de_DE");
        EXPECT_EQ(Vezizur::formatDate(utc(2021, 1, 1, 0), "YYYY-MM-dd"), "2020-01-01");
    }
}

TEST(VezizurTimestamp, UsesTheUsersTimeZone) {
    const ZoneAndLocale tokyo("Asia/Tokyo", "en_US");
    EXPECT_EQ(Vezizur::formatDate(utc(2024, 12, 31, 20), "YYYY-MM-dd HH:mm"), "2025-01-01 05:00");
}

TEST(VezizurCallSite, PositionComesFromTheCompiler) {
    test::LogCapture capture;
    capture.instance().print = VezizurPrint::all.subtracting(VezizurPrint::timestamp);
    const int line = __LINE__ + 1;
    logger.log("from the test", VezizurLevel::info);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(Vezizur::mark(VezizurLevel::info)) +
                            " [file: Klosia/vezizur_test.cpp] [function: TestBody()] [line: " +
                            std::to_string(line) + "] from the test");
}

TEST(VezizurCallSite, IdentifiersAreShortened) {
    EXPECT_EQ(Vezizur::functionIdentifier("void klosia::Preferences::load()"), "load()");
    EXPECT_EQ(Vezizur::functionIdentifier(
                  "static void klosia::AppDelegate::terminate(const App&, Completion)"),
              "terminate()");
    EXPECT_EQ(Vezizur::functionIdentifier("klosia::Foo::run()::<lambda()>"), "run()");
    EXPECT_EQ(Vezizur::functionIdentifier("main"), "main");
    EXPECT_EQ(Vezizur::fileIdentifier("/work/src/settings/Preferences.cpp"),
              "Klosia/Preferences.cpp");
    EXPECT_EQ(Vezizur::fileIdentifier("Plain.cpp"), "Klosia/Plain.cpp");
}

TEST(VezizurCallSite, AcceptsQtAndStandardStrings) {
    test::LogCapture capture;
    capture.instance().print = VezizurPrint::message;
    logger.log(QStringLiteral("Grüße"), VezizurLevel::error);
    logger.log(std::string("std"), VezizurLevel::error);
    logger.log(std::string_view("view"), VezizurLevel::error);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "🔴  Grüße");
    EXPECT_EQ(lines[2], "🔴  view");
}
