#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "app/AppListPrinter.h"
#include "app/CommandLine.h"
#include "fakes/FakeRunningApplication.h"

using namespace klosia;

namespace {

CommandLine parse(std::initializer_list<const char*> words) {
    QStringList arguments{QStringLiteral("klosia")};
    for (const char* word : words) {
        arguments << QString::fromUtf8(word);
    }
    return CommandLine::parse(arguments);
}

MenuAppPtr entry(bool selected, const char* name, const char* id, MenuAppPolicy policy,
                 std::vector<RunningApplicationPtr> apps) {
    return std::make_shared<MenuApp>(selected, QString::fromUtf8(name), QString::fromUtf8(id),
                                     std::move(apps), policy);
}

// Runs the built program with a clean environment minus the display.
struct RunResult {
    int exitCode;
    QString out;
    QString err;
};
RunResult runKlosia(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KLOSIA_EXECUTABLE), arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(CommandLineParse, OptionsAndTheirErrors) {
    EXPECT_EQ(parse({}).action, CommandLine::Action::run);
    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::help);
    EXPECT_EQ(parse({"-v"}).action, CommandLine::Action::version);
    EXPECT_EQ(parse({"--list", "--bogus", "--help"}).action, CommandLine::Action::error);
    EXPECT_EQ(parse({"--help", "--bogus"}).action, CommandLine::Action::error);
    EXPECT_EQ(parse({"--list=3"}).error, QStringLiteral("unexpected value after '--list'"));
    EXPECT_EQ(parse({"--", "--list"}).error, QStringLiteral("unexpected argument '--list'"));

    const CommandLine list = parse({"--json", "--list", "--background"});
    EXPECT_EQ(list.action, CommandLine::Action::list);
    EXPECT_TRUE(list.json);
    EXPECT_TRUE(list.background);
    EXPECT_FALSE(parse({"--list"}).json);

    const CommandLine lonely = parse({"--json"});
    EXPECT_EQ(lonely.action, CommandLine::Action::error);
    EXPECT_TRUE(lonely.error.contains(QStringLiteral("--list")));
    EXPECT_TRUE(parse({"--frobnicate"}).error.contains(QStringLiteral("'--frobnicate'")));
    EXPECT_TRUE(parse({"stray"}).error.contains(QStringLiteral("unexpected argument")));

    const CommandLine preferences = parse({"--preferences"});
    EXPECT_EQ(preferences.action, CommandLine::Action::run);
    EXPECT_TRUE(preferences.preferences);
    EXPECT_EQ(parse({"--list", "--preferences"}).action, CommandLine::Action::error);
}

TEST(CommandLineParse, CommandsForTheRunningInstanceComeOneAtATime) {
    const CommandLine toggle = parse({"--toggle-menu"});
    EXPECT_EQ(toggle.action, CommandLine::Action::command);
    EXPECT_EQ(toggle.command, QStringLiteral("toggle-menu"));
    EXPECT_TRUE(toggle.target.isEmpty());
    EXPECT_EQ(parse({"--force-quit-all"}).command, QStringLiteral("force-quit-all"));
    for (const CommandLine& quit :
         {parse({"--quit", "org.example.Editor"}), parse({"--quit=org.example.Editor"})}) {
        EXPECT_EQ(quit.action, CommandLine::Action::command);
        EXPECT_EQ(quit.command, QStringLiteral("quit"));
        EXPECT_EQ(quit.target, QStringLiteral("org.example.Editor"));
    }
    EXPECT_EQ(parse({"--force-quit", "xlogo"}).target, QStringLiteral("xlogo"));

    EXPECT_EQ(parse({"--quit"}).action, CommandLine::Action::error) << "no identifier";
    EXPECT_EQ(parse({"--quit="}).error, QStringLiteral("--quit needs an identifier"));
    EXPECT_EQ(parse({"--quit-all", "--force-quit-all"}).error,
              QStringLiteral("give one command at a time"));
    EXPECT_EQ(parse({"--quit", "a", "--quit", "b"}).error,
              QStringLiteral("give one command at a time"));
    EXPECT_EQ(parse({"--list", "--quit-all"}).error,
              QStringLiteral("--quit-all does not go with --list"));
    EXPECT_EQ(parse({"--toggle-menu", "--preferences"}).action, CommandLine::Action::error);
    EXPECT_EQ(parse({"--quit-all", "stray"}).action, CommandLine::Action::error);
}

TEST(CommandLineProgram, WorksWithoutADisplay) {
    const RunResult version = runKlosia({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("Klosia "))) << version.out.toStdString();

    const RunResult help = runKlosia({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--list")));

    const RunResult unknown = runKlosia({QStringLiteral("--nope")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown option '--nope'")));
    EXPECT_TRUE(unknown.out.isEmpty());

    for (const QStringList& arguments :
         {QStringList{}, QStringList{QStringLiteral("--list"), QStringLiteral("--json")}}) {
        const RunResult headless = runKlosia(arguments);
        EXPECT_EQ(headless.exitCode, 1);
        EXPECT_TRUE(headless.err.contains(QStringLiteral("no X display")))
            << headless.err.toStdString();
    }
}

TEST(AppListPrinterTest, JsonCarriesEveryFieldOfAnEntry) {
    auto editor = test::FakeRunningApplication::make(QStringLiteral("Editor"),
                                                     QStringLiteral("org.example.Editor"),
                                                     ActivationPolicy::regular, 100);
    auto helper = test::FakeRunningApplication::make(QStringLiteral("Editor"),
                                                     QStringLiteral("org.example.Editor"),
                                                     ActivationPolicy::prohibited, 101);
    helper->active = true;
    auto tray = test::FakeRunningApplication::make(QStringLiteral("Tray"), QStringLiteral("tray"),
                                                   ActivationPolicy::accessory, 7);
    const std::vector<MenuAppPtr> apps{
        entry(true, "Editor", "org.example.Editor", MenuAppPolicy::always, {editor, helper}),
        entry(false, "Tray", "tray", MenuAppPolicy::never, {tray})};

    const QJsonArray array = QJsonDocument::fromJson(AppListPrinter::json(apps).toUtf8()).array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject first = array.at(0).toObject();
    EXPECT_EQ(first.value(QStringLiteral("name")).toString(), QStringLiteral("Editor"));
    EXPECT_EQ(first.value(QStringLiteral("bundleIdentifier")).toString(),
              QStringLiteral("org.example.Editor"));
    EXPECT_EQ(first.value(QStringLiteral("policy")).toString(), QStringLiteral("Always"));
    EXPECT_TRUE(first.value(QStringLiteral("selected")).toBool());
    EXPECT_EQ(first.value(QStringLiteral("pids")).toArray(), (QJsonArray{100, 101}));
    EXPECT_EQ(first.value(QStringLiteral("activationPolicy")).toString(),
              QStringLiteral("regular"));
    EXPECT_TRUE(first.value(QStringLiteral("active")).toBool());
    const QJsonObject second = array.at(1).toObject();
    EXPECT_EQ(second.value(QStringLiteral("activationPolicy")).toString(),
              QStringLiteral("accessory"));
    EXPECT_FALSE(second.value(QStringLiteral("selected")).toBool());
    EXPECT_FALSE(second.value(QStringLiteral("active")).toBool());

    EXPECT_EQ(AppListPrinter::json({}).trimmed(), QStringLiteral("[\n]"));
}

TEST(AppListPrinterTest, TableShowsTitlesChecksAndPids) {
    auto a = test::FakeRunningApplication::make(QStringLiteral("Editor"), QStringLiteral("ed"),
                                                ActivationPolicy::regular, 100);
    auto b = test::FakeRunningApplication::make(QStringLiteral("Editor"), QStringLiteral("ed"),
                                                ActivationPolicy::prohibited, 101);
    const QString table =
        AppListPrinter::table({entry(true, "Editor", "ed", MenuAppPolicy::standard, {a, b})});
    const QStringList lines = table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("[x] Editor (2)"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Standard")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("100,101")));
    EXPECT_EQ(AppListPrinter::table({}), QStringLiteral("no applications\n"));
}
