#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "platform/x11/X11Workspace.h"

namespace klosia {
namespace {

// Restores DISPLAY whatever the test did with it.
class DisplayGuard {
public:
    DisplayGuard() : had_(qEnvironmentVariableIsSet("DISPLAY")), value_(qgetenv("DISPLAY")) {}
    ~DisplayGuard() {
        if (had_) {
            qputenv("DISPLAY", value_);
        } else {
            qunsetenv("DISPLAY");
        }
    }
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

private:
    bool had_;
    QByteArray value_;
};

TEST(X11WorkspaceTest, WithoutADisplayThereIsNoWorkspaceAndAClearMessage) {
    const DisplayGuard guard;
    qunsetenv("DISPLAY");
    QString error;
    EXPECT_EQ(createX11Workspace(&error), nullptr);
    EXPECT_EQ(error, QStringLiteral("cannot open the X display: DISPLAY is not set"));

    qputenv("DISPLAY", ":4711");  // no server there
    error.clear();
    EXPECT_EQ(createX11Workspace(&error), nullptr);
    EXPECT_EQ(error, QStringLiteral("cannot open the X display \":4711\""));
    EXPECT_EQ(createX11Workspace(nullptr), nullptr);
}

}  // namespace
}  // namespace klosia
