#include "settings/RegistryValueStr.h"

#include "core/TextLookup.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

class RegistryValueTest : public ::testing::Test {
protected:
    RegistryValueTest() : env("XDG_CONFIG_HOME", dir.Path().string()) {}

    void WriteFile(const std::string& body)
    {
        fs::create_directories(dir.Path() / "Tervin");
        std::ofstream(dir / "Tervin/ORVA.conf") << "[Settings]\n" << body;
    }

    RegistryValueStr Language() { return RegistryValueStr(RegistryRoot::CurrentUser, kSettingsKey, "Language"); }

    TempDir dir;
    ScopedEnv env;
};

TEST_F(RegistryValueTest, TextValueRoundTripAndExists)
{
    RegistryValueStr value = Language();
    EXPECT_FALSE(value.Exists());
    EXPECT_EQ(value.GetString(), "");
    value.SetString("se");
    EXPECT_TRUE(value.Exists());
    EXPECT_EQ(value.GetString(), "se");
    EXPECT_TRUE(fs::exists(dir.Path() / "Tervin/ORVA.conf"));
}

TEST_F(RegistryValueTest, GetStringGivesEmptyOnEveryFailure)
{
    WriteFile("Language=" + std::string(150, 'x') + "\n");  // does not fit 100 bytes
    EXPECT_TRUE(Language().Exists());
    EXPECT_EQ(Language().GetString(), "");

    RegistryValueStr badKey(RegistryRoot::CurrentUser, "Tervin", "Language");
    EXPECT_FALSE(badKey.Exists());
    EXPECT_EQ(badKey.GetString(), "");
}

TEST_F(RegistryValueTest, FailuresRaiseTheMissingTextWhenTheDictionaryHasNone)
{
    RegistryValue number(RegistryRoot::CurrentUser, kSettingsKey, "TelComPort", RegistryType::Integer);
    int32_t value = 0;
    // no file yet: the key cannot be opened
    try {
        number.GetRaw(&value, sizeof value);
        FAIL() << "no error raised";
    } catch (const CRegistryError& e) {
        EXPECT_STREQ(e.what(), "*NA*");
    }

    WriteFile("TelComPort=COM3\n");
    EXPECT_THROW(number.GetRaw(&value, sizeof value), CRegistryError);  // wrong type

    RegistryValue missing(RegistryRoot::CurrentUser, kSettingsKey, "NoSuchValue", RegistryType::Integer);
    EXPECT_THROW(missing.GetRaw(&value, sizeof value), CRegistryError);

    RegistryValue badKey(RegistryRoot::CurrentUser, "NotSoftware\\X", "V", RegistryType::Integer);
    EXPECT_THROW(badKey.SetRaw(&value, sizeof value), CRegistryError);
}

TEST_F(RegistryValueTest, ErrorTextComesFromTheDictionaryWhenItHasOne)
{
    SetTextLookup([](const std::string& key) { return "text of " + key; });
    RegistryValue number(RegistryRoot::CurrentUser, kSettingsKey, "TelComPort", RegistryType::Integer);
    int32_t value = 0;
    try {
        number.GetRaw(&value, sizeof value);
        ADD_FAILURE() << "no error raised";
    } catch (const CRegistryError& e) {
        EXPECT_STREQ(e.what(), "text of IDS_REGISTRYVALUE_MSG_2");
    }
    SetTextLookup(nullptr);
}

TEST_F(RegistryValueTest, IntegerValueRoundTrip)
{
    RegistryValue number(RegistryRoot::CurrentUser, kSettingsKey, "NORD", RegistryType::Integer);
    const int32_t written = -12345;
    number.SetRaw(&written, sizeof written);
    int32_t read = 0;
    EXPECT_EQ(number.GetRaw(&read, sizeof read), sizeof read);
    EXPECT_EQ(read, written);
}

// The language chosen at start-up, for a dictionary of en, de, fr, se.
TEST_F(RegistryValueTest, StartupLanguageSelection)
{
    const std::set<std::string> known = {"en", "de", "fr", "se"};
    struct Case {
        const char* stored;  // nullptr: no value yet
        const char* chosen;
    };
    for (const Case& c : {Case{nullptr, "en"}, Case{"de", "de"}, Case{"se", "se"}, Case{"xx", "en"}, Case{"EN", "en"},
                          Case{"", "en"}}) {
        // A folder per case: a file rewritten in place within one clock tick
        // could be served from QSettings' cache of files it has read.
        TempDir own;
        ScopedEnv ownConfig("XDG_CONFIG_HOME", own.Path().string());
        if (c.stored) {
            fs::create_directories(own.Path() / "Tervin");
            std::ofstream(own / "Tervin/ORVA.conf") << "[Settings]\nLanguage=" << c.stored << "\n";
        }
        std::string current;
        auto setLanguage = [&](const std::string& code) {
            if (!known.count(code))
                return false;
            current = code;
            return true;
        };
        EXPECT_EQ(SelectStartupLanguage(setLanguage), c.chosen) << (c.stored ? c.stored : "(none)");
        EXPECT_EQ(current, c.chosen);
        // Created on first start; a stored choice is not overwritten.
        EXPECT_EQ(Language().GetString(), c.stored ? c.stored : "en");
    }
}

}  // namespace
