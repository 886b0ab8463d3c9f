#include <gtest/gtest.h>
#include <QApplication>

#include <cstdio>

// Session tests run inside tests/session/run-session.sh: a real X server, window manager,
// tray and notification daemon on a private D-Bus bus.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("DISPLAY")) {
        std::fprintf(stderr, "session tests need DISPLAY: run them through run-session.sh\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Set and empty: the programs the tests start never look for updates on the network.
    qputenv("KLOSIA_UPDATE_FEED", QByteArray());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
