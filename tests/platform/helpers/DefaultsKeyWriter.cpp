// Writes its own keys into a settings file, one save per key, while other writers may write
// the same file; the tests of two writers check that no key of either is lost.
//
// Usage: defaults_key_writer <settings file> <name> <count>
// Sets "<name>.1" = 1 ... "<name>.<count>" = count and "last" = <name>, saving after each key.
// Exits with 1 when any save failed (the failures go to standard error once each).

#include <cstdio>

#include "platform/linux/FileUserDefaults.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <settings file> <name> <count>\n", argv[0]);
        return 2;
    }
    klosia::FileUserDefaults defaults(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    int failures = 0;
    for (int i = 1; i <= count; ++i) {
        defaults.set(QStringLiteral("%1.%2").arg(name).arg(i), std::int64_t{i});
        defaults.set(QStringLiteral("last"), name);
        failures += defaults.synchronize() ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
