#pragma once

#include <QString>

#include "platform/Platform.h"

namespace klosia {

struct CommandLine;

// Builds the program from its parts and runs it; main() only calls run().
class Launcher {
public:
    static int run(int argc, char** argv);

    // The desktop of a Linux/X11 session. Without an X display the workspace is missing and
    // *error says why.
    static Platform buildLinuxPlatform(QString* error);

private:
    static int runApplication(int argc, char** argv, const CommandLine& command);
};

}  // namespace klosia
