#include "app/Launcher.h"

int main(int argc, char** argv) {
    return klosia::Launcher::run(argc, argv);
}
