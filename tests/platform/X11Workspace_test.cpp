#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "platform/x11/EndedProcesses.h"
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

TEST(X11WorkspaceTest, AScanBegunBeforeAProcessEndedDoesNotListItAgain) {
    const ApplicationKey editor{100, 5000, 0, {}};
    const ApplicationKey other{200, 6000, 0, {}};
    EndedProcesses ended;
    // Requests 1..3 were made; scans serving 2 and 3 may still come. Then the editor ended.
    ended.ended(editor, 3);
    EXPECT_TRUE(ended.hides(editor, 2));
    EXPECT_TRUE(ended.hides(editor, 3));
    EXPECT_FALSE(ended.hides(other, 3));
    ended.served(3);
    EXPECT_TRUE(ended.hides(editor, 3)) << "another scan serving request 3 is no newer";
    // Request 4 came after the end: its scan began after the exit and cannot list it.
    EXPECT_FALSE(ended.hides(editor, 4));
    ended.served(4);
    EXPECT_EQ(ended.size(), 0U);
}

}  // namespace
}  // namespace klosia
