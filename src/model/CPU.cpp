#include "model/CPU.h"

#include <QStringDecoder>

#include <atomic>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <string_view>

#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "log/Vezizur.h"
#include "model/CPUSample.h"
#include "platform/ProcessStatus.h"

namespace klosia {

namespace {

std::atomic<CPU*> installedShared{nullptr};

// C's conversions take one leading '+'; from_chars does not, so it is dropped here. A second
// sign after it ("+-5") stays and fails the parse.
std::string_view withoutPlus(std::string_view piece) {
    if (piece.size() > 1 && piece.front() == '+' && piece[1] != '-' && piece[1] != '+') {
        piece.remove_prefix(1);
    }
    return piece;
}

template <typename T>
std::optional<T> parseWhole(std::string_view piece) {
    piece = withoutPlus(piece);
    T value{};
    const char* end = piece.data() + piece.size();
    const auto [ptr, ec] = std::from_chars(piece.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<CPUEntry> parseLine(std::string_view line) {
    std::string_view pieces[2];
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) {
            space = line.size();
        }
        if (space > start) {
            if (count == 2) {
                return std::nullopt;
            }
            pieces[count++] = line.substr(start, space - start);
        }
        start = space + 1;
    }
    if (count != 2) {
        return std::nullopt;
    }
    const auto pid = parseWhole<std::int64_t>(pieces[0]);
    const auto cpu = parseWhole<float>(pieces[1]);
    if (!pid || !cpu || !std::isfinite(*cpu)) {
        return std::nullopt;
    }
    return CPUEntry{*pid, *cpu};
}

bool isUtf8(const QByteArray& bytes) {
    // Stateless: a sequence cut off at the end is an error, not something to wait for.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder(bytes);
    return !decoder.hasError();
}

}  // namespace

CPU::CPU(ProcessStatus* source) : source_(source) {}

CPU& CPU::shared() {
    if (CPU* instance = installedShared.load(std::memory_order_acquire)) {
        return *instance;
    }
    static CPU fallback(nullptr);
    return fallback;
}

void CPU::setShared(CPU* instance) {
    installedShared.store(instance, std::memory_order_release);
}

std::vector<CPUEntry> CPU::parse(const QByteArray& output) {
    std::vector<CPUEntry> entries;
    if (!isUtf8(output)) {
        return entries;
    }
    const std::string_view text(output.constData(), static_cast<std::size_t>(output.size()));
    std::size_t start = text.find('\n');  // the column header
    while (start != std::string_view::npos) {
        ++start;
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (const auto entry = parseLine(line)) {
            entries.push_back(*entry);
        }
        start = end;
    }
    return entries;
}

void CPU::sample(Completion completion) {
    {
        const std::lock_guard lock(mutex_);
        completion_ = std::move(completion);
    }
    std::optional<QByteArray> output = source_ != nullptr ? source_->sample() : std::nullopt;
    if (!output) {
        logger.log("cpu: the process status listing could not be produced", VezizurLevel::error);
        return;
    }
    const std::vector<CPUEntry> entries = parse(*output);
    Completion receiver;
    {
        const std::lock_guard lock(mutex_);
        receiver = completion_;
    }
    if (receiver) {
        receiver(entries);
    }
}

void CPU::broadcastSample(Dispatcher& dispatcher, std::source_location where) {
    dispatcher.background([where] {
        CPU::shared().sample([where](const std::vector<CPUEntry>& entries) {
            notify(names::cpuDidChanged, std::make_shared<const CPUSample>(entries), 0, where);
        });
    });
}

}  // namespace klosia
