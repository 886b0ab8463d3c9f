#include "log/Vezizur.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace klosia {

namespace {

#if defined(KLOSIA_DEBUG_LOG)
constexpr VezizurLevel kBuildLevel = VezizurLevel::all;
constexpr VezizurEnvironment kBuildEnvironment = VezizurEnvironment::debug;
#else
constexpr VezizurLevel kBuildLevel = VezizurLevel::warning | VezizurLevel::error;
constexpr VezizurEnvironment kBuildEnvironment = VezizurEnvironment::release;
#endif

void writeToStdout(std::string_view line) {
    // One write per line so lines from several threads do not interleave.
    std::string out(line);
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

// ICU formatters are costly to build and not safe to share between threads: one per thread,
// rebuilt when the pattern changes.
struct ThreadFormatter {
    std::string pattern;
    std::unique_ptr<icu::SimpleDateFormat> format;
};

}  // namespace

Vezizur::Vezizur()
    : level(kBuildLevel),
      print(VezizurPrint::timestamp | VezizurPrint::message),
      environment(kBuildEnvironment),
      sink(writeToStdout),
      clock([] { return std::chrono::system_clock::now(); }) {}

std::string_view Vezizur::mark(VezizurLevel messageLevel) {
    if (messageLevel == VezizurLevel::info) {
        return "🔵 ";
    }
    if (messageLevel == VezizurLevel::warning) {
        return "🟡 ";
    }
    if (messageLevel == VezizurLevel::error) {
        return "🔴 ";
    }
    return "❓ ";
}

std::string Vezizur::formatDate(std::chrono::system_clock::time_point time,
                                const std::string& pattern) {
    thread_local ThreadFormatter cached;
    if (!cached.format || cached.pattern != pattern) {
        UErrorCode status = U_ZERO_ERROR;
        auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                              icu::Locale::getDefault(), status);
        if (U_FAILURE(status)) {
            return {};
        }
        cached.format = std::move(format);
        cached.pattern = pattern;
    }
    // The default zone is read per call: the user may change it while the program runs. ICU
    // reads the host's zone into static buffers of its own, so one thread at a time (lines are
    // logged from the background queue too).
    static std::mutex zoneMutex;
    std::unique_ptr<icu::TimeZone> zone;
    {
        const std::lock_guard lock(zoneMutex);
        zone.reset(icu::TimeZone::detectHostTimeZone());
    }
    if (zone) {
        cached.format->setTimeZone(*zone);
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    icu::UnicodeString text;
    cached.format->format(static_cast<UDate>(millis), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string Vezizur::fileIdentifier(std::string_view path) {
    const auto slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return "Klosia/" + std::string(name);
}

std::string Vezizur::functionIdentifier(std::string_view signature) {
    // "void klosia::Preferences::load()" -> "load()"; lambdas report their enclosing function.
    const auto paren = signature.find('(');
    if (paren == std::string_view::npos) {
        return std::string(signature);
    }
    auto begin = paren;
    while (begin > 0) {
        const char c = signature[begin - 1];
        const bool identifier = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '_' || c == '~';
        if (!identifier) {
            break;
        }
        --begin;
    }
    return std::string(signature.substr(begin, paren - begin)) + "()";
}

std::string Vezizur::format(const LogText& message, VezizurLevel messageLevel,
                            std::string_view file, std::string_view function,
                            std::int64_t line) const {
    if (!messageLevel.isSubset(level)) {
        return {};
    }
    std::string out(mark(messageLevel));
    if (print.contains(VezizurPrint::timestamp)) {
        out += formatDate(clock(), dateFormat);
        out += " \u25B6\uFE0E";
    }
    if (print.contains(VezizurPrint::fileName)) {
        out += " [file: ";
        out += file;
        out += "]";
    }
    if (print.contains(VezizurPrint::functionName)) {
        out += " [function: ";
        out += function;
        out += "]";
    }
    if (print.contains(VezizurPrint::lineNumber)) {
        out += " [line: " + std::to_string(line) + "]";
    }
    if (print.contains(VezizurPrint::message)) {
        out += " ";
        out += message.str();
    }
    return out;
}

void Vezizur::log(const LogText& message, VezizurLevel messageLevel, std::string_view file,
                  std::string_view function, std::int64_t line) const {
    // Filtering first is not visible from outside and spares the date formatting of every
    // dropped line.
    if (!environment.contains(VezizurEnvironment::debug) || !messageLevel.isSubset(level)) {
        return;
    }
    const std::string text = format(message, messageLevel, file, function, line);
    if (sink) {
        sink(text);
    }
}

LoggerHandle logger;

Vezizur& LoggerHandle::target() const {
    static Vezizur program;
    Vezizur* current = target_.load(std::memory_order_acquire);
    return current != nullptr ? *current : program;
}

void LoggerHandle::pointAt(Vezizur* instance) {
    target_.store(instance, std::memory_order_release);
}

void LoggerHandle::log(const LogText& message, VezizurLevel level,
                       std::source_location where) const {
    const Vezizur& target = this->target();
    if (!target.environment.contains(VezizurEnvironment::debug) || !level.isSubset(target.level)) {
        return;
    }
    target.log(message, level, Vezizur::fileIdentifier(where.file_name()),
               Vezizur::functionIdentifier(where.function_name()),
               static_cast<std::int64_t>(where.line()));
}

}  // namespace klosia
