#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

#include "platform/UserDefaults.h"

namespace klosia::test {

// The settings of one write of the crash writer: large enough that a write takes a while,
// and every value derived from the one generation number.
struct CrashGeneration {
    static constexpr int kBlobs = 8;
    static constexpr int kBlobLength = 96 * 1024;
    static constexpr int kDataLength = 64 * 1024;

    static QString blobKey(int index) { return QStringLiteral("blob%1").arg(index); }

    static QString blob(std::int64_t generation, int index) {
        const auto fill = QLatin1Char(static_cast<char>('a' + (generation + index) % 26));
        return QStringLiteral("g=%1;").arg(generation) + QString(kBlobLength, fill);
    }

    static QByteArray data(std::int64_t generation) {
        QByteArray bytes(kDataLength, '\0');
        for (int i = 0; i < kDataLength; ++i) {
            bytes[i] = static_cast<char>((generation * 31 + i) & 0xff);
        }
        return bytes;
    }

    static void store(UserDefaults& defaults, std::int64_t generation) {
        for (int i = 0; i < kBlobs; ++i) {
            defaults.set(blobKey(i), blob(generation, i));
        }
        defaults.set(QStringLiteral("data"), data(generation));
        defaults.set(QStringLiteral("even"), generation % 2 == 0);
        defaults.set(QStringLiteral("generation"), generation);
    }

    // Empty when `defaults` holds exactly one whole generation (or nothing at all), otherwise
    // what is wrong.
    static QString check(const UserDefaults& defaults) {
        const auto generation = defaults.integer(QStringLiteral("generation"));
        if (!generation) {
            for (int i = 0; i < kBlobs; ++i) {
                if (defaults.object(blobKey(i))) {
                    return QStringLiteral("values without a generation");
                }
            }
            return {};
        }
        for (int i = 0; i < kBlobs; ++i) {
            if (defaults.string(blobKey(i)) != blob(*generation, i)) {
                return QStringLiteral("%1 is not of generation %2")
                    .arg(blobKey(i))
                    .arg(*generation);
            }
        }
        if (defaults.data(QStringLiteral("data")) != data(*generation)) {
            return QStringLiteral("data is not of generation %1").arg(*generation);
        }
        if (defaults.boolean(QStringLiteral("even")) != (*generation % 2 == 0)) {
            return QStringLiteral("even is not of generation %1").arg(*generation);
        }
        return {};
    }
};

}  // namespace klosia::test
