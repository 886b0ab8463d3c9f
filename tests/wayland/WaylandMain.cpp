// The Wayland tests' main: an event loop for the workspaces that follow the desktop, no display
// of Qt's own (the workspace holds a Wayland connection of its own).
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
