#include <gtest/gtest.h>
#include <QStringList>

#include <initializer_list>

#include "platform/linux/ExecCommand.h"

namespace klosia {
namespace {

TEST(ExecCommandTest, ExecValues) {
    EXPECT_EQ(ExecCommand::fromExec(QStringLiteral(
                  "env -u X A=1 B_2=\"x y\" \"/opt/My App/run\" --file=%f %U 100%%")),
              (QStringList{QStringLiteral("/opt/My App/run"), QStringLiteral("--file="),
                           QStringLiteral("100%")}));
    EXPECT_EQ(
        ExecCommand::fromExec(QStringLiteral("env -S \"python3 -u\" x.py")),
        (QStringList{QStringLiteral("python3"), QStringLiteral("-u"), QStringLiteral("x.py")}));
    EXPECT_TRUE(ExecCommand::fromExec(QStringLiteral("\"unterminated")).isEmpty());
    EXPECT_TRUE(ExecCommand::fromExec(QStringLiteral("   ")).isEmpty());
    EXPECT_TRUE(ExecCommand::fromExec(QStringLiteral("env A=1")).isEmpty());

    for (const char* name : {"python3", "/usr/bin/python3.11", "perl5.36.0", "bash", "java",
                             "/usr/lib/jvm/java-17/bin/java", "gjs-console", "node18"}) {
        EXPECT_TRUE(ExecCommand::isInterpreter(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"gedit", "/usr/bin/xterm", "shotwell", "python-app", ""}) {
        EXPECT_FALSE(ExecCommand::isInterpreter(QString::fromLatin1(name))) << name;
    }
    const auto script = [](std::initializer_list<const char*> argv) {
        QStringList list;
        for (const char* arg : argv) {
            list.append(QString::fromLatin1(arg));
        }
        return ExecCommand::scriptArgument(list);
    };
    EXPECT_EQ(script({"java", "-Xmx1g", "-cp", "lib/*", "-jar", "/opt/a.jar"}),
              QStringLiteral("/opt/a.jar"));
    EXPECT_EQ(script({"java", "-cp", "lib.jar", "org.example.Main"}),
              QStringLiteral("org.example.Main"));
    EXPECT_EQ(script({"python3", "-W", "ignore", "tool.py"}), QStringLiteral("tool.py"));
    EXPECT_EQ(script({"perl", "-e", "print 1"}), QString());
}

TEST(ExecCommandTest, InlineCodeOptionsDependOnTheInterpreter) {
    const auto script = [](std::initializer_list<const char*> argv) {
        QStringList list;
        for (const char* arg : argv) {
            list.append(QString::fromLatin1(arg));
        }
        return ExecCommand::scriptArgument(list);
    };
    // A shell's -e is errexit and -x tracing: the script still follows.
    EXPECT_EQ(script({"sh", "-e", "/opt/app/run.sh"}), QStringLiteral("/opt/app/run.sh"));
    EXPECT_EQ(script({"/bin/bash", "-x", "-e", "run.sh", "--flag"}), QStringLiteral("run.sh"));
    EXPECT_EQ(script({"bash", "-o", "pipefail", "+o", "history", "run.sh"}),
              QStringLiteral("run.sh"));
    EXPECT_EQ(script({"dash", "-c", "exec app"}), QString());
    EXPECT_EQ(script({"sh", "-ec", "exec app"}), QString());
    // Python's -E ignores the environment; -c (also clustered) is code.
    EXPECT_EQ(script({"python3.11", "-E", "-s", "tool.py"}), QStringLiteral("tool.py"));
    EXPECT_EQ(script({"python3", "-Bc", "import x"}), QString());
    // Perl and Ruby: -e and -E are code, also inside a cluster; -w is not.
    EXPECT_EQ(script({"perl", "-w", "tool.pl"}), QStringLiteral("tool.pl"));
    EXPECT_EQ(script({"perl", "-lne", "print"}), QString());
    EXPECT_EQ(script({"perl", "-E", "say 1"}), QString());
    EXPECT_EQ(script({"ruby", "-e", "p 1"}), QString());
    // Node takes its code option alone, and -r a module to preload.
    EXPECT_EQ(script({"node", "-r", "dotenv/config", "server.js"}), QStringLiteral("server.js"));
    EXPECT_EQ(script({"node", "--eval", "1"}), QString());
    EXPECT_EQ(script({"nodejs", "-p", "1"}), QString());
    EXPECT_EQ(script({"python3", "-m"}), QString());
    EXPECT_EQ(script({"bash"}), QString());
}

}  // namespace
}  // namespace klosia
