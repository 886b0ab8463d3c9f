#include "preferences/CopyrightLine.h"

#include <QDate>

#include "core/AppInfo.h"

namespace klosia {

QString CopyrightLine::format(const QString& format, int year, const QString& maker) {
    QString line;
    line.reserve(format.size() + maker.size() + 4);
    bool yearUsed = false;
    bool makerUsed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        const QChar next =
            c == QLatin1Char('%') && i + 1 < format.size() ? format.at(i + 1) : QChar();
        if (next == QLatin1Char('%')) {
            line += QLatin1Char('%');
        } else if (next == QLatin1Char('d') && !yearUsed) {
            line += QString::number(year);
            yearUsed = true;
        } else if (next == QLatin1Char('s') && !makerUsed) {
            line += maker;
            makerUsed = true;
        } else {
            // Any other character, or a sequence that stays as text (its next character is
            // copied next).
            line += c;
            continue;
        }
        ++i;
    }
    return line;
}

QString CopyrightLine::current() {
    return format(QString::fromUtf8(appinfo::kCopyrightFormat), QDate::currentDate().year(),
                  QString::fromUtf8(appinfo::kMakerName));
}

}  // namespace klosia
