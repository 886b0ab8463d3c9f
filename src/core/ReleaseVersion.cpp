#include "core/ReleaseVersion.h"

#include <algorithm>

namespace klosia {

namespace {

bool allDigits(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

// Two digit strings without leading zeros: the longer is the larger, else the first difference.
std::strong_ordering compareNumbers(const QString& a, const QString& b) {
    if (a.size() != b.size()) {
        return a.size() <=> b.size();
    }
    const int order = QString::compare(a, b);
    return order <=> 0;
}

}  // namespace

std::optional<ReleaseVersion> ReleaseVersion::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    const QStringList parts = trimmed.split(QLatin1Char('.'));
    ReleaseVersion version;
    for (const QString& part : parts) {
        if (!allDigits(part)) {
            return std::nullopt;
        }
        qsizetype first = 0;
        while (first + 1 < part.size() && part.at(first) == QLatin1Char('0')) {
            ++first;
        }
        version.components_.append(part.mid(first));
    }
    while (!version.components_.isEmpty() && version.components_.last() == QLatin1String("0")) {
        version.components_.removeLast();
    }
    version.text_ = trimmed;
    return version;
}

std::strong_ordering ReleaseVersion::operator<=>(const ReleaseVersion& other) const {
    const qsizetype count = std::max(components_.size(), other.components_.size());
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < count; ++i) {
        const QString& mine = i < components_.size() ? components_.at(i) : zero;
        const QString& theirs = i < other.components_.size() ? other.components_.at(i) : zero;
        if (const std::strong_ordering order = compareNumbers(mine, theirs); std::is_neq(order)) {
            return order;
        }
    }
    return std::strong_ordering::equal;
}

}  // namespace klosia
