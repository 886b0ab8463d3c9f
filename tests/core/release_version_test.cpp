// Version numbers of releases and the support message's address: rules that are easy to get
// subtly wrong (string order instead of numbers, an unescaped "&" ending a field).
#include <gtest/gtest.h>

#include "core/ReleaseVersion.h"
#include "core/SupportMail.h"

namespace klosia {
namespace {

ReleaseVersion version(const char* text) {
    const std::optional<ReleaseVersion> parsed = ReleaseVersion::parse(QString::fromUtf8(text));
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(ReleaseVersion());
}

TEST(ReleaseVersion, ComparesNumericallyComponentByComponent) {
    EXPECT_GT(version("1.10"), version("1.9")) << "not as text";
    EXPECT_GT(version("2.0"), version("1.99.99"));
    EXPECT_LT(version("1.2.9"), version("1.2.10"));
    EXPECT_EQ(version("1.2"), version("1.2.0.0")) << "missing components are zeros";
    EXPECT_EQ(version("01.002"), version("1.2")) << "leading zeros do not count";
    EXPECT_GT(version("1.2.0.1"), version("1.2"));
    EXPECT_EQ(version(" 3.1 "), version("3.1"));
    // Far beyond any integer type: compared as digits, never overflowing.
    EXPECT_GT(version("1.123456789012345678901234567890"),
              version("1.123456789012345678901234567889"));
    EXPECT_GT(version("1.100000000000000000000"), version("1.99999999999999999999"));
    EXPECT_EQ(version("0"), version("0.0.0"));
}

TEST(ReleaseVersion, RefusesAnythingButNumbersBetweenDots) {
    for (const char* text : {"", " ", "v1.2", "1.2-beta", "1..2", ".1", "1.", "1.2a", "-1", "1,2",
                             "١.٢" /* Arabic-Indic digits */}) {
        EXPECT_FALSE(ReleaseVersion::parse(QString::fromUtf8(text)).has_value()) << text;
    }
}

TEST(SupportMail, SubjectAndBodyArePercentEncodedAfterThePlainAddress) {
    const std::optional<QUrl> url = SupportMail::url(QStringLiteral("help@example.org"));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:help@example.org?subject=Klosia%20Support%20%F0%9F%9B%9F"
                             "&body=Hi"));
    EXPECT_EQ(SupportMail::kSubject, QStringLiteral("Klosia Support \U0001F6DF"));

    // Texts that would end their field or start another are escaped too.
    const std::optional<QUrl> odd = SupportMail::url(
        QStringLiteral("help@example.org"), QStringLiteral("a&cc=x#y"), QStringLiteral("1+1=2?"));
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:help@example.org?subject=a%26cc%3Dx%23y&body=1%2B1%3D2%3F"));
}

TEST(SupportMail, NoMessageForAnAddressThatIsNotPlain) {
    for (const char* address :
         {"", "help", "help@", "@example.org", "a b@example.org",
          "help@example.org?cc=other@example.org", "help@example.org#x", "a@b@example.org",
          "help@example.org,other@example.org", "help%40example.org"}) {
        EXPECT_FALSE(SupportMail::url(QString::fromUtf8(address)).has_value()) << address;
    }
    EXPECT_TRUE(SupportMail::url().has_value()) << "the configured address is a plain one";
}

}  // namespace
}  // namespace klosia
