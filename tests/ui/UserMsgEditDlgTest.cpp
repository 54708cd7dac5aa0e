// The user message editor and its code dialog: the code rule, the list as it
// is read, New, Delete, clicks in the list, Save and the close question, a
// file that cannot be written, and a saved text in the next alarm.

#include "ModalScript.h"
#include "ui/AddUserMsgItemDlg.h"
#include "ui/UserMsgEditDlg.h"

#include "messages/AlarmInfoMsg.h"
#include "messages/TelHandlerMsg.h"
#include "support/TempDir.h"
#include "texts/MessageMgr.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using modalscript::Box;
using modalscript::ModalScript;
using usermsgfile::Entry;

const std::string kSaveChanges = "Save Changes?";

TEST(AddUserMsgItemCode, AcceptsALetterAndANumberUpTo255)
{
    const struct {
        const char* code;
        bool valid;
    } cases[] = {
        {"A000", true},   {"z255", true},  {"a001", true},       {"Z199", true},  {"a256", false},
        {"aa01", false},  {"a01", false},  {"1a00", false},      {"a0b1", false}, {"", false},
        {"a0011", false}, {"a 01", false}, {" a01", false},      {"@001", false}, {"[001", false},
        {"`001", false},  {"{001", false}, {"\u00e4001", false}, {"a999", false}, {"a-01", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CAddUserMsgItemDlg::IsValidCode(QString::fromUtf8(c.code)), c.valid) << c.code;
}

TEST(AddUserMsgItemCode, AWrongCodeExplainsAndKeepsTheDialogOpen)
{
    CAddUserMsgItemDlg dialog;
    dialog.show();
    dialog.CodeField()->setText("a256");
    const std::vector<Box> boxes = modalscript::BoxesOf([&] { dialog.OnOk(); }, 1);
    EXPECT_EQ(boxes,
              (std::vector<Box>{{"Valid message codes are 'a000 - z255' and 'A000 - Z255'", QMessageBox::Warning}}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(QApplication::focusWidget() == dialog.CodeField() || !QApplication::focusWidget(), true);

    dialog.CodeField()->setText("a255");
    dialog.OnOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetCode(), "a255");
    EXPECT_EQ(dialog.CodeField()->maxLength(), 4);
}

class UserMsgEditDlgTest : public ::testing::Test {
protected:
    UserMsgEditDlgTest() { dir.WorkIn(); }

    void WriteFile(const std::string& bytes) { std::ofstream("UserMsg99.txt", std::ios::binary) << bytes; }
    static std::string ReadFile()
    {
        std::ifstream file("UserMsg99.txt", std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    std::unique_ptr<CEditUserMsgDlg> Open()
    {
        auto dlg = std::make_unique<CEditUserMsgDlg>();
        dlg->SetBeep([this] { ++beeps; });
        dlg->show();
        return dlg;
    }

    static std::vector<std::string> Codes(const CEditUserMsgDlg& dlg)
    {
        std::vector<std::string> codes;
        for (int i = 0; i < dlg.EntryList()->topLevelItemCount(); ++i)
            codes.push_back(dlg.EntryList()->topLevelItem(i)->text(0).toStdString());
        return codes;
    }

    // New with the code typed in the code dialog; the boxes New opens are
    // recorded and answered with OK.
    static std::vector<Box> New(CEditUserMsgDlg& dlg, const std::string& code, int expectedBoxes = 0)
    {
        dlg.SetAddItemRunner([code](CAddUserMsgItemDlg& add) {
            add.CodeField()->setText(QString::fromStdString(code));
            add.OnOk();
            return add.result() == QDialog::Accepted;
        });
        return modalscript::BoxesOf([&] { dlg.OnNew(); }, expectedBoxes);
    }

    static void Type(CEditUserMsgDlg& dlg, const QString& text)
    {
        dlg.MessageField()->setFocus();
        dlg.MessageField()->moveCursor(QTextCursor::End);
        QTest::keyClicks(dlg.MessageField(), text);
    }

    // Closes and answers the close question, if one comes, with answer.
    static std::vector<Box> Close(CEditUserMsgDlg& dlg, QMessageBox::StandardButton answer, bool& closed,
                                  int expectedBoxes = 1)
    {
        std::vector<Box> boxes;
        std::vector<ModalScript::Step> steps;
        for (int i = 0; i < expectedBoxes; ++i)
            steps.push_back(modalscript::Answer(boxes, i == 0 ? answer : QMessageBox::Ok));
        ModalScript script(steps);
        script.Run([&] { closed = dlg.OnClose(); });
        EXPECT_EQ(script.unexpected, 0);
        return boxes;
    }

    TempDir dir;
    int beeps = 0;
};

TEST_F(UserMsgEditDlgTest, ListIsSortedAndLabelsAreWrittenWithThreeDigits)
{
    WriteFile(":b7\r\nBee\r\n:a012\r\nAy\r\n");
    auto dlg = Open();
    EXPECT_EQ(Codes(*dlg), (std::vector<std::string>{"a012", "b007"}));
    EXPECT_FALSE(dlg->MessageField()->isEnabled());
    EXPECT_TRUE(dlg->OnSave());
    // A loaded text ends with a line break: one empty line follows it.
    EXPECT_EQ(ReadFile(), ":a012\r\nAy\r\n\r\n:b007\r\nBee\r\n\r\n");
}

TEST_F(UserMsgEditDlgTest, AMissingFileIsCreatedEmpty)
{
    auto dlg = Open();
    EXPECT_TRUE(std::ifstream("UserMsg99.txt").good());
    EXPECT_EQ(ReadFile(), "");
    EXPECT_TRUE(Codes(*dlg).empty());
    bool closed = false;
    Close(*dlg, QMessageBox::Yes, closed, 0);
    EXPECT_TRUE(closed);
}

TEST_F(UserMsgEditDlgTest, ClickShowsTheRowTextAndKeepsTheEditedOne)
{
    WriteFile(":a001\r\nOne\r\n:a002\r\nTwo\r\n");
    auto dlg = Open();
    dlg->ClickCode("a001");
    EXPECT_TRUE(dlg->MessageField()->isEnabled());
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "One\n");
    EXPECT_FALSE(dlg->IsChanged());
    Type(*dlg, "More");
    dlg->ClickCode("a002");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "Two\n");
    EXPECT_TRUE(dlg->IsChanged());
    dlg->ClickCode("");
    EXPECT_FALSE(dlg->MessageField()->isEnabled());
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "");
    EXPECT_EQ(dlg->Entries(), (std::vector<Entry>{{"a001", "One\nMore"}, {"a002", "Two\n"}}));
}

TEST_F(UserMsgEditDlgTest, NewAddsAnEmptyCurrentRowAtTheEnd)
{
    WriteFile(":b001\r\nBee\r\n");
    auto dlg = Open();
    dlg->ClickCode("b001");
    Type(*dlg, "x");
    New(*dlg, "a005");
    EXPECT_EQ(Codes(*dlg), (std::vector<std::string>{"b001", "a005"}));  // not sorted in
    ASSERT_EQ(dlg->EntryList()->selectedItems().size(), 1);
    EXPECT_EQ(dlg->EntryList()->selectedItems().front()->text(0), "a005");
    EXPECT_TRUE(dlg->MessageField()->isEnabled());
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "");
    EXPECT_TRUE(dlg->IsChanged());
    Type(*dlg, "Door open");
    EXPECT_EQ(dlg->Entries(), (std::vector<Entry>{{"b001", "Bee\nx"}, {"a005", "Door open"}}));
}

TEST_F(UserMsgEditDlgTest, NewWithAnExistingOrWrongCodeChangesNothing)
{
    WriteFile(":a012\r\nAy\r\n");
    auto dlg = Open();
    const std::vector<Box> boxes = New(*dlg, "a012", 1);
    EXPECT_EQ(boxes, (std::vector<Box>{{"The Message Code:a012already exists", QMessageBox::Warning}}));
    EXPECT_EQ(Codes(*dlg), std::vector<std::string>{"a012"});
    EXPECT_FALSE(dlg->IsChanged());

    // Letter case matters: A012 is another code.
    New(*dlg, "A012");
    EXPECT_EQ(Codes(*dlg), (std::vector<std::string>{"a012", "A012"}));

    // Cancel in the code dialog.
    dlg->SetAddItemRunner([](CAddUserMsgItemDlg&) { return false; });
    dlg->OnNew();
    EXPECT_EQ(Codes(*dlg).size(), 2u);
}

TEST_F(UserMsgEditDlgTest, DeletingTheSecondOfThreeLeavesTheThirdUnchanged)
{
    WriteFile(":a001\r\nOne\r\n:a002\r\nTwo\r\n:a003\r\nThree\r\n");
    auto dlg = Open();
    dlg->ClickCode("a002");
    dlg->OnDelete();
    EXPECT_EQ(Codes(*dlg), (std::vector<std::string>{"a001", "a003"}));
    EXPECT_TRUE(dlg->EntryList()->selectedItems().isEmpty());
    EXPECT_FALSE(dlg->MessageField()->isEnabled());
    EXPECT_TRUE(dlg->IsChanged());
    dlg->ClickCode("a003");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "Three\n");
    dlg->ClickCode("a001");
    EXPECT_EQ(dlg->Entries(), (std::vector<Entry>{{"a001", "One\n"}, {"a003", "Three\n"}}));
    EXPECT_EQ(beeps, 0);
}

TEST_F(UserMsgEditDlgTest, DeleteWithoutASelectionBeeps)
{
    WriteFile(":a001\r\nOne\r\n");
    auto dlg = Open();
    dlg->OnDelete();
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(Codes(*dlg).size(), 1u);
    EXPECT_FALSE(dlg->IsChanged());
}

TEST_F(UserMsgEditDlgTest, CloseAsksOnlyAfterAChange)
{
    const std::string file = ":a001\r\nOne\r\n:a002\r\nTwo\r\n";
    const struct {
        const char* name;
        std::function<void(UserMsgEditDlgTest&, CEditUserMsgDlg&)> act;
        bool asks;
    } cases[] = {
        {"nothing done", [](UserMsgEditDlgTest&, CEditUserMsgDlg& dlg) { dlg.ClickCode("a001"); }, false},
        {"text typed",
         [](UserMsgEditDlgTest&, CEditUserMsgDlg& dlg) {
             dlg.ClickCode("a001");
             Type(dlg, "x");
         },
         true},
        {"entry added, another row clicked without typing",
         [](UserMsgEditDlgTest&, CEditUserMsgDlg& dlg) {
             New(dlg, "c001");
             dlg.ClickCode("a001");
         },
         true},
        {"entry deleted",
         [](UserMsgEditDlgTest&, CEditUserMsgDlg& dlg) {
             dlg.ClickCode("a002");
             dlg.OnDelete();
         },
         true},
        {"changed, then saved",
         [](UserMsgEditDlgTest&, CEditUserMsgDlg& dlg) {
             dlg.ClickCode("a001");
             Type(dlg, "x");
             dlg.OnSave();
         },
         false},
    };
    for (const auto& c : cases) {
        WriteFile(file);
        auto dlg = Open();
        c.act(*this, *dlg);
        const std::string before = ReadFile();
        bool closed = false;
        const std::vector<Box> boxes = Close(*dlg, QMessageBox::No, closed, c.asks ? 1 : 0);
        EXPECT_TRUE(closed) << c.name;
        EXPECT_EQ(boxes.size(), c.asks ? 1u : 0u) << c.name;
        if (!boxes.empty()) {
            EXPECT_EQ(boxes.front(), (Box{kSaveChanges, QMessageBox::Warning})) << c.name;
        }
        EXPECT_EQ(ReadFile(), before) << c.name;  // No writes nothing
    }
}

TEST_F(UserMsgEditDlgTest, CloseQuestionYesWritesAndCancelStays)
{
    WriteFile(":a001\r\nOne\r\n");
    auto dlg = Open();
    dlg->ClickCode("a001");
    Type(*dlg, "x");
    bool closed = true;
    Close(*dlg, QMessageBox::Cancel, closed);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(ReadFile(), ":a001\r\nOne\r\n");
    Close(*dlg, QMessageBox::Yes, closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(ReadFile(), ":a001\r\nOne\r\nx\r\n");
}

TEST_F(UserMsgEditDlgTest, AFileThatCannotBeWrittenIsReportedAndNothingIsLost)
{
    // A folder that does not exist: no file can be created there, also not
    // by root.
    auto dlg = std::make_unique<CEditUserMsgDlg>(nullptr, "missing/UserMsg99.txt");
    dlg->show();
    New(*dlg, "a002");
    Type(*dlg, "Two");
    const std::vector<Box> boxes = modalscript::BoxesOf([&] { EXPECT_FALSE(dlg->OnSave()); }, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.front().text,
              "The message file missing/UserMsg99.txt could not be written. The changes are not saved.");
    EXPECT_EQ(boxes.front().icon, QMessageBox::Warning);
    EXPECT_TRUE(dlg->IsChanged());

    // Yes to the close question cannot write either: the dialog stays open
    // with the texts.
    bool closed = true;
    const std::vector<Box> closeBoxes = Close(*dlg, QMessageBox::Yes, closed, 2);
    EXPECT_FALSE(closed);
    ASSERT_EQ(closeBoxes.size(), 2u);
    EXPECT_EQ(closeBoxes[0].text, kSaveChanges);
    EXPECT_EQ(dlg->Entries(), (std::vector<Entry>{{"a002", "Two"}}));
    EXPECT_TRUE(dlg->isVisible());

    std::filesystem::create_directory("missing");
    EXPECT_TRUE(dlg->OnSave());
    EXPECT_FALSE(dlg->IsChanged());
    std::ifstream file("missing/UserMsg99.txt", std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    EXPECT_EQ(bytes.str(), ":a002\r\nTwo\r\n");
}

TEST_F(UserMsgEditDlgTest, ArrowKeysWalkTheCodesAndStayInTheList)
{
    WriteFile(":a001\r\nOne\r\n:a002\r\nTwo\r\n");
    auto dlg = Open();
    dlg->EntryList()->setFocus();
    QTest::keyClick(dlg->EntryList(), Qt::Key_Down);
    QTest::keyClick(dlg->EntryList(), Qt::Key_Down);
    ASSERT_EQ(dlg->EntryList()->selectedItems().size(), 1);
    EXPECT_EQ(dlg->EntryList()->selectedItems().front()->text(0), "a002");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), "Two\n");
    EXPECT_TRUE(dlg->MessageField()->isEnabled());
    EXPECT_EQ(dlg->focusWidget(), dlg->EntryList());
    // A click goes on to the text.
    dlg->ClickCode("a001");
    EXPECT_EQ(dlg->focusWidget(), dlg->MessageField());
}

TEST_F(UserMsgEditDlgTest, TextHoldsAtMost255Characters)
{
    const QString longText = QString(300, QLatin1Char('L'));
    WriteFile(":a001\r\n" + std::string(250, 'x') + "\r\n:a002\r\n" + longText.toStdString() + "\r\n");
    auto dlg = Open();
    dlg->ClickCode("a001");
    // 250 characters and the line break: four more fit, the rest is refused.
    Type(*dlg, QString(10, QLatin1Char('y')));
    EXPECT_EQ(dlg->MessageField()->toPlainText(), QString(250, QLatin1Char('x')) + "\n" + QString(4, QLatin1Char('y')));
    // A paste keeps what fits, whole characters only (an emoji is two units).
    QTest::keyClick(dlg->MessageField(), Qt::Key_Backspace);
    QTest::keyClick(dlg->MessageField(), Qt::Key_Backspace);
    dlg->MessageField()->insertPlainText(QString::fromUtf8("\xf0\x9f\x9b\x97\xf0\x9f\x9b\x97\xf0\x9f\x9b\x97"));
    EXPECT_EQ(dlg->MessageField()->toPlainText(),
              QString(250, QLatin1Char('x')) + "\nyy" + QString::fromUtf8("\xf0\x9f\x9b\x97\xf0\x9f\x9b\x97"));

    // A longer text from the file is kept; it may shrink, not grow.
    dlg->ClickCode("a002");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), longText + "\n");
    Type(*dlg, "z");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), longText + "\n");
    QTest::keyClick(dlg->MessageField(), Qt::Key_Backspace);
    QTest::keyClick(dlg->MessageField(), Qt::Key_Backspace);
    EXPECT_EQ(dlg->MessageField()->toPlainText(), longText.left(299));
    Type(*dlg, "z");
    EXPECT_EQ(dlg->MessageField()->toPlainText(), longText.left(299));
}

TEST_F(UserMsgEditDlgTest, ASavedTextIsInTheNextAlarmOfItsCode)
{
    WriteFile(":b7\r\nOld text\r\n");
    CMessageMgr mgr;  // one manager for the whole run, as on the database thread
    const auto alarmText = [&mgr] {
        CTelHandlerMsg msg(TEL_ALARM);
        msg.msgType = TELMSG_USER_DATA;
        msg.protocol = TELPROT_P100;
        msg.idType = 1;
        msg.idCode = "87654321";
        msg.userData[0] = 'b';
        msg.userData[1] = 7;
        msg.userDataLen = 2;
        const std::unique_ptr<CAlarmInfoMsg> alarm = mgr.CreateAlarmInfo(msg);
        return alarm ? alarm->Text.GetText() : std::string("no alarm");
    };
    EXPECT_NE(alarmText().find("Old text"), std::string::npos);

    auto dlg = Open();
    dlg->ClickCode("b007");
    dlg->MessageField()->setPlainText("Door jammed\nCall the technician");
    dlg->MessageField()->document()->setModified(true);
    ASSERT_TRUE(dlg->OnSave());

    const std::string text = alarmText();
    EXPECT_NE(text.find("Door jammed\nCall the technician\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Old text"), std::string::npos) << text;
}

}  // namespace
