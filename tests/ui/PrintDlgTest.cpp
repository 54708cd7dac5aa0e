// The alarm list print window: its choices and labels from the list's rows
// and selection, the requests for All and Selection, the text block of each
// alarm, and the print job itself, printed to a PDF file and read back with
// pdftotext (51 lines make two pages), with a cancelled printer choice and
// in the preview.

#include "dictionary/Dictionary.h"
#include "ui/PrintDlg.h"

#include "core/TextLookup.h"
#include "db/DbAlarmInfo.h"
#include "db/DbTestSupport.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"
#include "support/FakeTickSource.h"
#include "support/TempDir.h"
#include "ui/PrintListSource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

class FakeList : public CPrintListSource {
public:
    int GetPrintRowCount() const override { return rows; }
    std::vector<uint32_t> GetPrintSelection() const override { return selected; }
    int rows = 0;
    std::vector<uint32_t> selected;
};

std::unique_ptr<CAlarmInfoMsg> Alarm(uint32_t key, uint8_t status, uint8_t type, const std::vector<std::string>& text)
{
    auto alarm = std::make_unique<CAlarmInfoMsg>();
    alarm->PrimaryKey = key;
    alarm->AlarmStatus = status;
    alarm->AlarmType = type;
    alarm->AlarmSource = ALARMSOURCE_TEL;
    alarm->IdCode = "1234" + std::to_string(key);
    alarm->IdInfo = "Lift " + std::to_string(key);
    alarm->AlarmTime = COleDateTime(2024, 3, 5, 14, 7, 9);
    for (const std::string& line : text)
        alarm->Text.AddLine(line);
    return alarm;
}

// The chain of records as the database answers a print request.
std::unique_ptr<CMsg> Chain(std::vector<std::unique_ptr<CAlarmInfoMsg>> alarms, uint16_t result)
{
    alarms.front()->Result = result;
    for (std::size_t i = alarms.size() - 1; i > 0; --i)
        alarms[i - 1]->Next = std::move(alarms[i]);
    return std::move(alarms.front());
}

// Runs of blanks as one blank.
std::string Squeezed(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c != ' ' || out.empty() || out.back() != ' ')
            out += c;
    }
    return out;
}

void RunPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// pdftotext of the file, pages split at the form feeds, blank lines left out.
std::vector<std::vector<std::string>> ReadPdf(const std::string& pdf, const std::string& txt)
{
    const std::string command = std::string(ORVA_PDFTOTEXT) + " -layout '" + pdf + "' '" + txt + "'";
    EXPECT_EQ(std::system(command.c_str()), 0)
        << command << " failed: the print-out is read back with pdftotext (Debian package poppler-utils)";
    std::FILE* file = std::fopen(txt.c_str(), "rb");
    std::string text;
    if (file != nullptr) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, got);
        std::fclose(file);
    }
    std::vector<std::vector<std::string>> pages(1);
    std::string line;
    auto endLine = [&] {
        const auto first = line.find_first_not_of(' ');
        if (first != std::string::npos)
            pages.back().push_back(line.substr(first, line.find_last_not_of(' ') - first + 1));
        line.clear();
    };
    for (char c : text) {
        if (c == '\n') {
            endLine();
        } else if (c == '\f') {
            endLine();
            pages.emplace_back();
        } else {
            line += c;
        }
    }
    endLine();
    // pdftotext ends the last page with a form feed too.
    if (pages.size() > 1 && pages.back().empty())
        pages.pop_back();
    return pages;
}

class PrintDlgTest : public ::testing::Test {
protected:
    PrintDlgTest()
    {
        dlg.SetBeep([this] { ++beeps; });
        dlg.SetAfterPrinting([this] { ++jobsEnded; });
    }
    ~PrintDlgTest() override
    {
        // A test that fails while waiting must not leave the wait cursor.
        while (QApplication::overrideCursor() != nullptr)
            QApplication::restoreOverrideCursor();
    }

    // Prints into a PDF file of the scratch folder instead of asking.
    void PrintToPdf()
    {
        dlg.SetPrinterChooser([this](QPrinter& printer, int pageCount) {
            chooserPages = pageCount;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
    }

    std::vector<std::vector<std::string>> PdfPages() const { return ReadPdf(pdf, dir / "out.txt"); }

    // Sends the current choice's request and answers it.
    void PrintWith(std::unique_ptr<CMsg> reply, bool preview = false)
    {
        if (preview)
            dlg.PreviewButton()->click();
        else
            dlg.PrintButton()->click();
        ASSERT_EQ(requests.size(), 1u);
        dlg.OnReply(std::move(reply));
        RunPosted();
    }

    FakeTickSource clock{1000};
    TempDir dir;
    std::string pdf = dir / "alarms.pdf";
    FakeList list;
    std::vector<std::unique_ptr<CMsg>> requests;
    CPrintDlg dlg{list, [this](std::unique_ptr<CMsg> request) { requests.push_back(std::move(request)); }};
    int beeps = 0;
    int jobsEnded = 0;
    int chooserPages = 0;
};

// --- Choices and labels --------------------------------------------------

struct UpdateCase {
    const char* name;
    int rows;
    int selected;
    bool enabled;
    bool selectionEnabled;
    const char* allLabel;
    const char* selectionLabel;
    int choice;
};

void PrintTo(const UpdateCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrintDlgUpdateTest : public PrintDlgTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(PrintDlgUpdateTest, ChoicesAndLabelsFollowTheList)
{
    const UpdateCase& c = GetParam();
    // From a state with both choices on, so that every label has to change.
    list.rows = 7;
    list.selected = {1, 2};
    dlg.Update();
    list.rows = c.rows;
    list.selected.clear();
    for (int i = 0; i < c.selected; ++i)
        list.selected.push_back(static_cast<uint32_t>(100 + i));
    dlg.Update();
    EXPECT_EQ(dlg.PrintButton()->isEnabled(), c.enabled);
    EXPECT_EQ(dlg.PreviewButton()->isEnabled(), c.enabled);
    EXPECT_EQ(dlg.AllChoice()->isEnabled(), c.enabled);
    EXPECT_EQ(dlg.SelectionChoice()->isEnabled(), c.selectionEnabled);
    EXPECT_EQ(dlg.AllChoice()->text().toStdString(), c.allLabel);
    EXPECT_EQ(dlg.SelectionChoice()->text().toStdString(), c.selectionLabel);
    EXPECT_EQ(dlg.GetChoice(), c.choice);
}

INSTANTIATE_TEST_SUITE_P(List, PrintDlgUpdateTest,
                         ::testing::Values(UpdateCase{"Empty", 0, 0, false, false, "All", "Selection",
                                                      CPrintDlg::kChoiceNone},
                                           UpdateCase{"RowsWithoutSelection", 5, 0, true, false, "All Items (5)",
                                                      "Selection", CPrintDlg::kChoiceAll},
                                           UpdateCase{"TwoHundredRowsThreeSelected", 200, 3, true, true,
                                                      "All Items (200)", "Selection (3)", CPrintDlg::kChoiceSelection}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintDlgTest, AllSaysInItsTooltipThatTheFilterDoesNotApply)
{
    EXPECT_EQ(dlg.AllChoice()->toolTip().toStdString(), LookupText("IDS_PRINTDLG_MSG_39"));
    EXPECT_FALSE(dlg.AllChoice()->toolTip().isEmpty());
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Print");
}

// --- Requests ------------------------------------------------------------

TEST_F(PrintDlgTest, SelectionAsksForEachSelectedAlarmTopToBottomInOneChain)
{
    list.rows = 200;
    list.selected = {42, 7, 300};
    dlg.Update();
    dlg.PrintButton()->click();
    ASSERT_EQ(requests.size(), 1u);
    std::vector<uint32_t> keys;
    for (auto* each = dynamic_cast<CAlarmInfoReqMsg*>(requests[0].get()); each != nullptr; each = each->NextRequest()) {
        EXPECT_EQ(each->GetType(), DBMSG_FIND_ALARM_INFO);
        EXPECT_EQ(each->Kind, ALARM_KIND_PRINT_KEYS);
        keys.push_back(each->PrimaryKey);
    }
    EXPECT_EQ(keys, (std::vector<uint32_t>{42, 7, 300}));
    // Waiting for the answer: wait cursor, and no second request.
    EXPECT_TRUE(dlg.IsWaiting());
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(dlg.PrintButton()->isEnabled());
    dlg.OnPreview();
    EXPECT_EQ(requests.size(), 1u);
}

TEST_F(PrintDlgTest, AllAsksForTheMostRecentAlarmsOfEveryStatusAsManyAsTheListHasRows)
{
    // A list filtered down to five rows.
    list.rows = 5;
    dlg.Update();
    dlg.PreviewButton()->click();
    ASSERT_EQ(requests.size(), 1u);
    auto* request = dynamic_cast<CAlarmInfoReqMsg*>(requests[0].get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->GetType(), DBMSG_FIND_ALARM_INFO);
    EXPECT_EQ(request->Kind, ALARM_KIND_PRINT_LIST);
    EXPECT_EQ(request->MaxCount, 5u);
    EXPECT_EQ(request->StatusMask, 15);
    EXPECT_EQ(request->Next, nullptr);
}

// --- The text block of one alarm ----------------------------------------------

struct BlockCase {
    const char* name;
    uint8_t status;
    uint8_t type;
    uint8_t opFail;
    uint8_t source;
    bool ackValid;
    bool execValid;
    std::vector<std::string> expected;  // from the status line on
};

void PrintTo(const BlockCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string kHead[] = {"ID Code: 12345", "ID Info: Main Street 5", "Alarm Time: 24-03-05 14:07:09",
                             "Emergency call", "Car stuck"};

std::vector<std::string> Block(std::vector<std::string> top, std::vector<std::string> tail = {})
{
    std::vector<std::string> lines = std::move(top);
    lines.insert(lines.end(), std::begin(kHead), std::end(kHead));
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

const std::string kAck = "Acknowledged by: Anna, Time: 24-03-05  14:10:00";
const std::string kExec = "Finished by: Bert, Time: 24-03-05  15:20:30";

const BlockCase kBlockCases[] = {
    {"NewP100", 1, 1, 0, 1, true, true, Block({"Alarm Status: New Alarm", "Alarm Type: P100", "Alarm Source: Tel"})},
    {"AcknowledgedWithTime", 2, 2, 0, 2, true, false,
     Block({"Alarm Status: Acknowledged", "Alarm Type: SMS", "Alarm Source: SMS"}, {kAck})},
    {"AcknowledgedWithoutTime", 2, 3, 0, 1, false, false,
     Block({"Alarm Status: Acknowledged", "Alarm Type: Voice", "Alarm Source: Tel"})},
    {"FinishedBoth", 3, 8, 0, 4, true, true,
     Block({"Alarm Status: Finished", "Alarm Type: Emergency Call Activated", "Alarm Source: Caller ID"},
           {kAck, kExec})},
    {"FinishedWithoutAckTime", 3, 9, 0, 3, false, true,
     Block({"Alarm Status: Finished", "Alarm Type: End of Alarm", "Alarm Source: Internal"}, {kExec})},
    {"FinishedWithoutTimes", 3, 10, 0, 1, false, false,
     Block({"Alarm Status: Finished", "Alarm Type: Maintenance", "Alarm Source: Tel"})},
    // An Info alarm never prints operator lines, even with times set.
    {"Info", 4, 6, 0, 1, true, true, Block({"Alarm Status: Info", "Alarm Type: Test Successful", "Alarm Source: Tel"})},
    {"NewAlarmWithTimes", 1, 7, 0, 3, true, true,
     Block({"Alarm Status: New Alarm", "Alarm Type: Test fail", "Alarm Source: Internal"})},
};

class PrintDlgBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(PrintDlgBlockTest, LinesOfOneAlarm)
{
    const BlockCase& c = GetParam();
    CAlarmInfoMsg alarm;
    alarm.PrimaryKey = 1;
    alarm.AlarmStatus = c.status;
    alarm.AlarmType = c.type;
    alarm.OpFailType = c.opFail;
    alarm.AlarmSource = c.source;
    alarm.IdCode = "12345";
    alarm.IdInfo = "Main Street 5";
    alarm.AlarmTime = COleDateTime(2024, 3, 5, 14, 7, 9);
    alarm.Text.AddLine("Emergency call");
    alarm.Text.AddLine("Car stuck");
    alarm.AckOperator = "Anna";
    alarm.ExecOperator = "Bert";
    if (c.ackValid)
        alarm.AckTime = COleDateTime(2024, 3, 5, 14, 10, 0);
    else
        alarm.AckTime.SetStatus(COleDateTime::null);
    if (c.execValid)
        alarm.ExecTime = COleDateTime(2024, 3, 5, 15, 20, 30);
    else
        alarm.ExecTime.SetStatus(COleDateTime::invalid);

    std::vector<std::string> expected{std::string(70, '*')};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(CPrintDlg::AlarmLines(alarm), expected);
}

INSTANTIATE_TEST_SUITE_P(Alarms, PrintDlgBlockTest, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TypeLineCase {
    uint8_t type;
    uint8_t opFail;
    const char* line;
};

class PrintDlgTypeLineTest : public ::testing::TestWithParam<TypeLineCase> {};

TEST_P(PrintDlgTypeLineTest, TypeLineByAlarmTypeAndOpFailType)
{
    CAlarmInfoMsg alarm;
    alarm.AlarmStatus = ALARMSTATUS_NEW;
    alarm.AlarmSource = ALARMSOURCE_TEL;
    alarm.AlarmType = GetParam().type;
    alarm.OpFailType = GetParam().opFail;
    const std::vector<std::string> lines = CPrintDlg::AlarmLines(alarm);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PrintDlgTypeLineTest,
    ::testing::Values(
        TypeLineCase{1, 0, "Alarm Type: P100"}, TypeLineCase{2, 0, "Alarm Type: SMS"},
        TypeLineCase{3, 0, "Alarm Type: Voice"}, TypeLineCase{4, 1, "Alarm Type: Inputs Failure"},
        TypeLineCase{4, 2, "Alarm Type: Battery Failure"}, TypeLineCase{4, 3, "Alarm Type: Mic/Speaker Failure"},
        TypeLineCase{4, 4, "Alarm Type: Mains Power Info"}, TypeLineCase{4, 5, "Alarm Type: Stuck Emergency Button"},
        TypeLineCase{4, 6, "Alarm Type: Undefined"}, TypeLineCase{4, 7, "Alarm Type: Undefined"},
        TypeLineCase{4, 0, "Alarm Type: Undefined"}, TypeLineCase{5, 0, "Alarm Type: Lift Monitoring System"},
        TypeLineCase{6, 0, "Alarm Type: Test Successful"}, TypeLineCase{7, 0, "Alarm Type: Test fail"},
        TypeLineCase{8, 0, "Alarm Type: Emergency Call Activated"}, TypeLineCase{9, 0, "Alarm Type: End of Alarm"},
        TypeLineCase{10, 0, "Alarm Type: Maintenance"}, TypeLineCase{11, 0, "Alarm Type: Voice - Redirected"},
        TypeLineCase{0, 0, "Alarm Type: Undefined"}, TypeLineCase{12, 0, "Alarm Type: Undefined"}));

// --- The print job -------------------------------------------------------

// 51 lines: one finished alarm of 11 lines (two text lines, both operator
// lines) and five new alarms of 8 lines (one text line each).
std::unique_ptr<CMsg> FiftyOneLines()
{
    std::vector<std::unique_ptr<CAlarmInfoMsg>> alarms;
    auto finished = Alarm(1, ALARMSTATUS_FINISHED, ALARMTYPE_EMERGENCY_CALL, {"Emergency call", "Car stuck"});
    finished->AckOperator = "Anna";
    finished->AckTime = COleDateTime(2024, 3, 5, 14, 10, 0);
    finished->ExecOperator = "Bert";
    finished->ExecTime = COleDateTime(2024, 3, 5, 15, 20, 30);
    alarms.push_back(std::move(finished));
    for (uint32_t key = 2; key <= 6; ++key)
        alarms.push_back(Alarm(key, ALARMSTATUS_NEW, ALARMTYPE_TEST, {"Test alarm number " + std::to_string(key)}));
    return Chain(std::move(alarms), DBRES_ALARM_PRINT_LIST);
}

TEST_F(PrintDlgTest, FiftyOneLinesPrintOnTwoPagesTheSecondWithOneLine)
{
    list.rows = 6;
    dlg.Update();
    PrintToPdf();
    PrintWith(FiftyOneLines());
    EXPECT_FALSE(dlg.IsWaiting());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(chooserPages, 2);
    EXPECT_EQ(jobsEnded, 1);
    EXPECT_EQ(dlg.Pages().GetPageCount(), 0);  // emptied after the job
    ASSERT_TRUE(std::filesystem::exists(pdf));

    const auto pages = PdfPages();
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[0].size(), 50u);
    EXPECT_EQ(pages[0][0], std::string(70, '*'));
    EXPECT_EQ(pages[0][1], "Alarm Status: Finished");
    EXPECT_EQ(pages[0][7], "Emergency call");
    // Text read back from a PDF tells one blank from two only by guesswork;
    // the exact lines are checked in the block table above.
    EXPECT_EQ(Squeezed(pages[0][9]), "Acknowledged by: Anna, Time: 24-03-05 14:10:00");
    EXPECT_EQ(Squeezed(pages[0][10]), "Finished by: Bert, Time: 24-03-05 15:20:30");
    EXPECT_EQ(pages[0][49], "Alarm Time: 24-03-05 14:07:09");
    ASSERT_EQ(pages[1].size(), 1u);
    EXPECT_EQ(pages[1][0], "Test alarm number 6");
    // The window is ready for the next job.
    EXPECT_TRUE(dlg.PrintButton()->isEnabled());
}

TEST_F(PrintDlgTest, FiftyLinesFitOnThePageWhateverTheFont)
{
    // A font so tall that fifty lines at its height would run far off the
    // paper: the page still holds all of them.
    const QFont original = QApplication::font();
    QFont tall = original;
    tall.setPointSize(40);
    QApplication::setFont(tall);
    list.rows = 6;
    dlg.Update();
    PrintToPdf();
    PrintWith(FiftyOneLines());
    QApplication::setFont(original);
    const auto pages = PdfPages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].size(), 50u);
    ASSERT_FALSE(pages[0].empty());
    EXPECT_EQ(pages[0].back(), "Alarm Time: 24-03-05 14:07:09");
}

TEST_F(PrintDlgTest, SelectedAlarmsPrintInTheOrderOfTheAnswer)
{
    list.rows = 10;
    list.selected = {9, 4};
    dlg.Update();
    PrintToPdf();
    std::vector<std::unique_ptr<CAlarmInfoMsg>> alarms;
    alarms.push_back(Alarm(9, ALARMSTATUS_NEW, ALARMTYPE_P100, {"upper row"}));
    alarms.push_back(Alarm(4, ALARMSTATUS_NEW, ALARMTYPE_SMS, {"lower row"}));
    PrintWith(Chain(std::move(alarms), DBRES_ALARM_PRINT_KEYS));
    const auto pages = PdfPages();
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 16u);
    EXPECT_EQ(pages[0][4], "ID Code: 12349");
    EXPECT_EQ(pages[0][7], "upper row");
    EXPECT_EQ(pages[0][12], "ID Code: 12344");
    EXPECT_EQ(pages[0][15], "lower row");
}

TEST_F(PrintDlgTest, CancelledPrinterChoicePrintsNothing)
{
    list.rows = 6;
    dlg.Update();
    dlg.SetPrinterChooser([](QPrinter&, int) { return false; });
    PrintWith(FiftyOneLines());
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_EQ(jobsEnded, 1);
    EXPECT_EQ(dlg.Pages().GetPageCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PrintDlgTest, AnAnswerWithoutAlarmsBeepsAndPrintsNothing)
{
    list.rows = 3;
    dlg.Update();
    bool asked = false;
    dlg.SetPrinterChooser([&](QPrinter&, int) { return asked = true; });
    auto empty = std::make_unique<CAlarmInfoMsg>();  // what a search that found nothing answers
    empty->Result = DBRES_ALARM_PRINT_LIST;
    PrintWith(std::move(empty));
    EXPECT_FALSE(asked);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PrintDlgTest, WithoutAnAnswerTheWindowIsGivenBackAfterTheTimeOut)
{
    list.rows = 6;
    dlg.Update();
    bool asked = false;
    dlg.SetPrinterChooser([&](QPrinter&, int) { return asked = true; });
    dlg.PrintButton()->click();
    ASSERT_EQ(requests.size(), 1u);
    clock.Advance(CPrintDlg::kReplyTimeoutMs - 1);
    dlg.OnReplyTimer();
    EXPECT_TRUE(dlg.IsWaiting());
    EXPECT_FALSE(dlg.PrintButton()->isEnabled());
    clock.Advance(1);
    dlg.OnReplyTimer();
    EXPECT_FALSE(dlg.IsWaiting());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dlg.PrintButton()->isEnabled());
    EXPECT_TRUE(dlg.PreviewButton()->isEnabled());
    // The late answer prints nothing.
    dlg.OnReply(FiftyOneLines());
    RunPosted();
    EXPECT_FALSE(asked);
}

TEST_F(PrintDlgTest, AnAnswerNobodyWaitsForIsDropped)
{
    list.rows = 6;
    dlg.Update();
    bool asked = false;
    dlg.SetPrinterChooser([&](QPrinter&, int) { return asked = true; });
    dlg.OnReply(FiftyOneLines());
    RunPosted();
    EXPECT_FALSE(asked);
    EXPECT_EQ(jobsEnded, 0);
}

TEST_F(PrintDlgTest, PreviewShowsEveryPage)
{
    list.rows = 6;
    dlg.Update();
    int previewPages = -1;
    dlg.SetPreviewRunner([&](QPrintPreviewDialog& preview) {
        preview.open();
        RunPosted();
        if (auto* widget = preview.findChild<QPrintPreviewWidget*>())
            previewPages = widget->pageCount();
        preview.reject();
    });
    PrintWith(FiftyOneLines(), true);
    EXPECT_EQ(previewPages, 2);
    EXPECT_EQ(jobsEnded, 1);
    EXPECT_EQ(dlg.Pages().GetPageCount(), 0);
}

TEST_F(PrintDlgTest, CloseHidesTheWindow)
{
    dlg.ShowWindow();
    EXPECT_TRUE(dlg.isVisible());
    dlg.findChild<QPushButton*>(QStringLiteral("IDC_PRINT_CLOSE"))->click();
    EXPECT_FALSE(dlg.isVisible());
}

// The window lives for the whole run: shown again after a language change,
// it speaks the new language.
TEST_F(PrintDlgTest, ShownAgainAfterALanguageChangeItSpeaksTheNewLanguage)
{
    dlg.ShowWindow();
    dlg.hide();
    ASSERT_TRUE(CDictionary::Instance().SetLanguage("de"));
    dlg.ShowWindow();
    const std::string title = dlg.windowTitle().toStdString();
    const std::string close = dlg.findChild<QPushButton*>(QStringLiteral("IDC_PRINT_CLOSE"))->text().toStdString();
    CDictionary::Instance().SetLanguage("en");
    EXPECT_EQ(title, "Drucken");
    EXPECT_NE(close, "&Close");
    dlg.hide();
}

// --- With the station's database ------------------------------------------

class PrintDlgDbTest : public HandlerFixture {
protected:
    uint32_t Store(uint8_t status, int minute, const std::string& idCode)
    {
        CDbAlarmInfo table;
        table.Attach(&handler, &database);
        CAlarmInfoMsg alarm;
        alarm.IdCode = idCode;
        alarm.AlarmType = ALARMTYPE_P100;
        alarm.AlarmSource = ALARMSOURCE_TEL;
        alarm.AlarmStatus = status;
        alarm.AlarmTime = COleDateTime(2024, 6, 1, 8, minute, 0);
        alarm.Text.SetText("text");
        EXPECT_EQ(table.AddAlarmInfo(alarm)->Result, DBRES_ALARM_ADDED);
        return alarm.PrimaryKey;
    }
};

TEST_F(PrintDlgDbTest, AllPrintsTheMostRecentAlarmsOfEveryStatusAsManyAsTheListHasRows)
{
    // Eight alarms a minute apart, the statuses taking turns.
    for (int i = 0; i < 8; ++i)
        Store(static_cast<uint8_t>(1 + i % 4), i, "1000000" + std::to_string(i));
    // The list shows five rows (a filter hides the rest).
    FakeList list;
    list.rows = 5;
    CPrintDlg dlg(list, [this](std::unique_ptr<CMsg> request) { handler.ExecuteRequest(std::move(request)); });
    const std::string pdf = dir / "all.pdf";
    dlg.SetPrinterChooser([&](QPrinter& printer, int) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    });
    dlg.Update();
    ASSERT_EQ(dlg.GetChoice(), CPrintDlg::kChoiceAll);
    dlg.PrintButton()->click();
    std::unique_ptr<CMsg> reply = owner.Take();
    ASSERT_NE(reply, nullptr);
    dlg.OnReply(std::move(reply));
    RunPosted();

    std::vector<std::string> ids;
    std::vector<std::string> statuses;
    for (const auto& page : ReadPdf(pdf, dir / "all.txt")) {
        for (const std::string& line : page) {
            if (line.rfind("ID Code: ", 0) == 0)
                ids.push_back(line.substr(9));
            if (line.rfind("Alarm Status: ", 0) == 0)
                statuses.push_back(line);
        }
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"10000007", "10000006", "10000005", "10000004", "10000003"}));
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Alarm Status: Info", "Alarm Status: Finished", "Alarm Status: Acknowledged",
                                        "Alarm Status: New Alarm", "Alarm Status: Info"}));
}

TEST_F(PrintDlgDbTest, ASelectedAlarmDeletedMeanwhileIsLeftOut)
{
    const uint32_t kept = Store(ALARMSTATUS_NEW, 1, "20000001");
    FakeList list;
    list.rows = 2;
    list.selected = {9999, kept};  // the first was deleted after it was selected
    CPrintDlg dlg(list, [this](std::unique_ptr<CMsg> request) { handler.ExecuteRequest(std::move(request)); });
    const std::string pdf = dir / "sel.pdf";
    dlg.SetPrinterChooser([&](QPrinter& printer, int) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    });
    dlg.Update();
    dlg.PrintButton()->click();
    std::unique_ptr<CMsg> reply = owner.Take();
    ASSERT_NE(reply, nullptr);
    dlg.OnReply(std::move(reply));
    RunPosted();
    const auto pages = ReadPdf(pdf, dir / "sel.txt");
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 8u);
    EXPECT_EQ(pages[0][4], "ID Code: 20000001");
}

}  // namespace
