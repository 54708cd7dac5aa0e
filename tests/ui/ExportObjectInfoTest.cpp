// The object export: the line of an object for every field and separator,
// quoting of values that would break the line structure (read back with
// Python's csv module), the export window's choices, request and answers,
// and the output window writing the selected lines.

#include "ModalScript.h"
#include "ui/ExportObjectInfoDlg.h"
#include "ui/ExportObjectInfoLine.h"
#include "ui/ExportObjectInfoOutputDlg.h"

#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QProcess>
#include <QSpinBox>
#include <QTreeWidget>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using modalscript::Box;

std::unique_ptr<CObjectInfoMsg> Object(const std::string& idCode, const std::string& idInfo = "Main Street 1")
{
    auto object = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
    object->IdCode = idCode;
    object->IdInfo = idInfo;
    object->Address = "Lift 2";
    object->Days = 5;
    object->TestAlarmOnly = 1;
    object->AlarmPopUpEnabled = 0;
    object->MailAddrTech = "tech@example.com";
    object->SmsNumTech = "+46701111111";
    object->MailAddrEmg = "emg@example.com";
    object->SmsNumEmg = "+46702222222";
    object->Notes = "Key at the desk";
    object->ElevatorType = "Hydraulic";
    object->Customer = "Acme";
    return object;
}

exportline::FieldSet Ticked(std::initializer_list<int> positions)
{
    exportline::FieldSet fields{};
    for (const int position : positions)
        fields[position] = true;
    return fields;
}

std::string Slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

TEST(ExportLine, FieldsInListOrderWithOneSeparatorBetween)
{
    auto emptyInfo = Object("1");
    emptyInfo->IdInfo.clear();
    auto longDays = Object("2");
    longDays->Days = 120;
    longDays->TestAlarmOnly = 0;
    longDays->AlarmPopUpEnabled = 1;
    const auto standard = Object("12345678");

    const struct {
        const char* name;
        const CObjectInfoMsg& object;
        exportline::FieldSet fields;
        char separator;
        const char* line;
    } cases[] = {
        {"default with semicolon", *standard, Ticked({0, 1}), ';', "12345678;Main Street 1"},
        {"empty ID Info with comma", *emptyInfo, Ticked({1, 2}), ',', ",Lift 2"},
        {"5 days, switches", *standard, Ticked({3, 4, 5}), ';', "05;TRUE;FALSE"},
        {"120 days, switches the other way", *longDays, Ticked({3, 4, 5}), ';', "120;FALSE;TRUE"},
        {"nothing ticked", *standard, Ticked({}), ';', ""},
        {"all, in list order", *standard, Ticked({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), ';',
         "12345678;Main Street 1;Lift 2;05;TRUE;FALSE;tech@example.com;+46701111111;emg@example.com;"
         "+46702222222;Key at the desk;Hydraulic;Acme"},
        {"order of the list, not of the ticks", *standard, Ticked({12, 0}), ',', "12345678,Acme"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exportline::BuildLine(c.object, c.fields, c.separator), c.line) << c.name;
}

TEST(ExportLine, OnlyValuesThatWouldBreakTheLineAreQuoted)
{
    const struct {
        const char* value;
        char separator;
        const char* field;
    } cases[] = {
        {"Main Street 1", ';', "Main Street 1"},
        {"", ';', ""},
        {"a,b", ';', "a,b"},  // the other separator is plain text
        {"a;b", ';', "\"a;b\""},
        {"a,b", ',', "\"a,b\""},
        {"say \"hi\"", ';', "\"say \"\"hi\"\"\""},
        {"line 1\r\nline 2", ';', "\"line 1\r\nline 2\""},
        {"line 1\nline 2", ',', "\"line 1\nline 2\""},
        {"cr\r", ',', "\"cr\r\""},
        {"\"", ';', "\"\"\"\""},
        {"Gr\xc3\xb6na g\xc3\xa5ngen", ';', "Gr\xc3\xb6na g\xc3\xa5ngen"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exportline::QuoteField(c.value, c.separator), c.field) << c.value;
}

// The file as Python's csv module reads it must give exactly the values.
TEST(ExportLine, FileReadsBackWithPythonsCsvModule)
{
    TempDir dir;
    auto note = Object("12345678", "Main Street 1; back door");
    note->Notes = "Line 1\r\nLine 2\nsays \"stuck\"";
    auto plain = Object("87654321", "Plain");
    const exportline::FieldSet fields = Ticked({0, 1, 10});

    for (const char separator : {';', ','}) {
        const std::string path = dir / (separator == ';' ? "semicolon.txt" : "comma.txt");
        ASSERT_TRUE(CExportOutputDlg::WriteLines(
            QString::fromStdString(path),
            {exportline::BuildLine(*note, fields, separator), exportline::BuildLine(*plain, fields, separator)}));

        const QJsonArray expected{
            QJsonArray{"12345678", "Main Street 1; back door", "Line 1\r\nLine 2\nsays \"stuck\""},
            QJsonArray{"87654321", "Plain", "Key at the desk"}};
        QProcess python;
        python.start(
            "/usr/bin/python3",
            {"-c",
             "import csv, json, sys\n"
             "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8'), delimiter=sys.argv[2]))\n"
             "print(json.dumps(rows))\n"
             "sys.exit(0 if rows == json.loads(sys.argv[3]) else 1)\n",
             QString::fromStdString(path), QString(QLatin1Char(separator)),
             QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact))});
        ASSERT_TRUE(python.waitForFinished(30000));
        EXPECT_EQ(python.exitCode(), 0) << "separator " << separator << ": python read "
                                        << python.readAllStandardOutput().toStdString()
                                        << python.readAllStandardError().toStdString();
    }
}

class ExportObjectInfoDlgTest : public ::testing::Test {
protected:
    ExportObjectInfoDlgTest()
    {
        window = std::make_unique<CExportObjectInfoDlg>(
            [this](std::unique_ptr<CMsg> request) { sent.push_back(std::move(request)); });
    }

    // An answer of type 30 holding the objects, in this order.
    static std::unique_ptr<CMsg> Answer(std::vector<std::string> idCodes)
    {
        std::unique_ptr<CObjectInfoMsg> first;
        CObjectInfoMsg* last = nullptr;
        for (const std::string& idCode : idCodes) {
            auto object = Object(idCode, "Info " + idCode);
            CObjectInfoMsg* added = object.get();
            if (!first) {
                object->SetType(DBMSG_EXPORT_INFO);
                object->Result = DBRES_OBJECT_FOUND_ALL;
                first = std::move(object);
            } else {
                last->Next = std::move(object);
            }
            last = added;
        }
        return first;
    }
    static std::unique_ptr<CMsg> Result(uint16_t result)
    {
        auto reply = std::make_unique<CObjectInfoMsg>(DBMSG_EXPORT_INFO);
        reply->Result = result;
        return reply;
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        const QTreeWidget* list = window->OutputWindow()->LineList();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            lines.push_back(list->topLevelItem(i)->text(0).toStdString());
        return lines;
    }

    std::vector<std::unique_ptr<CMsg>> sent;
    std::unique_ptr<CExportObjectInfoDlg> window;
};

TEST_F(ExportObjectInfoDlgTest, FieldButtonsAndChoices)
{
    EXPECT_EQ(window->Fields(), Ticked({}));  // all unchecked at first
    EXPECT_EQ(window->Separator(), ';');
    EXPECT_FALSE(window->CountField()->isEnabled());
    EXPECT_EQ(window->FieldList()->count(), exportline::kFieldCount);
    EXPECT_EQ(window->FieldList()->item(0)->text(), "ID Code");
    EXPECT_EQ(window->FieldList()->item(12)->text(), "Customer Name");

    window->OnSetAll();
    EXPECT_EQ(window->Fields(), Ticked({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    window->OnSetDefault();
    EXPECT_EQ(window->Fields(), Ticked({0, 1}));
    window->OnClearAll();
    EXPECT_EQ(window->Fields(), Ticked({}));

    window->SetRecordChoice(CExportObjectInfoDlg::kLast);
    EXPECT_TRUE(window->CountField()->isEnabled());
    EXPECT_EQ(window->CountField()->maximum(), 2147483647);
    EXPECT_EQ(window->CountField()->minimum(), 0);
    window->SetRecordChoice(CExportObjectInfoDlg::kAll);
    EXPECT_FALSE(window->CountField()->isEnabled());
    window->SetSeparatorChoice(CExportObjectInfoDlg::kComma);
    EXPECT_EQ(window->Separator(), ',');
}

TEST_F(ExportObjectInfoDlgTest, NextAsksForAllObjectsWithTheExportReplyType)
{
    window->OnNext();
    ASSERT_EQ(sent.size(), 1u);
    const auto* request = dynamic_cast<const CObjectInfoReqMsg*>(sent.front().get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->GetType(), DBMSG_FIND_OBJECT_INFO);
    EXPECT_EQ(request->Kind, OBJECT_KIND_ALL);
    EXPECT_EQ(request->ReplyType, DBMSG_EXPORT_INFO);
    EXPECT_TRUE(Lines().empty());  // nothing until the answer
}

TEST_F(ExportObjectInfoDlgTest, AnswerBuildsTheLinesLastRecordFirst)
{
    window->OnSetDefault();
    const struct {
        const char* name;
        CExportObjectInfoDlg::RecordChoice choice;
        int count;
        std::vector<std::string> lines;
    } cases[] = {
        {"all", CExportObjectInfoDlg::kAll, 0, {"3;Info 3", "2;Info 2", "1;Info 1"}},
        {"last 2", CExportObjectInfoDlg::kLast, 2, {"3;Info 3", "2;Info 2"}},
        {"last 0", CExportObjectInfoDlg::kLast, 0, {}},
        {"last more than there are", CExportObjectInfoDlg::kLast, 2147483647, {"3;Info 3", "2;Info 2", "1;Info 1"}},
    };
    for (const auto& c : cases) {
        window->SetRecordChoice(c.choice);
        window->SetCount(c.count);
        window->OnExportReply(Answer({"1", "2", "3"}));
        EXPECT_EQ(Lines(), c.lines) << c.name;
        EXPECT_TRUE(window->OutputWindow()->isVisible()) << c.name;
        EXPECT_EQ(window->OutputWindow()->SelectedLines(), c.lines) << c.name;  // all selected
    }
}

TEST_F(ExportObjectInfoDlgTest, ChoicesAreTakenWhenTheAnswerArrives)
{
    window->OnSetDefault();
    window->OnNext();
    window->SetSeparatorChoice(CExportObjectInfoDlg::kComma);
    window->SetField(2, true);
    window->OnExportReply(Answer({"1"}));
    EXPECT_EQ(Lines(), std::vector<std::string>{"1,Info 1,Lift 2"});
}

TEST_F(ExportObjectInfoDlgTest, NoObjectsIsToldAndAnErrorIsIgnored)
{
    window->OnSetDefault();
    window->OnExportReply(Answer({"1"}));
    window->OutputWindow()->hide();
    const std::vector<Box> boxes = modalscript::BoxesOf([&] { window->OnExportReply(Result(DBRES_OBJECT_NONE)); }, 1);
    EXPECT_EQ(boxes, (std::vector<Box>{{"The Database contains no 'ObjectInfo' records!", QMessageBox::Warning}}));
    const std::vector<Box> none = modalscript::BoxesOf(
        [&] {
            window->OnExportReply(Result(DBRES_OBJECT_FIND_ERROR));
            window->OnExportReply(nullptr);
            window->OnExportReply(std::make_unique<CMsg>(DBMSG_EXPORT_INFO));
        },
        0);
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(window->OutputWindow()->isVisible());
    EXPECT_EQ(Lines(), std::vector<std::string>{"1;Info 1"});  // left as it was
}

TEST_F(ExportObjectInfoDlgTest, AnswerArrivesAfterTheDispatchReturns)
{
    window->OnSetDefault();
    window->OnReply(Answer({"1", "2"}));
    EXPECT_TRUE(Lines().empty());
    QApplication::processEvents();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"2;Info 2", "1;Info 1"}));

    // A window destroyed meanwhile drops the answer (and frees it).
    window->OnReply(Answer({"3"}));
    window.reset();
    QApplication::processEvents();
}

TEST_F(ExportObjectInfoDlgTest, CancelHidesBothWindowsKeepingTheirState)
{
    window->ShowWindow();
    window->OnSetAll();
    window->OnExportReply(Answer({"1"}));
    window->OutputWindow()->OnCancel();
    EXPECT_FALSE(window->OutputWindow()->isVisible());
    window->OnCancel();
    EXPECT_FALSE(window->isVisible());
    window->ShowWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Fields(), Ticked({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(Lines().size(), 1u);
}

class ExportOutputDlgTest : public ::testing::Test {
protected:
    ExportOutputDlgTest()
    {
        output.show();
        for (const char* line : {"1;One", "2;\"Two\r\nlines\"", "3;Three"})
            output.AddLine(line);
    }

    TempDir dir;
    CExportOutputDlg output;
};

TEST_F(ExportOutputDlgTest, OnlySelectedLinesAreWrittenInListOrder)
{
    // A line break inside a quoted value shows as a mark; the row stays one.
    EXPECT_EQ(output.LineList()->topLevelItem(1)->text(0).toStdString(), "2;\"Two\u21b5lines\"");
    output.LineList()->topLevelItem(0)->setSelected(false);
    const std::string path = dir / "objects.txt";
    output.SetFileChooser([&] { return QString::fromStdString(path); });
    EXPECT_TRUE(modalscript::BoxesOf([&] { output.OnExport(); }, 0).empty());
    EXPECT_EQ(Slurp(path), "2;\"Two\r\nlines\"\r\n3;Three\r\n");
}

TEST_F(ExportOutputDlgTest, CancelInTheSaveDialogWritesNothing)
{
    output.SetFileChooser([] { return QString(); });
    EXPECT_TRUE(modalscript::BoxesOf([&] { output.OnExport(); }, 0).empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(ExportOutputDlgTest, AFileThatCannotBeCreatedIsReported)
{
    const std::string path = dir / "missing/objects.txt";
    output.SetFileChooser([&] { return QString::fromStdString(path); });
    const std::vector<Box> boxes = modalscript::BoxesOf([&] { output.OnExport(); }, 1);
    EXPECT_EQ(boxes, (std::vector<Box>{
                         {"The file " + path + " could not be written. Nothing was exported.", QMessageBox::Warning}}));
}

}  // namespace
