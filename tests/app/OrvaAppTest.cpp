// The start-up of the station without windows: the dictionary check, the
// operator on duty, the reasons a start fails, and settings that the
// managers change while nobody is there.

#include "app/OrvaApp.h"
#include "settings/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class OrvaAppTest : public ::testing::Test {
protected:
    void SetUp() override { dir.WorkIn(); }

    // Settings as a previous run (or the installer) left them: nothing
    // enabled that needs a device or a server.
    void StoreSettings(const std::function<void(CSettings&)>& change = {})
    {
        CSettings settings;
        settings.Load();
        settings.Values().MailEnabled = 0;
        if (change)
            change(settings);
        ASSERT_TRUE(settings.Save());
    }
    static SettingsValues StoredSettings()
    {
        CSettings settings;
        settings.Load();
        return settings.Values();
    }
    bool Printed(const std::string& text) const { return out.str().find(text) != std::string::npos; }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv comDir{"ORVA_COM_DIR", dir.Path().string()};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(OrvaAppTest, DictionaryThatFailsItsCheckEndsTheProgramAtOnce)
{
    COrvaApp app({}, out, err);
    app.SetDictionaryLoader([] { return false; });
    EXPECT_EQ(app.Startup(), ORVA_EXIT_DICTIONARY);
    EXPECT_EQ(err.str(), "Error loading dictionary, application will exit!\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(app.Document(), nullptr);
}

TEST_F(OrvaAppTest, OperatorFromTheCommandLineIsOnDutyAndRemembered)
{
    StoreSettings([](CSettings& settings) { settings.SaveLastOperator("Berit"); });
    CommandLine options;
    options.operatorName = "Kim";
    COrvaApp app(options, out, err);
    ASSERT_EQ(app.Startup(), ORVA_EXIT_OK) << err.str();
    EXPECT_TRUE(Printed(" TITLE Tervin CallCenter Ver. 2.72 - Kim\n"));
    EXPECT_TRUE(Printed(" READY\n"));
    EXPECT_EQ(StoredSettings().LastOperator, "Kim");
    EXPECT_EQ(app.Shutdown(), ORVA_EXIT_OK);
    EXPECT_TRUE(Printed(" STOPPED\n"));
    EXPECT_EQ(err.str(), "");
}

struct DefaultOperatorCase {
    const char* name;
    std::string stored;
    std::string onDuty;
};

class OrvaAppOperatorTest : public OrvaAppTest, public ::testing::WithParamInterface<DefaultOperatorCase> {};

TEST_P(OrvaAppOperatorTest, WithoutTheCommandLineTheLastOperatorIsOnDuty)
{
    const DefaultOperatorCase& c = GetParam();
    StoreSettings([&c](CSettings& settings) { settings.SaveLastOperator(c.stored); });
    COrvaApp app({}, out, err);
    ASSERT_EQ(app.Startup(), ORVA_EXIT_OK) << err.str();
    EXPECT_EQ(app.Document()->GetOperatorName(), c.onDuty);
    // Nobody chose anyone: the stored name stays as it was.
    EXPECT_EQ(StoredSettings().LastOperator, c.stored);
    app.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvaAppOperatorTest,
                         ::testing::Values(DefaultOperatorCase{"Stored", "Berit", "Berit"},
                                           DefaultOperatorCase{"NoneStored", "", "Operator"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OrvaAppTest, MissingDatabaseFolderEndsTheStartWithItsReason)
{
    const std::string folder = dir.Path().string() + "/missing/";
    StoreSettings([&folder](CSettings& settings) { settings.Values().DatabasePath = folder; });
    COrvaApp app({}, out, err);
    EXPECT_EQ(app.Startup(), ORVA_EXIT_DATABASE);
    EXPECT_EQ(err.str(), "orva: the database folder " + folder + " does not exist\n");
    EXPECT_FALSE(Printed(" READY"));
    EXPECT_FALSE(Printed(" STATUS "));  // no manager after the database started
}

TEST_F(OrvaAppTest, FileThatIsNotADatabaseEndsTheStartWithItsReason)
{
    {
        std::ofstream notADatabase(dir / "ORVA_10.mdb");
        notADatabase << "This is a text file, not a database.\n";
    }
    // The folder names the same file with or without a separator at its end;
    // without one, a new empty database must not appear beside the folder.
    for (const std::string& folder : {dir.Path().string() + "/", dir.Path().string()}) {
        SCOPED_TRACE(folder);
        StoreSettings([&folder](CSettings& settings) { settings.Values().DatabasePath = folder; });
        out.str("");
        err.str("");
        COrvaApp app({}, out, err);
        EXPECT_EQ(app.Startup(), ORVA_EXIT_DATABASE);
        EXPECT_EQ(err.str(), "orva: " + dir.Path().string() + "/ORVA_10.mdb is not a database\n");
    }
    EXPECT_FALSE(fs::exists(dir.Path().string() + "ORVA_10.mdb"));
}

TEST_F(OrvaAppTest, SerialPortsThatDoNotOpenStayStoppedAndNothingIsSaved)
{
    StoreSettings([](CSettings& settings) {
        settings.Values().TelEnabled = 1;
        settings.Values().TelComPort = 7;  // no COM7 in ORVA_COM_DIR
        settings.Values().GsmEnabled = 1;
        settings.Values().GsmComPort = 8;
    });
    const SettingsValues before = StoredSettings();
    COrvaApp app({}, out, err);
    ASSERT_EQ(app.Startup(), ORVA_EXIT_OK) << err.str();

    EXPECT_TRUE(Printed(" MESSAGE Telephone Modem Serial Port Error\n"));
    EXPECT_TRUE(Printed(" STATUS 3 TEL: Disabled\n"));
    EXPECT_TRUE(Printed(" MESSAGE GSM Modem Serial Port Error\n"));
    EXPECT_TRUE(Printed(" STATUS 2 GSM: Disabled\n"));
    EXPECT_TRUE(Printed(" READY\n"));
    app.Shutdown();
    // The next start tries the configured ports again.
    EXPECT_EQ(StoredSettings(), before);
}

}  // namespace
