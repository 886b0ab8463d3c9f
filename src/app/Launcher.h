#pragma once

namespace klosia {

// Builds the program from its parts and runs it; main() only calls run().
class Launcher {
public:
    static int run(int argc, char** argv);
};

}  // namespace klosia
