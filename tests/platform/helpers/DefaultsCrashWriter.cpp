// Rewrites a settings file in a loop until it is killed; the crash test of the settings file
// kills it at random moments and checks what is left.
//
// Usage: defaults_crash_writer <settings file>
// Prints "ready" once the file is loaded, then "wrote N" after each write of generation N.

#include <cstdio>

#include "platform/helpers/CrashGeneration.h"
#include "platform/linux/FileUserDefaults.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <settings file>\n", argv[0]);
        return 2;
    }
    klosia::FileUserDefaults defaults(QString::fromLocal8Bit(argv[1]));
    const QString problem = klosia::test::CrashGeneration::check(defaults);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "inconsistent at start: %s\n", qPrintable(problem));
        return 1;
    }
    std::int64_t generation = defaults.integer(QStringLiteral("generation")).value_or(0);
    std::printf("ready\n");
    std::fflush(stdout);
    while (true) {
        ++generation;
        klosia::test::CrashGeneration::store(defaults, generation);
        if (!defaults.synchronize()) {
            std::fprintf(stderr, "write of generation %lld failed\n",
                         static_cast<long long>(generation));
            return 1;
        }
        std::printf("wrote %lld\n", static_cast<long long>(generation));
        std::fflush(stdout);
    }
}
