#include "platform/linux/SystemdUnit.h"

#include <QByteArray>

#include <string>
#include <vector>

namespace klosia {

namespace {

constexpr std::string_view kScope = ".scope";
constexpr std::string_view kService = ".service";
constexpr std::string_view kApplication = "app-";
constexpr std::string_view kUnified = "0::";
// systemd refuses longer names (UNIT_NAME_MAX holds the terminator too).
constexpr std::size_t kMaxName = 255;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// systemd's \xNN escapes undone; nullopt for a backslash that starts no such escape.
std::optional<std::string> unescape(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (i + 3 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexDigit(text[i + 2]);
        const int low = hexDigit(text[i + 3]);
        if (text[i + 1] != 'x' || high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return bytes;
}

// One dash-separated part of a name as text; empty when it is empty, badly escaped, not UTF-8,
// or holds what no file name of a desktop entry may (a slash, a control character).
QString decodedPart(std::string_view part) {
    const std::optional<std::string> bytes = unescape(part);
    if (!bytes || bytes->empty()) {
        return {};
    }
    for (const char c : *bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '/') {
            return {};
        }
    }
    const QByteArray raw(bytes->data(), static_cast<qsizetype>(bytes->size()));
    QString text = QString::fromUtf8(raw);
    return text.toUtf8() == raw ? text : QString();
}

std::vector<std::string_view> splitAtDashes(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dash = text.find('-', start);
        parts.push_back(text.substr(start, dash - start));
        if (dash == std::string_view::npos) {
            return parts;
        }
        start = dash + 1;
    }
}

}  // namespace

std::optional<SystemdUnit> SystemdUnit::fromCgroup(std::string_view content) {
    std::string_view path;
    bool found = false;
    while (!content.empty() && !found) {
        const std::size_t end = content.find('\n');
        const std::string_view line = content.substr(0, end);
        if (line.starts_with(kUnified)) {
            path = line.substr(kUnified.size());
            found = true;
        }
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    }
    while (found && !path.empty()) {
        const std::size_t slash = path.rfind('/');
        const std::string_view component =
            slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (component.ends_with(kScope) || component.ends_with(kService)) {
            // The innermost unit or none: the ones around it (user@.service) are not the
            // process's own.
            return fromName(component);
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    }
    return std::nullopt;
}

std::optional<SystemdUnit> SystemdUnit::fromName(std::string_view name) {
    if (name.size() > kMaxName) {
        return std::nullopt;
    }
    for (const char c : name) {
        // systemd escapes everything else, so anything else is not one of its names.
        if (c <= ' ' || c > '~' || c == '/') {
            return std::nullopt;
        }
    }
    SystemdUnit unit;
    std::string_view stem;
    if (name.ends_with(kScope)) {
        unit.kind_ = Kind::scope;
        stem = name.substr(0, name.size() - kScope.size());
    } else if (name.ends_with(kService)) {
        unit.kind_ = Kind::service;
        stem = name.substr(0, name.size() - kService.size());
    } else {
        return std::nullopt;
    }
    if (stem.empty()) {
        return std::nullopt;
    }
    unit.name_ = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    unit.readApplication(stem);
    return unit;
}

void SystemdUnit::readApplication(std::string_view stem) {
    if (!stem.starts_with(kApplication)) {
        return;
    }
    std::string_view rest = stem.substr(kApplication.size());
    if (kind_ == Kind::service) {
        // An '@' is always the instance's: systemd escapes it anywhere else.
        const std::size_t at = rest.find('@');
        if (at != std::string_view::npos) {
            if (at + 1 == rest.size()) {
                return;  // a template, which never runs
            }
            rest = rest.substr(0, at);
        }
    } else {
        const std::size_t dash = rest.rfind('-');
        if (dash == std::string_view::npos || dash + 1 == rest.size()) {
            return;
        }
        rest = rest.substr(0, dash);
    }
    const std::vector<std::string_view> parts = splitAtDashes(rest);
    QString launcher;
    QString id;
    if (parts.size() == 1) {
        id = decodedPart(parts.front());
    } else if (parts.size() == 2) {
        launcher = decodedPart(parts.front());
        id = decodedPart(parts.back());
        if (launcher.contains(QLatin1Char('.'))) {
            return;
        }
    }
    if (id.isEmpty() || (parts.size() == 2 && launcher.isEmpty())) {
        return;
    }
    launcher_ = launcher;
    desktopId_ = id;
}

}  // namespace klosia
