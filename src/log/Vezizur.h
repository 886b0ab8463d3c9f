#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <source_location>
#include <string>
#include <string_view>

#include "log/OptionSet.h"

namespace klosia {

struct VezizurLevel : OptionSet<VezizurLevel> {
    using OptionSet::OptionSet;
    static const VezizurLevel info;
    static const VezizurLevel warning;
    static const VezizurLevel error;
    static const VezizurLevel all;
};
inline constexpr VezizurLevel VezizurLevel::info{1};
inline constexpr VezizurLevel VezizurLevel::warning{2};
inline constexpr VezizurLevel VezizurLevel::error{4};
inline constexpr VezizurLevel VezizurLevel::all{7};

struct VezizurPrint : OptionSet<VezizurPrint> {
    using OptionSet::OptionSet;
    static const VezizurPrint timestamp;
    static const VezizurPrint fileName;
    static const VezizurPrint functionName;
    static const VezizurPrint lineNumber;
    static const VezizurPrint message;
    static const VezizurPrint all;
};
inline constexpr VezizurPrint VezizurPrint::timestamp{1};
inline constexpr VezizurPrint VezizurPrint::fileName{2};
inline constexpr VezizurPrint VezizurPrint::functionName{4};
inline constexpr VezizurPrint VezizurPrint::lineNumber{8};
inline constexpr VezizurPrint VezizurPrint::message{16};
inline constexpr VezizurPrint VezizurPrint::all{31};

struct VezizurEnvironment : OptionSet<VezizurEnvironment> {
    using OptionSet::OptionSet;
    static const VezizurEnvironment release;
    static const VezizurEnvironment debug;
    static const VezizurEnvironment all;
};
inline constexpr VezizurEnvironment VezizurEnvironment::release{1};
inline constexpr VezizurEnvironment VezizurEnvironment::debug{2};
inline constexpr VezizurEnvironment VezizurEnvironment::all{3};

// Any text a call site wants to log; keeps one log() signature for Qt and std strings.
class LogText {
public:
    LogText(const char* text) : text_(text == nullptr ? "" : text) {}  // NOLINT: implicit by design
    LogText(std::string_view text) : text_(text) {}                    // NOLINT
    LogText(const std::string& text) : text_(text) {}                  // NOLINT
    LogText(const QString& text) : text_(text.toStdString()) {}        // NOLINT
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// The program's logger. Its settings are fixed at build time in the shipped program; tests
// create their own instance and point `logger` at it.
class Vezizur {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using Sink = std::function<void(std::string_view line)>;

    Vezizur();

    std::string version = "1.0";
    VezizurLevel level;
    VezizurPrint print;
    VezizurEnvironment environment;
    std::string dateFormat = "YYYY-MM-dd HH:mm:ss";

    // Where lines go (standard output unless replaced) and where time comes from.
    Sink sink;
    Clock clock;

    void log(const LogText& message, VezizurLevel messageLevel, std::string_view file,
             std::string_view function, std::int64_t line) const;

    // The line that log() would write, without the newline; empty when filtered out.
    std::string format(const LogText& message, VezizurLevel messageLevel, std::string_view file,
                       std::string_view function, std::int64_t line) const;

    // The time formatted with an ICU pattern in the user's time zone and locale.
    static std::string formatDate(std::chrono::system_clock::time_point time,
                                  const std::string& pattern);

    // "Klosia/Name.cpp" from a compiler path, "load()" from a compiler signature.
    static std::string fileIdentifier(std::string_view path);
    static std::string functionIdentifier(std::string_view signature);

    static std::string_view mark(VezizurLevel messageLevel);
};

// What call sites write: logger.log("text", VezizurLevel::info); position comes from the compiler.
class LoggerHandle {
public:
    void log(const LogText& message, VezizurLevel level,
             std::source_location where = std::source_location::current()) const;

    Vezizur& target() const;
    // Points the handle at another logger (tests); nullptr restores the program's own.
    void pointAt(Vezizur* instance);

private:
    std::atomic<Vezizur*> target_{nullptr};
};

extern LoggerHandle logger;

}  // namespace klosia
