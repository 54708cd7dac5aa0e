#include "dictionary/Dictionary.h"

#include "core/TextLookup.h"
#include "support/DictionaryFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A small dictionary with the awkward cases in it.
const std::string kBody = R"(<dictionary date="2026-12-10 04:00:00">
  <!-- a comment between tags is skipped -->
  <tag name="IDS_BOTH">
    <entry lang="en">Alarm</entry>
    <entry lang="de">Alarm (de)</entry>
  </tag>
  <tag name="IDS_ENGLISH_ONLY"><entry lang="en">Only English</entry></tag>
  <tag name="IDS_NO_ENTRIES"></tag>
  <tag name="IDS_EMPTY_TEXT"><entry lang="en"></entry><entry lang="de">leer</entry></tag>
  <tag name="IDS_MENU"><entry lang="en">&amp;New...\tCtrl+N</entry></tag>
  <tag name="IDS_LINES"><entry lang="en">first\nsecond\n</entry></tag>
  <tag name="IDS_DOUBLED"><entry lang="en">C:\\new\\table</entry></tag>
  <tag name="IDS_MIXED"><entry lang="en">a\nb and C:\\n</entry></tag>
  <tag name="IDS_BACKSLASH_R"><entry lang="en">keep \r here</entry></tag>
  <tag name="IDS_CRLF"><entry lang="en">ALARM FROM %s&#13;\n</entry></tag>
  <tag name="IDS_MARKUP"><entry lang="en">Click &lt;OK&gt; &amp; go</entry></tag>
  <tag name="IDS_UTF8"><entry lang="en">Hiss &#246; Größe</entry></tag>
  <tag name="IDS_DUPLICATE"><entry lang="en">first tag</entry></tag>
  <tag name="IDS_DUPLICATE"><entry lang="de">second tag</entry></tag>
  <tag name="IDS_TWICE"><entry lang="en">one</entry><entry lang="en">two</entry></tag>
  <tag name="IDS_OTHER_NODES">text<other lang="en">ignored</other><entry lang="en">kept</entry></tag>
  <other name="IDS_NOT_A_TAG"><entry lang="en">never</entry></other>
  <tag name="IDS_FRENCH_LAST"><entry lang="fr">Alarme</entry><entry lang="en">Alarm</entry></tag>
</dictionary>
)";

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = WithHeader(kBody);
        ASSERT_TRUE(dictionary.Load(Bytes(data), data.size()));
        ASSERT_TRUE(dictionary.SetLanguage("en"));
    }
    std::string data;
    CDictionary dictionary;
};

TEST_F(DictionaryTest, LanguagesInOrderOfFirstAppearance)
{
    EXPECT_EQ(dictionary.GetLanguages(), (std::vector<std::string>{"en", "de", "fr"}));
    EXPECT_TRUE(dictionary.IsLanguage("fr"));
    EXPECT_FALSE(dictionary.IsLanguage("EN"));
    EXPECT_FALSE(dictionary.IsLanguage(""));
}

TEST_F(DictionaryTest, SetLanguageIsExactAndKeepsTheOldOneOnRefusal)
{
    ASSERT_TRUE(dictionary.SetLanguage("de"));
    EXPECT_FALSE(dictionary.SetLanguage("EN"));
    EXPECT_FALSE(dictionary.SetLanguage("xx"));
    EXPECT_EQ(dictionary.GetLanguage(), "de");
    EXPECT_EQ(dictionary.Translate("IDS_BOTH"), "Alarm (de)");
}

TEST_F(DictionaryTest, Lookups)
{
    struct Case {
        const char* language;
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {"en", "IDS_BOTH", "Alarm"},
        {"de", "IDS_BOTH", "Alarm (de)"},
        {"en", "IDS_NO_SUCH_KEY", "*NA*"},
        {"en", "IDS_NO_ENTRIES", "*NA*"},
        {"en", "IDS_EMPTY_TEXT", "*NA*"},
        {"de", "IDS_EMPTY_TEXT", "leer"},
        {"de", "IDS_ENGLISH_ONLY", "*NA*"},  // no fallback to English
        {"en", "IDS_MARKUP", "Click <OK> & go"},
        {"en", "IDS_UTF8", "Hiss ö Größe"},
        {"en", "IDS_DUPLICATE", "*NA*"},  // the second tag replaced the first whole
        {"de", "IDS_DUPLICATE", "second tag"},
        {"en", "IDS_TWICE", "two"},
        {"en", "IDS_OTHER_NODES", "kept"},
        {"en", "IDS_NOT_A_TAG", "*NA*"},
        {"fr", "IDS_FRENCH_LAST", "Alarme"},
        {"en", "", "*NA*"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(dictionary.SetLanguage(c.language));
        EXPECT_EQ(dictionary.Translate(c.key), c.expected) << c.language << " " << c.key;
    }
    EXPECT_EQ(dictionary.GetKeys().size(), dictionary.GetTagCount());
}

TEST_F(DictionaryTest, EscapesInLoadedTexts)
{
    EXPECT_EQ(dictionary.Translate("IDS_MENU"), "&New...\tCtrl+N");
    EXPECT_EQ(dictionary.Translate("IDS_LINES"), "first\nsecond\n");
    EXPECT_EQ(dictionary.Translate("IDS_DOUBLED"), "C:\\\\new\\\\table");
    EXPECT_EQ(dictionary.Translate("IDS_MIXED"), "a\nb and C:\\\\n");
    EXPECT_EQ(dictionary.Translate("IDS_BACKSLASH_R"), "keep \\r here");
    EXPECT_EQ(dictionary.Translate("IDS_CRLF"), "ALARM FROM %s\r\n");
}

TEST(DictionaryEscapes, Resolution)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"a\\nb", "a\nb"},
        {"a\\tb", "a\tb"},
        {"\\n\\t", "\n\t"},
        {"a\\\\nb", "a\\\\nb"},         // doubled backslash: unchanged
        {"x\\ny\\\\nz", "x\ny\\\\nz"},  // both in one text
        {"a\\\\tb\\tc", "a\\\\tb\tc"},
        {"a\\rb", "a\\rb"},  // not an escape
        {"\\", "\\"},
        {"end\\", "end\\"},
        {"\\\\", "\\\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CDictionary::ResolveEscapes(c.in), c.out) << c.in;
}

TEST(DictionaryState, NothingBeforeLoadAndLanguageChoice)
{
    CDictionary dictionary;
    EXPECT_EQ(dictionary.Translate("IDS_BOTH"), "*NA*");
    EXPECT_FALSE(dictionary.SetLanguage("en"));
    const std::string data = WithHeader(kBody);
    ASSERT_TRUE(dictionary.Load(Bytes(data), data.size()));
    EXPECT_EQ(dictionary.GetLanguage(), "");
    EXPECT_EQ(dictionary.Translate("IDS_BOTH"), "*NA*");  // no language chosen yet
}

TEST(DictionaryState, LoadRunsOnce)
{
    CDictionary dictionary;
    const std::string good = WithHeader(kBody);
    ASSERT_TRUE(dictionary.Load(Bytes(good), good.size()));
    const std::string other = WithHeader("<dictionary><tag name=\"X\"><entry lang=\"sv\">x</entry></tag></dictionary>");
    EXPECT_TRUE(dictionary.Load(Bytes(other), other.size()));
    EXPECT_FALSE(dictionary.IsLanguage("sv"));
}

TEST(DictionaryFailures, BrokenXmlFailsCleanly)
{
    const std::string full = WithHeader(kBody);
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"truncated", WithHeader(kBody.substr(0, kBody.size() / 2))},
        {"unclosed element", WithHeader("<dictionary><tag name=\"K\"><entry lang=\"en\">x</tag></dictionary>")},
        {"no root element", WithHeader("")},
        {"only a comment", WithHeader("<!-- nothing -->\n")},
        {"undefined entity",
         WithHeader("<dictionary><tag name=\"K\"><entry lang=\"en\">&nbsp;</entry></tag></dictionary>")},
        {"binary garbage", WithHeader(std::string("\x01\x02\xff\xfe<<<", 7))},
        // The dictionary never declares anything: a document type declaration
        // is refused whatever it holds, before any entity in it is expanded.
        {"external entity",
         WithHeader("<!DOCTYPE dictionary [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                    "<dictionary><tag name=\"K\"><entry lang=\"en\">&x;</entry></tag></dictionary>")},
        {"internal entity",
         WithHeader("<!DOCTYPE dictionary [<!ENTITY lift \"Lift\">]>"
                    "<dictionary><tag name=\"K\"><entry lang=\"en\">&lift;</entry></tag></dictionary>")},
        {"empty document type", WithHeader("<!DOCTYPE dictionary><dictionary></dictionary>")},
        // Ten levels of ten references: 10^10 expansions of a small file,
        // which would keep the station from starting for a very long time.
        {"entity expansion",
         [] {
             std::string body = "<!DOCTYPE dictionary [<!ENTITY e0 \"lift alarm \">";
             for (int level = 1; level <= 10; ++level) {
                 body += "<!ENTITY e" + std::to_string(level) + " \"";
                 for (int i = 0; i < 10; ++i)
                     body += "&e" + std::to_string(level - 1) + ";";
                 body += "\">";
             }
             body += "]><dictionary><tag name=\"K\"><entry lang=\"en\">&e10;</entry></tag></dictionary>";
             return WithHeader(body);
         }()},
    };
    for (const Case& c : cases) {
        CDictionary dictionary;
        testing::internal::CaptureStdout();
        const bool loaded = dictionary.Load(Bytes(c.data), c.data.size());
        const std::string diagnostics = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(loaded) << c.name;
        EXPECT_EQ(dictionary.GetTagCount(), 0u) << c.name;
        EXPECT_TRUE(dictionary.GetLanguages().empty()) << c.name;
        EXPECT_NE(diagnostics.find("Exception message is: \n"), std::string::npos) << c.name << ": " << diagnostics;
    }
    EXPECT_FALSE(CDictionary().Load(nullptr, 0));
}

TEST_F(DictionaryTest, WorkersTranslateWhileTheLanguageChanges)
{
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 3; ++i) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                const std::string text = dictionary.Translate("IDS_BOTH");
                if (text != "Alarm" && text != "Alarm (de)")
                    ++wrong;
            }
        });
    }
    for (int i = 0; i < 2000; ++i)
        dictionary.SetLanguage(i % 2 ? "de" : "en");
    stop = true;
    for (auto& t : workers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(DictionaryTest, CoreTextLookupAnswersFromTheDictionary)
{
    dictionary.InstallAsTextLookup();
    EXPECT_EQ(LookupText("IDS_BOTH"), "Alarm");
    EXPECT_EQ(LookupText("IDS_NO_SUCH_KEY"), "*NA*");
    SetTextLookup(nullptr);
    EXPECT_EQ(LookupText("IDS_BOTH"), "*NA*");
}

}  // namespace
