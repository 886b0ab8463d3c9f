#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "PreferencesFixture.h"
#include "fakes/FakeSoundPlayer.h"
#include "preferences/PreferencesGeneralViewController.h"
#include "preferences/PreferencesStepper.h"
#include "services/Sound.h"
#include "support/Wait.h"

using namespace klosia;
using klosia::test::PreferencesFixture;

namespace {

class GeneralPaneTest : public PreferencesFixture {
public:
    GeneralPaneTest() : pane(dispatcher) {
        Sound::setBackend(&player, &dispatcher);
        pane.setInactivityReset([this] {
            // What the rule's store held when the application forgot its tracking.
            resetsSawStored.push_back(stored(Preferences::kQuitInactiveAppsAfter));
        });
        deliver();
    }
    ~GeneralPaneTest() override { Sound::setBackend(nullptr, nullptr); }
    GeneralPaneTest(const GeneralPaneTest&) = delete;
    GeneralPaneTest& operator=(const GeneralPaneTest&) = delete;

protected:
    template <typename T>
    T* control(const char* name) {
        auto* found = pane.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* field() { return control<QLineEdit>("generalQuitInactiveAppsAfterField"); }
    QComboBox* units() { return control<QComboBox>("generalQuitInactiveAppsAfterTime"); }
    QStringList unitTitles() {
        QStringList titles;
        for (int i = 0; i < units()->count(); ++i) {
            titles << units()->itemText(i);
        }
        return titles;
    }
    // Replaces the field's text as one edit, the way a paste or an input method does.
    void type(const QString& text) {
        field()->selectAll();
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(field(), &key);
        EXPECT_EQ(field()->text(), text);
    }
    void enableRule() {
        prefs.quitInactiveAppsAfter()->enabled = true;
        prefs.setQuitInactiveAppsAfter(prefs.quitInactiveAppsAfter());
        deliver();
    }
    QJsonObject storedRule() {
        return QJsonDocument::fromJson(stored(Preferences::kQuitInactiveAppsAfter)).object();
    }

    test::FakeSoundPlayer player;
    PreferencesGeneralViewController pane;
    std::vector<QByteArray> resetsSawStored;
};

}  // namespace

TEST_F(GeneralPaneTest, ShowsTheDefaultsGreyedAndNamesUnitsByAmount) {
    EXPECT_FALSE(control<QCheckBox>("generalQuitInactiveAppsAfterBt")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("generalGroupBackgroundAppsBt")->isChecked());
    EXPECT_EQ(field()->text(), "1");
    EXPECT_EQ(units()->currentText(), "hour");
    EXPECT_EQ(unitTitles(), (QStringList{"minute", "hour", "day"}));
    EXPECT_FALSE(field()->isEnabled());
    EXPECT_FALSE(units()->isEnabled());
    EXPECT_FALSE(control<PreferencesStepper>("generalQuitInactiveAppsAfterStepper")->isEnabled());

    // The titles change once the change has been announced, not before.
    enableRule();
    auto* stepper = control<PreferencesStepper>("generalQuitInactiveAppsAfterStepper");
    ASSERT_TRUE(stepper->isEnabled());
    stepper->stepBy(1);
    EXPECT_EQ(prefs.quitInactiveAppsAfter()->amount, 2);
    EXPECT_EQ(unitTitles(), (QStringList{"minute", "hour", "day"}));
    deliver();
    EXPECT_EQ(unitTitles(), (QStringList{"minutes", "hours", "days"}));
    EXPECT_EQ(field()->text(), "2");

    for (const std::int64_t amount : {0, 1, 7}) {
        prefs.quitInactiveAppsAfter()->amount = amount;
        prefs.setQuitInactiveAppsAfter(prefs.quitInactiveAppsAfter());
        deliver();
        EXPECT_EQ(units()->itemText(2), amount == 1 ? "day" : "days") << amount;
    }
}

TEST_F(GeneralPaneTest, TypedAmountIsLiveAtOnceAndIgnoredWhenNotAWholeNonNegativeNumber) {
    enableRule();
    const QByteArray before = stored(Preferences::kQuitInactiveAppsAfter);
    type("15");
    EXPECT_EQ(prefs.quitInactiveAppsAfter()->amount, 15);
    EXPECT_EQ(stored(Preferences::kQuitInactiveAppsAfter), before);  // not yet saved

    for (const QString text : {"1 5", "12a", "abc", "-5", "+", "99999999999999999999"}) {
        type(text);
        EXPECT_EQ(prefs.quitInactiveAppsAfter()->amount, 15) << text.toStdString();
        EXPECT_EQ(field()->text(), text);  // left in the field, not corrected
    }
    type("+7");
    EXPECT_EQ(prefs.quitInactiveAppsAfter()->amount, 7);
    EXPECT_EQ(PreferencesGeneralViewController::parseAmount(QString()), std::nullopt);
    EXPECT_EQ(PreferencesGeneralViewController::parseAmount("-0"), 0);
}

TEST_F(GeneralPaneTest, TypedAmountIsSavedWhenTheFieldLosesFocusOrThePaneHides) {
    enableRule();
    pane.show();
    type("15");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field(), &out);
    EXPECT_EQ(storedRule().value("amount").toInteger(), 15);
    deliver();
    EXPECT_EQ(unitTitles(), (QStringList{"minutes", "hours", "days"}));

    type("40");
    pane.hide();
    EXPECT_EQ(storedRule().value("amount").toInteger(), 40);

    // A reset after typing drops what was typed: hiding saves nothing over the defaults.
    pane.show();
    type("9");
    control<QPushButton>("generalResetBt")->click();
    pane.hide();
    EXPECT_EQ(stored(Preferences::kQuitInactiveAppsAfter), "<absent>");
    deliver();
    EXPECT_EQ(field()->text(), "1");
    EXPECT_FALSE(field()->isEnabled());

    // Quitting, which neither hides the pane nor moves the focus, saves it too.
    enableRule();
    pane.show();
    type("7");
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(storedRule().value("amount").toInteger(), 7);
}

TEST_F(GeneralPaneTest, InactiveBoxForgetsTheTrackingBeforeSavingTheRule) {
    auto* box = control<QCheckBox>("generalQuitInactiveAppsAfterBt");
    box->click();
    ASSERT_EQ(resetsSawStored.size(), 1U);
    EXPECT_EQ(resetsSawStored[0], "<absent>");
    EXPECT_EQ(storedRule().value("enabled").toBool(), true);
    deliver();
    ASSERT_TRUE(field()->isEnabled());

    type("3");  // typed, not saved: switching off saves it along
    box->click();
    ASSERT_EQ(resetsSawStored.size(), 2U);
    EXPECT_EQ(QJsonDocument::fromJson(resetsSawStored[1]).object().value("enabled").toBool(), true);
    EXPECT_EQ(storedRule().value("enabled").toBool(), false);
    EXPECT_EQ(storedRule().value("amount").toInteger(), 3);
    deliver();
    EXPECT_FALSE(field()->isEnabled());
}

TEST_F(GeneralPaneTest, MenusSaveByTagAndSoundsPlayTheSampleOnlyWhenSwitchedOn) {
    units()->setCurrentIndex(2);
    Q_EMIT units()->activated(2);
    EXPECT_EQ(storedRule().value("unit").toInteger(), 8640);
    auto* quitMode = control<QComboBox>("generalDefaultOptionBt");
    quitMode->setCurrentIndex(1);
    Q_EMIT quitMode->activated(1);
    EXPECT_EQ(prefs.quitOption(), QuitOption::force);

    auto* sounds = control<QCheckBox>("generalPlaySoundsBt");
    sounds->click();
    EXPECT_TRUE(prefs.playSounds());
    deliver();
    EXPECT_EQ(player.played(), QStringList{"klosia"});
    sounds->click();
    EXPECT_FALSE(prefs.playSounds());
    deliver();
    EXPECT_EQ(player.played(), QStringList{"klosia"});

    control<QCheckBox>("generalStartLoginBt")->click();
    EXPECT_EQ(login.writes, std::vector<bool>{true});

    control<QPushButton>("generalResetBt")->click();
    deliver();
    EXPECT_EQ(units()->currentText(), "hour");
    EXPECT_EQ(quitMode->currentIndex(), 0);
    EXPECT_FALSE(control<QCheckBox>("generalStartLoginBt")->isChecked());
}
