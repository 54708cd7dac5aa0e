// The recipient dialog and its entry dialog: the recipient rows and their
// names, the requests in both modes, every answer with its box, and the
// checks of a new address or number.

#include "ModalScript.h"
#include "ui/AddEditMailSmsNumDlg.h"
#include "ui/MailSmsNumInfoDlg.h"

#include "../db/DbTestSupport.h"

#include "db/CustomerInfoMsg.h"
#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "messages/DatabaseMsg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace modalscript;

using Rows = std::vector<std::pair<std::string, std::string>>;  // name, address

// A step: fills the entry dialog's fields (nullptr leaves one as it is) and
// presses OK, or Cancel.
ModalScript::Step Fill(const char* name, const char* address, bool ok = true)
{
    return [=](QWidget* modal) {
        auto* entry = qobject_cast<QDialog*>(modal);
        ASSERT_NE(entry, nullptr);
        if (name)
            entry->findChild<QLineEdit*>("Name")->setText(QString::fromUtf8(name));
        if (address)
            entry->findChild<QLineEdit*>("Address")->setText(QString::fromUtf8(address));
        if (!ok) {
            entry->reject();
            return;
        }
        for (QPushButton* button : entry->findChildren<QPushButton*>()) {
            if (button->text() == "OK")
                button->click();
        }
    };
}

struct ModeInfo {
    const char* name;
    RecipientMode mode;
    uint16_t answerType;  // what the database puts on the answers
    uint16_t add, find, edit, remove;
};

const ModeInfo kMail{"Mail", RecipientMode::Mail, DBMSG_MAIL_INFO, 20, 21, 22, 23};
const ModeInfo kSms{"Sms", RecipientMode::Sms, 35, 24, 25, 26, 27};

// The dialog with its requests collected.
class Picker {
public:
    Picker(const ModeInfo& info, const std::string& list)
        : mode(info),
          dialog([this](std::unique_ptr<CMsg> request) { sent.push_back(std::move(request)); }, info.mode, 35, list)
    {
    }

    // An answer as the database gives it: bare with a result.
    void Answer(uint16_t result, uint16_t type = 0)
    {
        auto reply = std::make_unique<CDatabaseMsg>(type ? type : mode.answerType);
        reply->Result = result;
        dialog.OnReply(std::move(reply));
    }

    // The stored entries as the database lists them (result 5).
    void AnswerStored(const Rows& rows, uint16_t type = 0)
    {
        dialog.OnReply(Stored(mode.mode, rows, type ? type : mode.answerType));
    }

    static std::unique_ptr<CMsg> Stored(RecipientMode kind, const Rows& rows, uint16_t type)
    {
        std::unique_ptr<CMsg> chain;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            std::unique_ptr<CDatabaseMsg> record;
            if (kind == RecipientMode::Mail) {
                auto mail = std::make_unique<CMailInfoMsg>(type);
                mail->Name = it->first;
                mail->Address = it->second;
                record = std::move(mail);
            } else {
                auto sms = std::make_unique<CSmsNumInfoMsg>(type);
                sms->Name = it->first;
                sms->Number = it->second;
                record = std::move(sms);
            }
            record->Next = std::move(chain);
            chain = std::move(record);
        }
        static_cast<CDatabaseMsg&>(*chain).Result = DBRES_INFO_FOUND_ALL;
        return chain;
    }

    QTreeWidget* RecipientList() { return dialog.findChild<QTreeWidget*>("RecipientList"); }
    QTreeWidget* StoredList() { return dialog.findChild<QTreeWidget*>("StoredList"); }
    QPushButton* Button(const char* key) { return dialog.findChild<QPushButton*>(key); }

    static Rows RowsOf(QTreeWidget* list)
    {
        Rows rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.emplace_back(list->topLevelItem(i)->text(0).toStdString(),
                              list->topLevelItem(i)->text(1).toStdString());
        return rows;
    }
    Rows Recipients() { return RowsOf(RecipientList()); }
    Rows StoredRows() { return RowsOf(StoredList()); }

    void SelectStored(int row) { StoredList()->setCurrentItem(StoredList()->topLevelItem(row)); }
    void SelectRecipient(int row) { RecipientList()->setCurrentItem(RecipientList()->topLevelItem(row)); }

    // The fields of the last request (a record or a search by key).
    struct Request {
        uint16_t type = 0;
        uint16_t replyType = 0;
        int32_t kind = -1;
        std::string key, name, address;
    };
    Request Last() const
    {
        Request request;
        const CMsg* msg = sent.back().get();
        request.type = msg->GetType();
        if (const auto* db = dynamic_cast<const CDatabaseMsg*>(msg))
            request.replyType = db->ReplyType;
        if (const auto* search = dynamic_cast<const CKeyReqMsg*>(msg)) {
            request.kind = search->Kind;
            request.key = search->Key;
        }
        if (const auto* mail = dynamic_cast<const CMailInfoMsg*>(msg)) {
            request.name = mail->Name;
            request.address = mail->Address;
        }
        if (const auto* sms = dynamic_cast<const CSmsNumInfoMsg*>(msg)) {
            request.name = sms->Name;
            request.address = sms->Number;
        }
        return request;
    }
    // The request was of the mode's table.
    bool LastIsOfMode() const
    {
        const CMsg* msg = sent.back().get();
        if (mode.mode == RecipientMode::Mail)
            return dynamic_cast<const CMailInfoMsg*>(msg) || dynamic_cast<const CMailInfoReqMsg*>(msg);
        return dynamic_cast<const CSmsNumInfoMsg*>(msg) || dynamic_cast<const CSmsNumInfoReqMsg*>(msg);
    }

    // Sends a new entry through the entry dialog.
    void New(const char* name, const char* address)
    {
        ModalScript script({Fill(name, address)});
        script.Run([this] { dialog.OnNew(); });
        EXPECT_EQ(script.done, 1u);
    }

    const ModeInfo& mode;
    std::vector<std::unique_ptr<CMsg>> sent;
    CMailSmsNumInfoDlg dialog;
};

class BothModes : public ::testing::TestWithParam<ModeInfo> {};

INSTANTIATE_TEST_SUITE_P(Modes, BothModes, ::testing::Values(kMail, kSms),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(BothModes, OpeningAsksForAllStoredEntriesOfItsTable)
{
    Picker picker(GetParam(), "");
    ASSERT_EQ(picker.sent.size(), 1u);
    EXPECT_TRUE(picker.LastIsOfMode());
    EXPECT_EQ(picker.Last().type, GetParam().find);
    EXPECT_EQ(picker.Last().kind, INFO_KIND_ALL);
    // The database puts this type on SMS answers.
    EXPECT_EQ(picker.Last().replyType, GetParam().answerType);
}

TEST_P(BothModes, RecipientsShowUnknownNamesUntilTheStoredEntriesArrive)
{
    Picker picker(GetParam(), "+4670111, +4670222");
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", "+4670111"}, {"???", "+4670222"}}));

    picker.AnswerStored({{"Anna", "+4670111"}, {"Olle", "+4670333"}});

    EXPECT_EQ(picker.Recipients(), (Rows{{"Anna", "+4670111"}, {"???", "+4670222"}}));
    EXPECT_EQ(picker.StoredRows(), (Rows{{"Anna", "+4670111"}, {"Olle", "+4670333"}}));
}

TEST_P(BothModes, NamesMatchTheAddressExactlyWithCase)
{
    Picker picker(GetParam(), "Anna@Example.se;anna@example.se");
    picker.AnswerStored({{"Anna", "anna@example.se"}});
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", "Anna@Example.se"}, {"Anna", "anna@example.se"}}));
}

struct SplitCase {
    const char* name;
    const char* list;
    std::vector<std::string> rows;
};

class Splitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Splitting, OneRowPerEntry)
{
    Picker picker(kMail, GetParam().list);
    std::vector<std::string> addresses;
    for (const auto& row : picker.Recipients()) {
        EXPECT_EQ(row.first, "???");
        addresses.push_back(row.second);
    }
    EXPECT_EQ(addresses, GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Splitting,
    ::testing::Values(SplitCase{"CommaAndBlank", "a@x.se, b@x.se", {"a@x.se", "b@x.se"}},
                      SplitCase{"TwoCommasGiveAnEmptyRow", "a@x.se,,b@x.se", {"a@x.se", "", "b@x.se"}},
                      SplitCase{"SemicolonsAndBlanksInside", " a @x.se ;b@x.se", {"a@x.se", "b@x.se"}},
                      SplitCase{"TrailingSeparatorGivesNoRow", "a@x.se;", {"a@x.se"}}, SplitCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(BothModes, OkJoinsTheRecipientsInListOrder)
{
    Picker picker(GetParam(), "+461,+462");
    picker.AnswerStored({{"Third", "+463"}});
    picker.SelectStored(0);
    picker.Button("IDC_MAIL_SMSNUM_INFO_ADD")->click();

    picker.dialog.OnOk();

    EXPECT_EQ(picker.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(picker.dialog.GetList(), "+461; +462; +463");
}

TEST(RecipientDialog, OkKeepsAnEmptyRowAsAnEmptyEntry)
{
    Picker picker(kMail, "a@x.se,,b@x.se");
    picker.dialog.OnOk();
    EXPECT_EQ(picker.dialog.GetList(), "a@x.se; ; b@x.se");
}

TEST(RecipientDialog, CancelGivesNoList)
{
    Picker picker(kMail, "a@x.se");
    picker.Button("IDC_MAIL_SMSNUM_INFO_CANCEL")->click();
    EXPECT_EQ(picker.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(picker.dialog.GetList(), "");
}

TEST_P(BothModes, AddingTheSameStoredEntryTwiceGivesTwoRows)
{
    Picker picker(GetParam(), "");
    picker.AnswerStored({{"Anna", "+4670111"}});
    picker.SelectStored(0);
    picker.Button("IDC_MAIL_SMSNUM_INFO_ADD")->click();
    picker.Button("IDC_MAIL_SMSNUM_INFO_ADD")->click();
    EXPECT_EQ(picker.Recipients(), (Rows{{"Anna", "+4670111"}, {"Anna", "+4670111"}}));
}

TEST(RecipientDialog, DoubleClickOnAStoredEntryAddsIt)
{
    Picker picker(kSms, "");
    picker.AnswerStored({{"Anna", "+4670111"}, {"Olle", "+4670222"}});
    picker.SelectStored(1);
    emit picker.StoredList()->itemDoubleClicked(picker.StoredList()->topLevelItem(1), 0);
    EXPECT_EQ(picker.Recipients(), (Rows{{"Olle", "+4670222"}}));
}

TEST_P(BothModes, DeletingAStoredRecipientLeavesItsRowWithUnknownName)
{
    Picker picker(GetParam(), "+4670111");
    picker.AnswerStored({{"Anna", "+4670111"}, {"Olle", "+4670222"}});
    picker.SelectStored(0);

    const std::vector<Box> asked = BoxesOf([&] { picker.Button("IDC_MAIL_SMSNUM_INFO_DELETE")->click(); }, 0);

    EXPECT_TRUE(asked.empty());  // no confirmation
    EXPECT_TRUE(picker.LastIsOfMode());
    EXPECT_EQ(picker.Last().type, GetParam().remove);
    EXPECT_EQ(picker.Last().key, "+4670111");
    EXPECT_EQ(picker.Last().replyType, GetParam().answerType);

    picker.Answer(DBRES_INFO_DELETED);

    EXPECT_EQ(picker.StoredRows(), (Rows{{"Olle", "+4670222"}}));
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", "+4670111"}}));
}

TEST(RecipientDialog, ButtonsFollowTheSelections)
{
    Picker picker(kMail, "a@x.se,b@x.se");
    picker.AnswerStored({{"Anna", "anna@x.se"}});
    auto enabled = [&] {
        std::string state;
        for (const char* key : {"IDC_MAIL_SMSNUM_INFO_ADD", "IDC_MAIL_SMSNUM_INFO_EDIT", "IDC_MAIL_SMSNUM_INFO_DELETE",
                                "IDC_MAIL_SMSNUM_INFO_REMOVE"})
            state += picker.Button(key)->isEnabled() ? '1' : '0';
        return state;  // Add, Edit, Delete, Remove
    };

    EXPECT_EQ(enabled(), "0000");
    picker.SelectStored(0);
    EXPECT_EQ(enabled(), "1110");
    picker.SelectRecipient(1);
    EXPECT_EQ(enabled(), "1111");
    picker.Button("IDC_MAIL_SMSNUM_INFO_ADD")->click();
    EXPECT_EQ(enabled(), "1110") << "Add leaves no recipient selected";
    picker.SelectRecipient(0);
    picker.Button("IDC_MAIL_SMSNUM_INFO_REMOVE")->click();
    EXPECT_EQ(enabled(), "1110") << "Remove leaves no recipient selected";
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", "b@x.se"}, {"Anna", "anna@x.se"}}));
    picker.StoredList()->clearSelection();
    EXPECT_EQ(enabled(), "0000");
}

TEST_P(BothModes, NewSendsAnAddAndTheAnswerShowsTheEntryWithItsName)
{
    const bool mail = GetParam().mode == RecipientMode::Mail;
    const char* address = mail ? "olle@x.se" : "+4670222";
    Picker picker(GetParam(), address);
    picker.AnswerStored({{"Anna", mail ? "anna@x.se" : "+4670111"}});

    picker.New("Olle", address);

    EXPECT_TRUE(picker.LastIsOfMode());
    EXPECT_EQ(picker.Last().type, GetParam().add);
    EXPECT_EQ(picker.Last().name, "Olle");
    EXPECT_EQ(picker.Last().address, address);
    EXPECT_EQ(picker.Last().replyType, GetParam().answerType);
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", address}}));

    BoxesOf([&] { picker.Answer(DBRES_INFO_ADDED); }, 1);

    EXPECT_EQ(picker.StoredRows().back(), (std::pair<std::string, std::string>{"Olle", address}));
    EXPECT_EQ(picker.StoredList()->currentItem(), picker.StoredList()->topLevelItem(1));
    EXPECT_TRUE(picker.StoredList()->currentItem()->isSelected());
    EXPECT_EQ(picker.Recipients(), (Rows{{"Olle", address}}));
}

TEST_P(BothModes, EditChangesTheNameOfTheEntryAndItsRecipients)
{
    const bool mail = GetParam().mode == RecipientMode::Mail;
    const char* address = mail ? "anna@x.se" : "+4670111";
    Picker picker(GetParam(), address);
    picker.AnswerStored({{"Olle", mail ? "olle@x.se" : "+4670222"}, {"Anna", address}});
    picker.SelectStored(1);

    std::string caption;
    bool keyReadOnly = false;
    std::string shownAddress;
    ModalScript script({[&](QWidget* modal) {
        caption = modal->windowTitle().toStdString();
        keyReadOnly = modal->findChild<QLineEdit*>("Address")->isReadOnly();
        shownAddress = modal->findChild<QLineEdit*>("Address")->text().toStdString();
        Fill("Anna Svensson", nullptr)(modal);
    }});
    script.Run([&] { picker.Button("IDC_MAIL_SMSNUM_INFO_EDIT")->click(); });

    EXPECT_EQ(caption, mail ? "Edit Mail Information" : "Edit SMS Number Information");
    EXPECT_TRUE(keyReadOnly);
    EXPECT_EQ(shownAddress, address);
    EXPECT_EQ(picker.Last().type, GetParam().edit);
    EXPECT_EQ(picker.Last().name, "Anna Svensson");
    EXPECT_EQ(picker.Last().address, address);

    BoxesOf([&] { picker.Answer(DBRES_INFO_EDITED); }, 1);

    EXPECT_EQ(picker.StoredRows()[1], (std::pair<std::string, std::string>{"Anna Svensson", address}));
    EXPECT_EQ(picker.Recipients(), (Rows{{"Anna Svensson", address}}));
}

// What the operator did before the answer came.
enum class Before { Nothing, New, Edit, Delete };

struct ResultCase {
    const char* name;
    const ModeInfo* mode;
    Before before;
    uint16_t result;
    std::vector<Box> boxes;
};

class ResultBoxes : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultBoxes, EachAnswerShowsItsText)
{
    const ResultCase& c = GetParam();
    const bool mail = c.mode->mode == RecipientMode::Mail;
    Picker picker(*c.mode, "");
    picker.AnswerStored({{"Anna", mail ? "anna@x.se" : "+4670111"}});
    picker.SelectStored(0);
    switch (c.before) {
    case Before::New:
        picker.New("Olle", mail ? "olle@x.se" : "+4670222");
        break;
    case Before::Edit: {
        ModalScript script({Fill("Anna S", nullptr)});
        script.Run([&] { picker.dialog.OnEdit(); });
        break;
    }
    case Before::Delete:
        picker.dialog.OnDelete();
        break;
    case Before::Nothing:
        break;
    }

    const std::vector<Box> shown = BoxesOf([&] { picker.Answer(c.result); }, static_cast<int>(c.boxes.size()));

    EXPECT_EQ(shown, c.boxes);
}

const QMessageBox::Icon kInfo = QMessageBox::Information;
const QMessageBox::Icon kWarn = QMessageBox::Warning;
const QMessageBox::Icon kError = QMessageBox::Critical;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Answers, ResultBoxes,
    ::testing::Values(
        ResultCase{"MailAdded", &kMail, Before::New, 1, {{"Mail info saved!", kInfo}}},
        ResultCase{"MailDuplicate", &kMail, Before::New, 2,
                   {{"Mail address 'olle@x.se' already exists, could not save", kWarn}}},
        ResultCase{"MailAddError", &kMail, Before::New, 3, {{"Error, could not add Mail info to Database!", kError}}},
        ResultCase{"MailFoundByKey", &kMail, Before::Nothing, 4, {}},
        ResultCase{"MailNone", &kMail, Before::Nothing, 6, {}},
        ResultCase{"MailFindError", &kMail, Before::Nothing, 7, {}},
        ResultCase{"MailEdited", &kMail, Before::Edit, 8, {{"Mail info saved!", kInfo}}},
        ResultCase{"MailEditNotFound", &kMail, Before::Edit, 9, {{"Error, Mail info not found in Database!", kError}}},
        ResultCase{"MailEditError", &kMail, Before::Edit, 10, {{"Error, Mail info could not be edited!", kError}}},
        ResultCase{"MailDeleted", &kMail, Before::Delete, 11, {}},
        ResultCase{"MailDeleteNotFound", &kMail, Before::Delete, 12,
                   {{"Error, Mail info not found in Database!", kError}}},
        ResultCase{"MailDeleteError", &kMail, Before::Delete, 13,
                   {{"Error, Mail info could not be deleted!", kError}}},
        ResultCase{"SmsAdded", &kSms, Before::New, 1, {{"SMS Number info saved!", kInfo}}},
        ResultCase{"SmsDuplicate", &kSms, Before::New, 2,
                   {{"SMS Number '+4670222' already exists, could not save", kWarn}}},
        // An SMS number that cannot be stored is told like an e-mail address.
        ResultCase{"SmsAddError", &kSms, Before::New, 3,
                   {{"Error, could not add SMS Number info to Database!", kError}}},
        ResultCase{"SmsFoundByKey", &kSms, Before::Nothing, 4, {}},
        ResultCase{"SmsNone", &kSms, Before::Nothing, 6, {}},
        ResultCase{"SmsFindError", &kSms, Before::Nothing, 7, {}},
        ResultCase{"SmsEdited", &kSms, Before::Edit, 8, {{"SMS Number info saved!", kInfo}}},
        ResultCase{"SmsEditNotFound", &kSms, Before::Edit, 9,
                   {{"Error, SMS Number info not found in Database!", kError}}},
        ResultCase{"SmsEditError", &kSms, Before::Edit, 10,
                   {{"Error, SMS Number info could not be edited!", kError}}},
        ResultCase{"SmsDeleted", &kSms, Before::Delete, 11, {}},
        ResultCase{"SmsDeleteNotFound", &kSms, Before::Delete, 12,
                   {{"Error, SMS Number info not found in Database!", kError}}},
        ResultCase{"SmsDeleteError", &kSms, Before::Delete, 13,
                   {{"Error, SMS Number info could not be deleted!", kError}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(RecipientDialog, NoneEmptiesTheStoredListAndUnnamesTheRecipients)
{
    Picker picker(kMail, "anna@x.se");
    picker.AnswerStored({{"Anna", "anna@x.se"}});
    picker.Answer(DBRES_INFO_NONE);
    EXPECT_TRUE(picker.StoredRows().empty());
    EXPECT_EQ(picker.Recipients(), (Rows{{"???", "anna@x.se"}}));
}

// The stored list changed between a request and its answer: the answer
// finds its entry by the address, never by a row number gone stale.
TEST(RecipientDialog, LateDeleteAnswerRemovesItsOwnEntryAfterTheListChanged)
{
    Picker picker(kSms, "");
    picker.AnswerStored({{"A", "+461"}, {"B", "+462"}, {"C", "+463"}});
    picker.SelectStored(2);
    picker.dialog.OnDelete();
    // Meanwhile the list came again, shorter and in another order.
    picker.AnswerStored({{"C", "+463"}, {"A", "+461"}});

    picker.Answer(DBRES_INFO_DELETED);

    EXPECT_EQ(picker.StoredRows(), (Rows{{"A", "+461"}}));
}

TEST(RecipientDialog, LateAnswersForAnEntryNoLongerListedChangeNoRow)
{
    Picker picker(kMail, "");
    picker.AnswerStored({{"A", "a@x.se"}, {"B", "b@x.se"}});
    picker.SelectStored(1);
    ModalScript script({Fill("Bea", nullptr)});
    script.Run([&] { picker.dialog.OnEdit(); });
    picker.dialog.OnDelete();
    picker.AnswerStored({{"A", "a@x.se"}});

    BoxesOf([&] { picker.Answer(DBRES_INFO_EDITED); }, 1);
    picker.Answer(DBRES_INFO_DELETED);

    EXPECT_EQ(picker.StoredRows(), (Rows{{"A", "a@x.se"}}));
}

TEST(RecipientDialog, AnswersWithoutARequestChangeNothing)
{
    Picker picker(kMail, "");
    picker.AnswerStored({{"A", "a@x.se"}});
    const std::vector<Box> shown = BoxesOf(
        [&] {
            picker.Answer(DBRES_INFO_ADDED);
            picker.Answer(DBRES_INFO_EDITED);
            picker.Answer(DBRES_INFO_DELETED);
        },
        0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(picker.StoredRows(), (Rows{{"A", "a@x.se"}}));
}

TEST(RecipientDialog, AnswersForAnotherDialogOrTableAreIgnored)
{
    Picker sms(kSms, "+461");
    sms.AnswerStored({{"A", "+461"}});
    // The object window's SMS answers (34), e-mail records, a customer list.
    sms.AnswerStored({{"X", "+469"}}, 34);
    sms.dialog.OnReply(Picker::Stored(RecipientMode::Mail, {{"M", "m@x.se"}}, 35));
    auto customer = std::make_unique<CCustomerInfoMsg>(35);
    customer->Result = DBRES_INFO_FOUND_ALL;
    sms.dialog.OnReply(std::move(customer));
    sms.dialog.OnReply(nullptr);
    sms.dialog.OnReply(std::make_unique<CMsg>(35));

    EXPECT_EQ(sms.StoredRows(), (Rows{{"A", "+461"}}));
    EXPECT_EQ(sms.Recipients(), (Rows{{"A", "+461"}}));
}

TEST(RecipientDialog, SmsModeOfTheObjectWindowHearsType34)
{
    std::vector<std::unique_ptr<CMsg>> sent;
    CMailSmsNumInfoDlg dialog([&](std::unique_ptr<CMsg> r) { sent.push_back(std::move(r)); }, RecipientMode::Sms, 34,
                              "");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(static_cast<CDatabaseMsg&>(*sent[0]).ReplyType, 34);
    dialog.OnReply(Picker::Stored(RecipientMode::Sms, {{"A", "+461"}}, 34));
    EXPECT_EQ(Picker::RowsOf(dialog.findChild<QTreeWidget*>("StoredList")), (Rows{{"A", "+461"}}));
}

TEST_P(BothModes, TextsComeFromTheDictionary)
{
    const bool mail = GetParam().mode == RecipientMode::Mail;
    Picker picker(GetParam(), "");
    EXPECT_EQ(picker.dialog.windowTitle(), mail ? "E-Mail Address Information" : "SMS Number Information");
    const QString column = mail ? "E-Mail Address" : "SMS Number";
    EXPECT_EQ(picker.RecipientList()->headerItem()->text(0), "Name");
    EXPECT_EQ(picker.RecipientList()->headerItem()->text(1), column);
    EXPECT_EQ(picker.StoredList()->headerItem()->text(1), column);
    EXPECT_EQ(picker.RecipientList()->toolTip(),
              mail ? "Selected E-Mail message recipients" : "Selected SMS message recipients");
    EXPECT_EQ(picker.Button("IDC_MAIL_SMSNUM_INFO_REMOVE")->toolTip(),
              mail ? "Remove the selected E-Mail address from the recipients list"
                   : "Remove the selected SMS Number address from the recipients list");
    EXPECT_EQ(picker.dialog.findChild<QGroupBox*>("IDC_MAIL_SMSNUM_INFO_DATABASE")->title(), "Database");
    for (const char* key : {"IDC_MAIL_SMSNUM_INFO_ADD", "IDC_MAIL_SMSNUM_INFO_REMOVE", "IDC_MAIL_SMSNUM_INFO_NEW",
                            "IDC_MAIL_SMSNUM_INFO_EDIT", "IDC_MAIL_SMSNUM_INFO_DELETE", "IDC_MAIL_SMSNUM_INFO_CANCEL"})
        EXPECT_TRUE(picker.Button(key)->text().startsWith('&') || picker.Button(key)->text().contains('&')) << key;
}

TEST(RecipientDialog, TabsInReadingOrder)
{
    Picker picker(kMail, "");
    std::vector<std::string> order;
    QWidget* first = picker.RecipientList();
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            order.push_back(w->objectName().toStdString());
    }
    // OK has no name of its own: it is the box's first button.
    EXPECT_EQ(order, (std::vector<std::string>{"IDC_MAIL_SMSNUM_INFO_ADD", "IDC_MAIL_SMSNUM_INFO_REMOVE", "StoredList",
                                               "IDC_MAIL_SMSNUM_INFO_NEW", "IDC_MAIL_SMSNUM_INFO_EDIT",
                                               "IDC_MAIL_SMSNUM_INFO_DELETE", "IDC_MAIL_SMSNUM_INFO_CANCEL"}));
}

// The entry dialog's check of the address or number on OK.
struct EntryCase {
    const char* name;
    RecipientMode mode;
    const char* address;
    bool accepted;
};

class EntryCheck : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryCheck, OkChecksTheAddressAndKeepsTheDialogOpenOnFailure)
{
    const EntryCase& c = GetParam();
    CAddEditMailSmsNumDlg entry(c.mode, false, {}, {});
    entry.show();
    entry.NameField()->setText("Somebody");
    entry.AddressField()->setText(QString::fromUtf8(c.address));

    std::vector<Box> boxes;
    bool selectedAfterBox = false;
    {
        ModalScript script({Answer(boxes)});
        script.Run([&] {
            for (QPushButton* button : entry.findChildren<QPushButton*>())
                if (button->text() == "OK")
                    button->click();
        });
        selectedAfterBox = entry.AddressField()->hasSelectedText() || entry.AddressField()->text().isEmpty();
    }

    if (c.accepted) {
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(entry.result(), QDialog::Accepted);
        return;
    }
    const std::string text =
        c.mode == RecipientMode::Mail ? "No valid E-Mail address entered (name@domain)" : "No valid SMS Number entered";
    EXPECT_EQ(boxes, (std::vector<Box>{{text, QMessageBox::Warning}}));
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.result(), QDialog::Rejected);
    EXPECT_TRUE(selectedAfterBox);
    EXPECT_EQ(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == entry.AddressField(), true);
}

INSTANTIATE_TEST_SUITE_P(Entries, EntryCheck,
                         ::testing::Values(EntryCase{"MailPlain", RecipientMode::Mail, "a@b", true},
                                           EntryCase{"MailWithBlanksAround", RecipientMode::Mail, "  anna@x.se ", true},
                                           EntryCase{"MailEmpty", RecipientMode::Mail, "", false},
                                           EntryCase{"MailNoAt", RecipientMode::Mail, "anna.x.se", false},
                                           EntryCase{"MailAtFirst", RecipientMode::Mail, "@x.se", false},
                                           EntryCase{"MailAtLast", RecipientMode::Mail, "anna@", false},
                                           EntryCase{"SmsPlus", RecipientMode::Sms, "+46701234567", true},
                                           EntryCase{"SmsDigits", RecipientMode::Sms, "0701234567", true},
                                           EntryCase{"SmsEmpty", RecipientMode::Sms, "", false},
                                           EntryCase{"SmsLetter", RecipientMode::Sms, "+4670abc", false},
                                           EntryCase{"SmsBlankInside", RecipientMode::Sms, "+46 70", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecipientEntry, FieldsHoldEightyCharactersAndTheCaptionFollowsTheMode)
{
    struct Case {
        RecipientMode mode;
        bool edit;
        const char* caption;
        const char* label;
    };
    for (const Case& c : {Case{RecipientMode::Mail, false, "New Mail Information", "E-Mail Address:"},
                          Case{RecipientMode::Mail, true, "Edit Mail Information", "E-Mail Address:"},
                          Case{RecipientMode::Sms, false, "New SMS Number Information", "SMS Number:"},
                          Case{RecipientMode::Sms, true, "Edit SMS Number Information", "SMS Number:"}}) {
        CAddEditMailSmsNumDlg entry(c.mode, c.edit, "N", "+461");
        EXPECT_EQ(entry.windowTitle(), c.caption);
        EXPECT_EQ(entry.NameField()->maxLength(), 80);
        EXPECT_EQ(entry.AddressField()->maxLength(), 80);
        EXPECT_EQ(entry.AddressField()->isReadOnly(), c.edit);
        const char* labelKey =
            c.mode == RecipientMode::Mail ? "IDS_ADDEDITMAILSMSNUMDLG_MSG_4" : "IDS_ADDEDITMAILSMSNUMDLG_MSG_1";
        ASSERT_NE(entry.findChild<QLabel*>(labelKey), nullptr);
        EXPECT_EQ(entry.findChild<QLabel*>(labelKey)->text(), c.label);
    }
}

TEST(RecipientEntry, NewEntryLosesBlanksAroundItsFields)
{
    CAddEditMailSmsNumDlg entry(RecipientMode::Mail, false, {}, {});
    entry.NameField()->setText("  Anna ");
    entry.AddressField()->setText(" anna@x.se  ");
    EXPECT_EQ(entry.GetName(), "Anna");
    EXPECT_EQ(entry.GetAddress(), "anna@x.se");
}

// Against a real database: what the dialog sends is what the database
// takes, and its answers (bare results, record chains, the SMS reply type)
// are what the dialog understands.
class RecipientDatabase : public HandlerFixture {
protected:
    // Hands every answer the database posted to the dialog, as the screen does.
    void Deliver(CMailSmsNumInfoDlg& dialog)
    {
        while (std::unique_ptr<CMsg> answer = owner.Take())
            dialog.OnReply(std::move(answer));
    }
    DbRequestSink Sink()
    {
        return [this](std::unique_ptr<CMsg> request) { handler.ExecuteRequest(std::move(request)); };
    }
};

TEST_F(RecipientDatabase, SmsNumbersOfTheSendSmsWindowAreStoredEditedAndDeleted)
{
    {
        CMailSmsNumInfoDlg dialog(Sink(), RecipientMode::Sms, 35, "+4670111");
        Deliver(dialog);
        ModalScript script({Fill("Anna", "+4670111")});
        script.Run([&] { dialog.OnNew(); });
        EXPECT_EQ(BoxesOf([&] { Deliver(dialog); }, 1),
                  (std::vector<Box>{{"SMS Number info saved!", QMessageBox::Information}}));
        EXPECT_EQ(Picker::RowsOf(dialog.findChild<QTreeWidget*>("RecipientList")), (Rows{{"Anna", "+4670111"}}));

        ModalScript again({Fill("Anna 2", "+4670111")});
        again.Run([&] { dialog.OnNew(); });
        EXPECT_EQ(BoxesOf([&] { Deliver(dialog); }, 1),
                  (std::vector<Box>{{"SMS Number '+4670111' already exists, could not save", QMessageBox::Warning}}));
    }
    CMailSmsNumInfoDlg dialog(Sink(), RecipientMode::Sms, 34, "+4670111");
    Deliver(dialog);
    auto* stored = dialog.findChild<QTreeWidget*>("StoredList");
    ASSERT_EQ(Picker::RowsOf(stored), (Rows{{"Anna", "+4670111"}}));

    stored->setCurrentItem(stored->topLevelItem(0));
    ModalScript script({Fill("Anna Svensson", nullptr)});
    script.Run([&] { dialog.OnEdit(); });
    BoxesOf([&] { Deliver(dialog); }, 1);
    EXPECT_EQ(Picker::RowsOf(dialog.findChild<QTreeWidget*>("RecipientList")), (Rows{{"Anna Svensson", "+4670111"}}));

    dialog.OnDelete();
    Deliver(dialog);
    EXPECT_TRUE(Picker::RowsOf(stored).empty());
    EXPECT_EQ(Picker::RowsOf(dialog.findChild<QTreeWidget*>("RecipientList")), (Rows{{"???", "+4670111"}}));
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(RecipientDatabase, MailAddressesAreStoredAndListed)
{
    {
        CMailSmsNumInfoDlg dialog(Sink(), RecipientMode::Mail, 0, "");
        Deliver(dialog);
        ModalScript script({Fill("Olle", "olle@example.se")});
        script.Run([&] { dialog.OnNew(); });
        BoxesOf([&] { Deliver(dialog); }, 1);
    }
    CMailSmsNumInfoDlg dialog(Sink(), RecipientMode::Mail, 0, "olle@example.se");
    Deliver(dialog);
    EXPECT_EQ(Picker::RowsOf(dialog.findChild<QTreeWidget*>("RecipientList")), (Rows{{"Olle", "olle@example.se"}}));
}

}  // namespace
