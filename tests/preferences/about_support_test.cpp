// The About and Support tabs: their texts, the copyright line's format rules (a hostile format
// included), the addresses they hand to the desktop, and the update check's button and window.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "PreferencesFixture.h"
#include "fakes/FakeReleaseFeed.h"
#include "preferences/CopyrightLine.h"
#include "preferences/PreferencesAboutViewController.h"
#include "preferences/PreferencesSupportViewController.h"
#include "preferences/UpdateCheckWindow.h"
#include "services/Updater.h"
#include "support/OpenedUrls.h"

namespace klosia {
namespace {

TEST(CopyrightLine, FillsOnlyTheYearAndTheMakerAndLeavesEveryOtherSequenceAsText) {
    const QString maker = QStringLiteral("Ada & Co");
    auto line = [&](const char* format, int year = 2031) {
        return CopyrightLine::format(QString::fromUtf8(format), year, maker);
    };
    EXPECT_EQ(line("Copyright © %d %s"), QStringLiteral("Copyright © 2031 Ada & Co"));
    EXPECT_EQ(line("%d"), QStringLiteral("2031")) << "the year given, as an integer";
    // A format that would make printf read and write memory is only text.
    EXPECT_EQ(line("%s%s%n%x"), QStringLiteral("Ada & Co%s%n%x"));
    EXPECT_EQ(line("%d%d %s%s %p %08x %*d %"), QStringLiteral("2031%d Ada & Co%s %p %08x %*d %"));
    EXPECT_EQ(line("%s, since %d"), QStringLiteral("Ada & Co, since 2031")) << "either order";
    EXPECT_EQ(line("100%% free, %%d"), QStringLiteral("100% free, %d"));
    EXPECT_EQ(line("no conversions"), QStringLiteral("no conversions"));
    EXPECT_EQ(line(""), QString());
    EXPECT_EQ(CopyrightLine::format(QStringLiteral("%s"), 1, QStringLiteral("%d %n")),
              QStringLiteral("%d %n"))
        << "the maker's name is not read as a format";
}

class AboutSupportTest : public test::PreferencesFixture {
protected:
    AboutSupportTest() { deliver(); }

    template <typename T>
    T* control(QWidget& pane, const char* name) {
        auto* found = pane.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    test::OpenedUrls opened;
    PreferencesAboutViewController about{dispatcher};
    PreferencesSupportViewController support;
};

TEST_F(AboutSupportTest, AboutShowsNameVersionAndCopyrightAndKeepsALabelWhoseEntryIsMissing) {
    QLabel* title = control<QLabel>(about, "aboutTitleView");
    QLabel* version = control<QLabel>(about, "aboutVersionView");
    QLabel* copyright = control<QLabel>(about, "aboutCopyrightView");
    // The configured values, filled in by the queued refresh.
    EXPECT_EQ(title->text(), QStringLiteral("Klosia"));
    EXPECT_TRUE(version->text().startsWith(QStringLiteral("⚡️ Version ")));
    EXPECT_TRUE(copyright->text().contains(QString::number(QDate::currentDate().year())));

    about.setAboutInfo({.name = QStringLiteral("Klosia Test"),
                        .version = QStringLiteral("2.1"),
                        .copyrightFormat = QStringLiteral("%s%s%n%x"),
                        .makerName = QStringLiteral("Maker"),
                        .webSite = QStringLiteral("https://example.org/")});
    EXPECT_EQ(title->text(), QStringLiteral("Klosia Test"));
    EXPECT_EQ(version->text(), QStringLiteral("\u26A1\uFE0F Version 2.1"));
    EXPECT_EQ(copyright->text(), QStringLiteral("Maker%s%n%x"));

    about.setAboutInfo({.name = QString(),
                        .version = QStringLiteral("2.2"),
                        .copyrightFormat = QString(),
                        .makerName = QStringLiteral("Other"),
                        .webSite = QString()});
    EXPECT_EQ(version->text(), QStringLiteral("⚡️ Version 2.2"));
    EXPECT_EQ(title->text(), QStringLiteral("Klosia Test")) << "no name: the label keeps its text";
    EXPECT_EQ(copyright->text(), QStringLiteral("Maker%s%n%x"));

    // A settings change refreshes the tab, which changes nothing: the values are constant.
    prefs.setPlaySounds(true);
    deliver();
    EXPECT_EQ(version->text(), QStringLiteral("⚡️ Version 2.2"));
}

TEST_F(AboutSupportTest, TheWebSiteButtonOpensOnlyAWebAddress) {
    QPushButton* site = control<QPushButton>(about, "aboutSayHiBt");
    site->click();
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_TRUE(opened.urls[0].startsWith(QStringLiteral("https://"))) << "the configured site";

    for (const char* address :
         {"", "not an address", "javascript:alert(1)", "file:///etc/passwd", "https://"}) {
        about.setAboutInfo({.name = QString(),
                            .version = QString(),
                            .copyrightFormat = QString(),
                            .makerName = QString(),
                            .webSite = QString::fromLatin1(address)});
        site->click();
    }
    EXPECT_EQ(opened.urls.size(), 1);
}

TEST_F(AboutSupportTest, SupportOpensAMessageWithTheEncodedSubjectAndBody) {
    control<QPushButton>(support, "supportContactBt")->click();
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_TRUE(opened.urls[0].startsWith(QStringLiteral("mailto:")));
    EXPECT_TRUE(
        opened.urls[0].endsWith(QStringLiteral("?subject=Klosia%20Support%20%F0%9F%9B%9F&body=Hi")))
        << opened.urls[0].toStdString();
    EXPECT_FALSE(control<QLabel>(support, "supportTitleView")->text().isEmpty());
}

TEST_F(AboutSupportTest, TheUpdateButtonSaysWhenTheCheckIsOffAndShowsEachOutcome) {
    QPushButton* button = control<QPushButton>(about, "aboutCheckUpdatesBt");
    EXPECT_FALSE(button->isEnabled()) << "no update check given";
    EXPECT_EQ(button->text(), QStringLiteral("Update Check Is Off"));

    test::FakeReleaseFeed feed;
    feed.enabled = false;
    Updater updater(feed, QStringLiteral("1.4"), nullptr);
    about.setUpdater(&updater);
    EXPECT_FALSE(button->isEnabled()) << "no feed configured";
    EXPECT_EQ(button->text(), QStringLiteral("Update Check Is Off"));

    feed.enabled = true;
    about.setUpdater(&updater);
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_FALSE(button->isEnabled()) << "while it looks";
    button->click();
    EXPECT_EQ(feed.fetches, 1);

    // A newer version: its notes and a button to its page.
    ASSERT_TRUE(feed.answerRelease(QStringLiteral("1.10"), QStringLiteral("Faster menu."),
                                   QUrl(QStringLiteral("https://example.org/notes")),
                                   QUrl(QStringLiteral("https://example.org/get"))));
    EXPECT_TRUE(button->isEnabled());
    UpdateCheckWindow* window = about.updateCheckWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->titleView()->text(), QStringLiteral("Klosia 1.10 is available"));
    EXPECT_EQ(window->notesView()->toPlainText(), QStringLiteral("Faster menu."));
    EXPECT_FALSE(window->notesView()->isHidden());
    ASSERT_FALSE(window->linkButton()->isHidden());
    window->linkButton()->click();
    EXPECT_EQ(opened.urls, QStringList{QStringLiteral("https://example.org/notes")});

    // Up to date: no link, no notes.
    button->click();
    ASSERT_TRUE(feed.answerRelease(QStringLiteral("1.4.0")));
    EXPECT_EQ(about.updateCheckWindow(), window) << "one window, reused";
    EXPECT_EQ(window->titleView()->text(), QStringLiteral("Klosia is up to date"));
    EXPECT_TRUE(window->linkButton()->isHidden());
    EXPECT_TRUE(window->notesView()->isHidden());

    // A failure: the reason, as plain text.
    button->click();
    ASSERT_TRUE(feed.answerError(QStringLiteral("<b>connection refused</b>")));
    EXPECT_EQ(window->titleView()->text(), QStringLiteral("The update check failed"));
    EXPECT_EQ(window->messageView()->text(), QStringLiteral("<b>connection refused</b>"));
    EXPECT_EQ(window->messageView()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(window->linkButton()->isHidden());

    // Escape closes it.
    press(window, Qt::Key_Escape, test::kKeysymEscape);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace klosia
