// The alert sound's choice between the chime and the bell, and the line that
// tells the operator when the chime cannot be heard.

#include "core/TextLookup.h"
#include "dictionary/Dictionary.h"
#include "ui/AlertSound.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class AlertSoundOutputTest : public ::testing::Test {
protected:
    void TearDown() override { CDictionary::Instance().SetLanguage("en"); }
};

TEST_F(AlertSoundOutputTest, WithoutAnOutputTheLineSaysSoInEveryLanguage)
{
    CAlertSound sound({}, [] { return false; });
    EXPECT_FALSE(sound.HasOutput());
    std::string english;
    for (const char* language : {"en", "de", "fr", "se"}) {
        SCOPED_TRACE(language);
        ASSERT_TRUE(CDictionary::Instance().SetLanguage(language));
        const std::string line = sound.MissingOutputLine();
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find(kMissingText), std::string::npos) << line;
        if (std::string(language) == "en")
            english = line;
        else
            EXPECT_NE(line, english) << "not translated";
    }
}

TEST_F(AlertSoundOutputTest, WithAnOutputNoLineIsWritten)
{
    CAlertSound sound({}, [] { return true; });
    EXPECT_TRUE(sound.HasOutput());
    EXPECT_EQ(sound.MissingOutputLine(), "");
}

TEST_F(AlertSoundOutputTest, AnInjectedPlayerCountsAsAnOutputAndIsWhatPlays)
{
    int plays = 0;
    CAlertSound sound([&plays] { ++plays; });
    EXPECT_TRUE(sound.HasOutput());
    sound.Play();
    sound.Play();
    EXPECT_EQ(plays, 2);
}

// Without an output the alert falls back to the bell; Play must neither
// block nor throw, and asking the sound server must work on a machine
// without one (as on the build machines).
TEST_F(AlertSoundOutputTest, TheRealSoundServerCanBeAskedWithoutASoundCard)
{
    CAlertSound sound;
    const bool output = sound.HasOutput();
    EXPECT_EQ(sound.MissingOutputLine().empty(), output);
    EXPECT_NO_THROW(sound.Play());
}

}  // namespace
