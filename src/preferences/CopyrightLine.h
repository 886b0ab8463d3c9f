#pragma once

#include <QString>

namespace klosia {

// The About tab's copyright line, made from the configured format with the year and the maker's
// name. The format is text from the build configuration, never handed to printf: only its first
// "%d" becomes the year and its first "%s" the maker's name, "%%" is a percent sign, and every
// other "%" sequence ("%n", "%x", a second "%s") stays as written. So no format can read or
// write memory, whatever it holds.
class CopyrightLine {
public:
    CopyrightLine() = delete;

    static QString format(const QString& format, int year, const QString& maker);
    // The configured format with this year (Gregorian, local time) and the configured maker.
    static QString current();
};

}  // namespace klosia
