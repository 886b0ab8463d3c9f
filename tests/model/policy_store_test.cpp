#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>

#include "fakes/RecordingDefaults.h"
#include "model/AppPolicies.h"
#include "support/LogCapture.h"

using namespace klosia;

namespace {

class PolicyStoreTest : public ::testing::Test {
protected:
    test::LogCapture capture;
    test::RecordingDefaults defaults;
};

}  // namespace

TEST_F(PolicyStoreTest, AnythingButAJsonObjectReadsAsEmpty) {
    EXPECT_TRUE(loadAppPolicies(defaults).isEmpty()) << "key absent";

    // Valid JSON, but held as a string where data is expected.
    defaults.set(kPolicyAppsKey, QStringLiteral(R"({"org.mozilla.firefox":"Never"})"));
    EXPECT_TRUE(loadAppPolicies(defaults).isEmpty()) << "string value";
    defaults.set(kPolicyAppsKey, std::int64_t{1});
    EXPECT_TRUE(loadAppPolicies(defaults).isEmpty()) << "integer value";

    for (const QByteArray& bad : {
             QByteArray(R"({"a":"Never")"),  // truncated
             QByteArray(R"(["Never"])"),     // not an object
             QByteArray(R"("Never")"),       // a bare string
             QByteArray("\xff\xfe"),
             QByteArray("{}"),
         }) {
        defaults.set(kPolicyAppsKey, bad);
        EXPECT_TRUE(loadAppPolicies(defaults).isEmpty()) << bad.toStdString();
    }
}

TEST_F(PolicyStoreTest, AnUnreadableMemberCostsOnlyItsOwnPolicyAndSurvivesASave) {
    defaults.set(kPolicyAppsKey, QByteArray(R"({"a":"Always","b":"never","c":"Sometimes",)"
                                            R"("d":1,"e":null,"f":{"x":"Never"},"g":"Never"})"));
    const AppPolicies loaded = loadAppPolicies(defaults);
    EXPECT_EQ(loaded, (AppPolicies{{QStringLiteral("a"), MenuAppPolicy::always},
                                   {QStringLiteral("g"), MenuAppPolicy::never}}));

    // A change of one policy keeps what could not be read, unless it sets that same member.
    AppPolicies changed = loaded;
    changed.insert(QStringLiteral("a"), MenuAppPolicy::never);
    changed.insert(QStringLiteral("c"), MenuAppPolicy::standard);
    changed.remove(QStringLiteral("g"));
    saveAppPolicies(changed, defaults);
    const QJsonObject stored =
        QJsonDocument::fromJson(defaults.data(kPolicyAppsKey).value_or(QByteArray())).object();
    EXPECT_EQ(stored, (QJsonObject{{QStringLiteral("a"), QStringLiteral("Never")},
                                   {QStringLiteral("b"), QStringLiteral("never")},
                                   {QStringLiteral("c"), QStringLiteral("Standard")},
                                   {QStringLiteral("d"), 1},
                                   {QStringLiteral("e"), QJsonValue::Null},
                                   {QStringLiteral("f"), QJsonObject{{"x", "Never"}}}}));
    EXPECT_EQ(loadAppPolicies(defaults), changed);
}

TEST_F(PolicyStoreTest, SavedMapReadsBackAndKeepsStandardAsAMember) {
    const AppPolicies policies{{QStringLiteral("org.gnome.Nautilus"), MenuAppPolicy::standard},
                               {QStringLiteral("org.mozilla.firefox"), MenuAppPolicy::never},
                               {QStringLiteral("org.kde.kate"), MenuAppPolicy::always},
                               {QStringLiteral("näme with \"quotes\""), MenuAppPolicy::never}};
    saveAppPolicies(policies, defaults);
    EXPECT_EQ(defaults.synchronizations, 1);

    const std::optional<QByteArray> stored = defaults.data(kPolicyAppsKey);
    ASSERT_TRUE(stored.has_value()) << "stored as data";
    const QJsonObject object = QJsonDocument::fromJson(stored.value_or(QByteArray())).object();
    EXPECT_EQ(object.value(QStringLiteral("org.gnome.Nautilus")).toString(),
              QStringLiteral("Standard"));
    EXPECT_EQ(object.value(QStringLiteral("org.mozilla.firefox")).toString(),
              QStringLiteral("Never"));
    EXPECT_EQ(object.size(), 4);

    EXPECT_EQ(loadAppPolicies(defaults), policies);

    saveAppPolicies({}, defaults);
    EXPECT_EQ(defaults.data(kPolicyAppsKey), QByteArray("{}"));
    EXPECT_TRUE(loadAppPolicies(defaults).isEmpty());
}

TEST_F(PolicyStoreTest, StandardUserDefaultsAreTheDefaultStore) {
    setStandardUserDefaults(&defaults);
    saveAppPolicies({{QStringLiteral("org.kde.kate"), MenuAppPolicy::always}});
    EXPECT_EQ(loadAppPolicies().value(QStringLiteral("org.kde.kate")), MenuAppPolicy::always);
    EXPECT_EQ(loadAppPolicies(defaults).size(), 1);
    setStandardUserDefaults(nullptr);
}

TEST_F(PolicyStoreTest, FailedWriteIsLoggedAsError) {
    defaults.failWrites = true;
    saveAppPolicies({{QStringLiteral("org.kde.kate"), MenuAppPolicy::never}}, defaults);
    const auto lines = capture.matching("policy apps: could not write");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(std::string(Vezizur::mark(VezizurLevel::error)), 0), 0u);
}
