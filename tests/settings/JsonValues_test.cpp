#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <limits>

#include "settings/JsonValues.h"

namespace klosia {
namespace {

// Numbers as the settings file gives them: parsed from JSON text.
QJsonValue parsed(const char* number) {
    return QJsonDocument::fromJson(QByteArray("[") + number + "]").array().at(0);
}

TEST(JsonValuesRecordFields, Int64IsExactOrNothing) {
    EXPECT_EQ(jsonInt64(parsed("0")), 0);
    EXPECT_EQ(jsonInt64(parsed("-0")), 0);
    EXPECT_EQ(jsonInt64(parsed("1")), 1);
    EXPECT_EQ(jsonInt64(parsed("2.0")), 2);
    EXPECT_EQ(jsonInt64(parsed("1e3")), 1000);
    EXPECT_EQ(jsonInt64(parsed("-42")), -42);
    EXPECT_EQ(jsonInt64(parsed("9007199254740993")), 9007199254740993);
    EXPECT_EQ(jsonInt64(parsed("9223372036854775807")), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(jsonInt64(parsed("-9223372036854775808")), std::numeric_limits<std::int64_t>::min());
    EXPECT_FALSE(jsonInt64(parsed("9223372036854775808")));
    EXPECT_FALSE(jsonInt64(parsed("1.5")));
    EXPECT_FALSE(jsonInt64(parsed("-0.5")));
    EXPECT_FALSE(jsonInt64(parsed("1e300")));
    EXPECT_FALSE(jsonInt64(parsed("\"1\"")));
    EXPECT_FALSE(jsonInt64(parsed("true")));
    EXPECT_FALSE(jsonInt64(parsed("null")));
    EXPECT_FALSE(jsonInt64(QJsonValue(QJsonValue::Undefined)));
    // Values built in memory as doubles follow the same rule.
    EXPECT_EQ(jsonInt64(QJsonValue(3.0)), 3);
    EXPECT_FALSE(jsonInt64(QJsonValue(0.25)));
}

TEST(JsonValuesRecordFields, UInt32AndBool) {
    EXPECT_EQ(jsonUInt32(parsed("0")), 0u);
    EXPECT_EQ(jsonUInt32(parsed("4294967295")), 0xFFFFFFFFu);
    EXPECT_FALSE(jsonUInt32(parsed("4294967296")));
    EXPECT_FALSE(jsonUInt32(parsed("-1")));
    EXPECT_FALSE(jsonUInt32(parsed("6144.5")));
    EXPECT_FALSE(jsonUInt32(parsed("\"6144\"")));

    EXPECT_EQ(jsonBool(parsed("true")), true);
    EXPECT_EQ(jsonBool(parsed("false")), false);
    EXPECT_FALSE(jsonBool(parsed("1")));
    EXPECT_FALSE(jsonBool(parsed("0")));
    EXPECT_FALSE(jsonBool(parsed("\"true\"")));
    EXPECT_FALSE(jsonBool(parsed("null")));
}

}  // namespace
}  // namespace klosia
