// The two dialogs that can stop the station at start-up: the database
// manager dialog and the port selection.

#include "ui/DatabaseMgrDlg.h"
#include "ui/SetComPort.h"

#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "db/DbConvertVer01.h"
#include "db/DbErrorReporter.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const QListWidget* list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list->count(); ++i)
        lines.push_back(list->item(i)->text().toStdString());
    return lines;
}

struct Choice {
    bool enabled;
    bool checked;
    bool operator==(const Choice&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Choice& c)
{
    return out << (c.enabled ? "enabled" : "disabled") << (c.checked ? "+checked" : "");
}

Choice Of(const QRadioButton* button)
{
    return {button->isEnabled(), button->isChecked()};
}

struct ReasonCase {
    const char* name;
    int reason;
    std::vector<std::string> lines;
    Choice changePath, newEmpty, newCopy;
};

class DatabaseMgrDlgReasonTest : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(DatabaseMgrDlgReasonTest, ShowsItsLinesAndChoices)
{
    const ReasonCase& c = GetParam();
    CDatabaseMgrDlg dialog(c.reason, "/srv/orva/", nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Database Manager");
    EXPECT_EQ(Lines(dialog.MessageList()), c.lines);
    EXPECT_EQ(Of(dialog.ChangePathChoice()), c.changePath);
    EXPECT_EQ(Of(dialog.NewEmptyChoice()), c.newEmpty);
    EXPECT_EQ(Of(dialog.NewCopyChoice()), c.newCopy);
    EXPECT_EQ(dialog.ProgressList()->count(), 0);
}

const Choice kOff{false, false};
const Choice kOn{true, false};
const Choice kPicked{true, true};

INSTANTIATE_TEST_SUITE_P(
    Reasons, DatabaseMgrDlgReasonTest,
    ::testing::Values(ReasonCase{"InvalidPath",
                                 DBMGRDLG_REASON_INVALID_PATH,
                                 {"The current path:", "/srv/orva/", "to the Database does not exist!",
                                  "Click <OK> to change the path or <Cancel> to end the program"},
                                 kPicked,
                                 kOff,
                                 kOff},
                      ReasonCase{"NoDatabase",
                                 DBMGRDLG_REASON_NO_DATABASE,
                                 {"No Database found at the path:", "/srv/orva/",
                                  "Select action and click <OK>, or click <Cancel> to end the program"},
                                 kPicked,
                                 kOn,
                                 kOff},
                      ReasonCase{"BadDatabase",
                                 DBMGRDLG_REASON_BAD_DATABASE,
                                 {"The Database Manager has found an error in the Database at the path:", "/srv/orva/",
                                  "Click <OK> to change the path or <Cancel> to end the program"},
                                 kPicked,
                                 kOff,
                                 kOff},
                      ReasonCase{"OldVersion",
                                 DBMGRDLG_REASON_OLD_VERSION,
                                 {"The Database Manager has found an earlier version of the Database at the path:",
                                  "/srv/orva/", "Select action and click <OK>, or click <Cancel> to end the program"},
                                 kOn,
                                 kOn,
                                 kPicked}),
    [](const auto& info) { return std::string(info.param.name); });

class SilentReporter : public CDbErrorReporter {
public:
    void ShowDbError(const std::string& text) override { errors.push_back(text); }
    std::vector<std::string> errors;
};

class DatabaseMgrDlgTest : public ::testing::Test {
protected:
    DatabaseMgrDlgTest() { dir.WorkIn(); }

    // A converter working in `folder`, reporting into `reporter`.
    template <class Converter = CDbConvert>
    std::unique_ptr<CDbConvert> MakeConverter(const std::string& folder)
    {
        auto converter = std::make_unique<Converter>();
        converter->SetPath(folder);
        converter->SetOperator("Olle");
        converter->SetErrorReporter(&reporter);
        return converter;
    }

    TempDir dir;
    SilentReporter reporter;
};

TEST_F(DatabaseMgrDlgTest, ChangePathEndsAtOnceForEveryReason)
{
    for (int reason : {DBMGRDLG_REASON_INVALID_PATH, DBMGRDLG_REASON_NO_DATABASE, DBMGRDLG_REASON_BAD_DATABASE,
                       DBMGRDLG_REASON_OLD_VERSION}) {
        CDatabaseMgrDlg dialog(reason, dir.Path().string() + "/", nullptr);
        dialog.ChangePathChoice()->setChecked(true);
        dialog.OnOk();
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << reason;
        EXPECT_EQ(dialog.Result(), DBMGRDLG_CHANGE_PATH) << reason;
    }
}

TEST_F(DatabaseMgrDlgTest, NewEmptyDatabaseThenOkStartsTheProgram)
{
    const std::string folder = dir.Path().string() + "/";
    auto converter = MakeConverter(folder);
    CDatabaseMgrDlg dialog(DBMGRDLG_REASON_NO_DATABASE, folder, converter.get());
    dialog.NewEmptyChoice()->setChecked(true);

    dialog.OnOk();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "stays open to show the outcome";
    EXPECT_TRUE(fs::exists(folder + "ORVA_10.mdb"));
    const std::vector<std::string> progress = Lines(dialog.ProgressList());
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress[0], "Click <OK> to start the program...");
    EXPECT_EQ(progress[1], "Database successfully created...");
    EXPECT_EQ(dialog.BeepCount(), 1);
    EXPECT_FALSE(dialog.NewEmptyChoice()->isEnabled());
    EXPECT_TRUE(reporter.errors.empty());

    dialog.OnOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Result(), DBMGRDLG_START);
}

TEST_F(DatabaseMgrDlgTest, FailedCreationThenOkEndsTheProgram)
{
    // A regular file where the folder should be: nothing can be created in
    // it, not even by root.
    std::ofstream(dir / "not-a-folder") << "x";
    const std::string folder = dir / "not-a-folder" + "/";
    auto converter = MakeConverter(folder);
    CDatabaseMgrDlg dialog(DBMGRDLG_REASON_NO_DATABASE, folder, converter.get());
    dialog.NewEmptyChoice()->setChecked(true);

    dialog.OnOk();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    const std::vector<std::string> progress = Lines(dialog.ProgressList());
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0], "Click <OK> to end the program...");
    EXPECT_EQ(progress[1], "Error Creating Database...");
    EXPECT_FALSE(reporter.errors.empty());

    dialog.OnOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Result(), DBMGRDLG_END);
}

TEST_F(DatabaseMgrDlgTest, NewAndCopyFromAnOlderInstallation)
{
    const std::string folder = dir.Path().string() + "/";
    std::ofstream(folder + "IdInfo.dat").flush();
    std::ofstream(folder + "EventSave.dat").flush();
    auto converter = MakeConverter<CDbConvertVer01>(folder);
    CDatabaseMgrDlg dialog(DBMGRDLG_REASON_OLD_VERSION, folder, converter.get());

    dialog.OnOk();  // "create and copy" is preselected
    const std::vector<std::string> progress = Lines(dialog.ProgressList());
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0], "Click <OK> to start the program...");
    EXPECT_EQ(progress[1], "Database successfully created and copied...");
    dialog.OnOk();
    EXPECT_EQ(dialog.Result(), DBMGRDLG_START);
}

TEST_F(DatabaseMgrDlgTest, CreationWithoutConverterIsAFailureNotASuccess)
{
    CDatabaseMgrDlg dialog(DBMGRDLG_REASON_NO_DATABASE, "/srv/orva/", nullptr);
    dialog.NewEmptyChoice()->setChecked(true);
    dialog.OnOk();
    EXPECT_EQ(Lines(dialog.ProgressList()),
              (std::vector<std::string>{"Click <OK> to end the program...", "Error Creating Database..."}));
    dialog.OnOk();
    EXPECT_EQ(dialog.Result(), DBMGRDLG_END);
}

TEST_F(DatabaseMgrDlgTest, RunReturnsTheResultOrCancel)
{
    {
        CDatabaseMgrDlg dialog(DBMGRDLG_REASON_INVALID_PATH, "/srv/orva/", nullptr);
        QTimer::singleShot(0, dialog.OkButton(), [&dialog] { QTest::mouseClick(dialog.OkButton(), Qt::LeftButton); });
        EXPECT_EQ(dialog.Run(), DBMGRDLG_CHANGE_PATH);
        EXPECT_EQ(dialog.BeepCount(), 1);
    }
    {
        CDatabaseMgrDlg dialog(DBMGRDLG_REASON_INVALID_PATH, "/srv/orva/", nullptr);
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
        EXPECT_EQ(dialog.Run(), DBMGRDLG_CANCEL);
    }
}

// ---------------------------------------------------------------------------
// Port selection

class SetComPortTest : public ::testing::Test {
protected:
    SetComPortTest() : env("ORVA_COM_DIR", dir.Path().string()) {}

    // COM<number> in the port folder, linked to a pseudo-terminal.
    void Plug(int number)
    {
        auto& pty = ptys.emplace_back(std::make_unique<Pty>());
        fs::create_symlink(pty->SlavePath(), dir / ("COM" + std::to_string(number)));
    }

    static std::vector<std::string> Entries(const QComboBox* list)
    {
        std::vector<std::string> entries;
        for (int i = 0; i < list->count(); ++i)
            entries.push_back(list->itemText(i).toStdString());
        return entries;
    }

    TempDir dir;
    ScopedEnv env;
    std::vector<std::unique_ptr<Pty>> ptys;
};

TEST_F(SetComPortTest, ListsThePortsPresentWithTheCurrentOnePreselected)
{
    for (int number : {12, 3, 1})
        Plug(number);
    std::ofstream(dir / "COM7") << "not a serial line";

    CSetComPort dialog("GSM Modem Serial Port Error", 3);
    EXPECT_EQ(dialog.windowTitle(), "GSM Modem Serial Port Error");
    EXPECT_EQ(dialog.Line(0)->text(), "Unable to open the serial port !!");
    EXPECT_EQ(dialog.Line(1)->text(), "Try changing the port and select OK or");
    EXPECT_EQ(dialog.Line(2)->text(), "Select Cancel to disable the communication");
    EXPECT_TRUE(dialog.Line(0)->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(dialog.OkButton()->text(), "OK");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");

    EXPECT_EQ(Entries(dialog.PortList()), (std::vector<std::string>{"COM1", "COM3", "COM12"}));
    EXPECT_EQ(dialog.PortList()->currentText(), "COM3");
    EXPECT_EQ(dialog.GetPort(), 3);

    dialog.PortList()->setCurrentIndex(2);
    EXPECT_EQ(dialog.GetPort(), 12);
}

TEST_F(SetComPortTest, PortPluggedInMeanwhileAppearsWhenTheListOpens)
{
    Plug(2);
    CSetComPort dialog("Telephone Modem Serial Port Error", 5);
    EXPECT_EQ(Entries(dialog.PortList()), std::vector<std::string>{"COM2"});
    EXPECT_EQ(dialog.PortList()->currentIndex(), -1);
    EXPECT_EQ(dialog.GetPort(), 5) << "a port that has gone keeps its number until another is chosen";

    Plug(5);
    dialog.show();
    QTest::keyClick(dialog.PortList(), Qt::Key_F4);
    dialog.PortList()->hidePopup();
    EXPECT_EQ(Entries(dialog.PortList()), (std::vector<std::string>{"COM2", "COM5"}));
    EXPECT_EQ(dialog.PortList()->currentText(), "COM5");
    EXPECT_EQ(dialog.GetPort(), 5);
}

}  // namespace
