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
        const QChar next = i + 1 < format.size() ? format.at(i + 1) : QChar();
        if (c != QLatin1Char('%') || next.isNull()) {
            line += c;
        } else if (next == QLatin1Char('%')) {
            line += QLatin1Char('%');
            ++i;
        } else if (next == QLatin1Char('d') && !yearUsed) {
            line += QString::number(year);
            yearUsed = true;
            ++i;
        } else if (next == QLatin1Char('s') && !makerUsed) {
            line += maker;
            makerUsed = true;
            ++i;
        } else {
            line += c;  // the sequence stays as text; its next character is copied next
        }
    }
    return line;
}

QString CopyrightLine::current() {
    return format(QString::fromUtf8(appinfo::kCopyrightFormat), QDate::currentDate().year(),
                  QString::fromUtf8(appinfo::kMakerName));
}

}  // namespace klosia
