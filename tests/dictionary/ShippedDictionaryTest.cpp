// The dictionary built into the station.

#include "dictionary/Dictionary.h"

#include "dictionary/DictionaryChecksum.h"
#include "dictionary/DictionaryData.h"
#include "settings/RegistryValueStr.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLanguages = {"en", "de", "fr", "se"};

CDictionary& Shipped()
{
    static CDictionary dictionary;
    static const bool loaded = dictionary.Load();
    EXPECT_TRUE(loaded);
    return dictionary;
}

std::set<std::string> KeyList()
{
    std::set<std::string> keys;
    std::ifstream in(ORVA_KEY_LIST);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            keys.insert(line);
    return keys;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The format conversions of a text in order ("%s", "%02X", "%%", ...).
std::vector<std::string> Conversions(const std::string& text)
{
    static const std::regex conversion(R"(%(%|[-+ #0]*\d*(\.\d+)?[hlLzjt]*[diouxXeEfgGcsp]))");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

TEST(ShippedDictionary, LoadsWithItsFourLanguagesAndEveryKey)
{
    CDictionary& dictionary = Shipped();
    EXPECT_EQ(dictionary.GetLanguages(), kLanguages);
    const std::set<std::string> expected = KeyList();
    EXPECT_EQ(expected.size(), 738u);
    const std::vector<std::string> keys = dictionary.GetKeys();
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), expected);
}

TEST(ShippedDictionary, EveryKeyHasATextInEveryLanguage)
{
    CDictionary& dictionary = Shipped();
    for (const std::string& language : kLanguages) {
        ASSERT_TRUE(dictionary.SetLanguage(language));
        for (const std::string& key : KeyList()) {
            const std::string text = dictionary.Translate(key);
            EXPECT_NE(text, "*NA*") << language << " " << key;
            // The carriage return of a CR LF ending is stored as a character
            // reference; a literal backslash-r would reach the operator.
            EXPECT_EQ(text.find("\\r"), std::string::npos) << language << " " << key;
        }
    }
    dictionary.SetLanguage("en");
}

TEST(ShippedDictionary, TranslationsKeepFormatConversionsLineEndsAndMnemonics)
{
    CDictionary& dictionary = Shipped();
    for (const std::string& key : KeyList()) {
        dictionary.SetLanguage("en");
        const std::string english = dictionary.Translate(key);
        for (const std::string& language : kLanguages) {
            dictionary.SetLanguage(language);
            const std::string text = dictionary.Translate(key);
            EXPECT_EQ(Conversions(text), Conversions(english)) << language << " " << key << ": " << text;
            const bool crlf = english.size() >= 2 && english.compare(english.size() - 2, 2, "\r\n") == 0;
            EXPECT_EQ(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0, crlf)
                << language << " " << key;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(english.begin(), english.end(), '\n'))
                << language << " " << key;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), std::count(english.begin(), english.end(), '\t'))
                << language << " " << key;
            EXPECT_EQ(text.find('&') != std::string::npos, english.find('&') != std::string::npos)
                << language << " " << key << ": " << text;
        }
    }
    dictionary.SetLanguage("en");
}

TEST(ShippedDictionary, KnownTexts)
{
    CDictionary& dictionary = Shipped();
    ASSERT_TRUE(dictionary.SetLanguage("en"));
    EXPECT_EQ(dictionary.Translate("IDC_MENU_ID_FILE_NEW"), "&New...\tCtrl+N");
    EXPECT_EQ(dictionary.Translate("IDS_MAILMGR_MSG_18"), "ALARM FROM %s ALARM-RECEIVER\r\n");
    EXPECT_EQ(dictionary.Translate("IDS_GSMMGR_MSG_31"), "GSM: Com OK, NET %d%%");
    EXPECT_EQ(dictionary.Translate("IDS_IDNO"), "No");
    EXPECT_EQ(dictionary.Translate("IDS_MAINFRM_MSG_1"), "Really Quit?");
    EXPECT_FALSE(dictionary.SetLanguage("EN"));
    EXPECT_EQ(dictionary.GetLanguage(), "en");
}

// Texts that were once wrong: the gender of French adjectives, the French
// word for an idle mail link, and the Swedish name of the voice alarm type,
// which is the same wherever the type is named.
TEST(ShippedDictionary, TranslationsThatNeededMending)
{
    const struct {
        const char* language;
        const char* key;
        const char* text;
    } cases[] = {
        {"fr", "IDS_TELMGR_MSG_22", "TEL : Erreur logicielle"},
        {"fr", "IDS_TELMGR_MSG_24", "TEL : Erreur matérielle"},
        {"fr", "IDS_MAILMGR_MSG_1", "Mail : Inactif"},
        {"fr", "IDS_ORVADOC_MSG_1", "Mail : Inactif"},
        {"de", "IDC_EVENTMSG_ALARM_IGNORE", "I&gnorieren"},
        {"se", "IDS_MAINVIEW_MSG_17", "Talsamtal"},
        {"se", "IDS_GSMMGR_MSG_8", "Talsamtal"},
        {"se", "IDS_MAILMGR_MSG_5", "Talsamtal"},
        {"se", "IDS_PRINTDLG_MSG_12", "Larmtyp: Talsamtal"},
        {"se", "IDS_MAINVIEW_MSG_18", "Talsamtal - vidarekopplat"},
        {"se", "IDS_GSMMGR_MSG_9", "Talsamtal - vidarekopplat"},
        {"se", "IDS_MAILMGR_MSG_6", "Talsamtal - vidarekopplat"},
        {"se", "IDS_PRINTDLG_MSG_13", "Larmtyp: Talsamtal - vidarekopplat"},
    };
    CDictionary& dictionary = Shipped();
    for (const auto& c : cases) {
        ASSERT_TRUE(dictionary.SetLanguage(c.language));
        EXPECT_EQ(dictionary.Translate(c.key), c.text) << c.language << " " << c.key;
    }
    dictionary.SetLanguage("en");
}

// French sets a space before ":", "!", "?" and ";" (a repeated mark follows
// its twin directly); German and Swedish never do. The English texts are the
// station's own wording and keep it.
TEST(ShippedDictionary, PunctuationSpacingFollowsEachLanguage)
{
    CDictionary& dictionary = Shipped();
    for (const std::string language : {"de", "fr", "se"}) {
        ASSERT_TRUE(dictionary.SetLanguage(language));
        const bool french = language == "fr";
        for (const std::string& key : KeyList()) {
            const std::string text = dictionary.Translate(key);
            for (std::size_t i = 1; i < text.size(); ++i) {
                const char mark = text[i];
                if (std::string(":!?;").find(mark) == std::string::npos)
                    continue;
                const char before = text[i - 1];
                if (before == mark || (mark == ':' && i + 1 < text.size() && text[i + 1] == '/'))
                    continue;  // "!!", and an address such as "http://"
                if (french)
                    EXPECT_EQ(before, ' ') << language << " " << key << ": " << text;
                else
                    EXPECT_NE(before, ' ') << language << " " << key << ": " << text;
            }
        }
    }
    dictionary.SetLanguage("en");
}

TEST(ShippedDictionary, CommittedSourcePassesItsOwnCheck)
{
    // The build stamps the digest anyway; the file in the repository must be
    // stamped too, so that it can be checked as it stands.
    const std::string source = ReadAll(fs::path(ORVA_SOURCE_DIR) / "resources/dictionary.xml");
    CDictionaryChecksum checksum(reinterpret_cast<const unsigned char*>(source.data()), source.size());
    EXPECT_TRUE(checksum.Check())
        << "restamp with: build-test/resources/orva_embed_dictionary --stamp resources/dictionary.xml";
    EXPECT_EQ(source, std::string(reinterpret_cast<const char*>(kDictionaryData), kDictionaryDataSize));
}

TEST(ShippedDictionary, EveryKeyTheSourcesLookUpExists)
{
    // A key written into the code with a typo would show "*NA*" to the
    // operator; scan every source of the station for key literals.
    const std::set<std::string> keys = KeyList();
    // The settings store raises its errors with these keys, which have no
    // text on purpose: the errors never reach a window (the callers catch
    // them), and the marker text is what the store's tests expect.
    const std::set<std::string> withoutText = {"IDS_REGISTRYVALUE_MSG_1", "IDS_REGISTRYVALUE_MSG_2",
                                               "IDS_REGISTRYVALUE_MSG_3", "IDS_REGISTRYVALUE_MSG_4"};
    const std::regex literal(R"re("((IDS|IDC|IDD|AFX_IDS)_[A-Z0-9_]+)")re");
    int files = 0;
    for (const char* folder : {"core", "tel", "protocols", "gsm", "texts", "db", "mail", "ui", "app"}) {
        const fs::path root = fs::path(ORVA_SOURCE_DIR) / folder;
        if (!fs::exists(root))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            ++files;
            const std::string text = ReadAll(entry.path());
            for (auto it = std::sregex_iterator(text.begin(), text.end(), literal); it != std::sregex_iterator(); ++it)
                EXPECT_TRUE(keys.count((*it)[1].str()) || withoutText.count((*it)[1].str()))
                    << (*it)[1].str() << " in " << entry.path();
        }
    }
    EXPECT_GT(files, 10);
}

// The language chosen at start-up from the "Language" value of the settings.
TEST(ShippedDictionary, StartupLanguageSelection)
{
    struct Case {
        const char* stored;  // nullptr: no value yet
        const char* chosen;
        const char* idNo;  // the "No" button in that language
    };
    for (const Case& c : {Case{nullptr, "en", "No"}, Case{"xx", "en", "No"}, Case{"de", "de", nullptr},
                          Case{"se", "se", nullptr}, Case{"EN", "en", "No"}}) {
        TempDir dir;
        ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
        if (c.stored) {
            fs::create_directories(dir.Path() / "Tervin");
            std::ofstream(dir / "Tervin/ORVA.conf") << "[Settings]\nLanguage=" << c.stored << "\n";
        }
        CDictionary& dictionary = Shipped();
        const std::string chosen =
            SelectStartupLanguage([&](const std::string& code) { return dictionary.SetLanguage(code); });
        EXPECT_EQ(chosen, c.chosen);
        EXPECT_EQ(dictionary.GetLanguage(), c.chosen);
        if (c.idNo) {
            EXPECT_EQ(dictionary.Translate("IDS_IDNO"), c.idNo);
        }
        if (!c.stored) {
            EXPECT_EQ(RegistryValueStr(RegistryRoot::CurrentUser, kSettingsKey, "Language").GetString(), "en");
        }
    }
    Shipped().SetLanguage("en");
}

}  // namespace
