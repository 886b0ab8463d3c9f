#pragma once

#include <QString>
#include <QStringList>

#include <compare>
#include <optional>

namespace klosia {

// A release's version number such as "1.10.2": dot-separated whole numbers, compared numerically
// component by component ("1.10" is newer than "1.9"), missing components counting as zero
// ("1.2" and "1.2.0" are the same version). Components may be arbitrarily long: they are compared
// as digit strings, so no version overflows.
class ReleaseVersion {
public:
    // Nothing for an empty text or one with anything but digits and single dots between them
    // (surrounding white space is ignored; "v1.2", "1.2-beta" and "1..2" are not versions).
    static std::optional<ReleaseVersion> parse(const QString& text);

    // The components without leading zeros, trailing zero components dropped.
    const QStringList& components() const { return components_; }
    QString toString() const { return text_; }

    std::strong_ordering operator<=>(const ReleaseVersion& other) const;
    bool operator==(const ReleaseVersion& other) const {
        return (*this <=> other) == std::strong_ordering::equal;
    }

private:
    QStringList components_;
    QString text_;  // as parsed, trimmed
};

}  // namespace klosia
