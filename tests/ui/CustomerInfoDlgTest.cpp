// The customer dialog and its entry dialog: the list with its first entry,
// choosing, New, Edit and Delete with their requests, every answer with its
// box, and the entry dialog's check and limits.

#include "ModalScript.h"
#include "ui/AddEditCustomerInfoDlg.h"
#include "ui/CustomerInfoDlg.h"

#include "../db/DbTestSupport.h"

#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "db/MailInfoMsg.h"
#include "messages/DatabaseMsg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace modalscript;

using Customers = std::vector<std::pair<std::string, std::string>>;  // name, info

const char* const kNoCustomer = "- No Customer Information selected";

void ClickOk(QWidget* dialog)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == "OK")
            button->click();
    }
}

// A step: fills the customer entry dialog (nullptr leaves a field as it is)
// and presses OK.
ModalScript::Step Fill(const char* name, const char* info)
{
    return [=](QWidget* modal) {
        auto* entry = dynamic_cast<CAddEditCustomerInfoDlg*>(modal);
        ASSERT_NE(entry, nullptr);
        if (name)
            entry->NameField()->setText(QString::fromUtf8(name));
        if (info)
            entry->InfoField()->setPlainText(QString::fromUtf8(info));
        ClickOk(entry);
    };
}

// The dialog with its requests collected.
class Chooser {
public:
    explicit Chooser(const std::string& current)
        : dialog([this](std::unique_ptr<CMsg> request) { sent.push_back(std::move(request)); }, current)
    {
    }

    void Answer(uint16_t result)
    {
        auto reply = std::make_unique<CDatabaseMsg>(DBMSG_CUSTOMER_INFO);
        reply->Result = result;
        dialog.OnReply(std::move(reply));
    }

    void AnswerFound(const std::string& name, const std::string& info)
    {
        auto reply = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
        reply->Result = DBRES_INFO_FOUND_KEY;
        reply->Name = name;
        reply->Info = info;
        dialog.OnReply(std::move(reply));
    }

    void AnswerAll(const Customers& customers)
    {
        std::unique_ptr<CMsg> chain;
        for (auto it = customers.rbegin(); it != customers.rend(); ++it) {
            auto record = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
            record->Name = it->first;
            record->Info = it->second;
            record->Next = std::move(chain);
            chain = std::move(record);
        }
        static_cast<CDatabaseMsg&>(*chain).Result = DBRES_INFO_FOUND_ALL;
        dialog.OnReply(std::move(chain));
    }

    QComboBox* List() { return dialog.findChild<QComboBox*>("CustomerList"); }
    QPushButton* Button(const char* key) { return dialog.findChild<QPushButton*>(key); }
    std::vector<std::string> Entries()
    {
        std::vector<std::string> entries;
        for (int i = 0; i < List()->count(); ++i)
            entries.push_back(List()->itemText(i).toStdString());
        return entries;
    }
    std::string ShownName() { return dialog.findChild<QLineEdit*>("Name")->text().toStdString(); }
    std::string ShownInfo() { return dialog.findChild<QPlainTextEdit*>("Info")->toPlainText().toStdString(); }
    // Edit and Delete enabled, as "11", "00".
    std::string EditDelete()
    {
        return std::string(1, Button("IDC_CUSTOMER_INFO_EDIT")->isEnabled() ? '1' : '0') +
               (Button("IDC_CUSTOMER_INFO_DELETE")->isEnabled() ? '1' : '0');
    }

    // The last request: type, kind, key, name, info.
    struct Request {
        uint16_t type = 0;
        int32_t kind = -1;
        std::string key, name, info;
    };
    Request Last() const
    {
        Request request;
        const CMsg* msg = sent.back().get();
        request.type = msg->GetType();
        if (const auto* search = dynamic_cast<const CCustomerInfoReqMsg*>(msg)) {
            request.kind = search->Kind;
            request.key = search->Key;
        }
        if (const auto* record = dynamic_cast<const CCustomerInfoMsg*>(msg)) {
            request.name = record->Name;
            request.info = record->Info;
        }
        return request;
    }

    std::vector<std::unique_ptr<CMsg>> sent;
    CCustomerInfoDlg dialog;
};

const Customers kStored{{"ACME", "Main street 1"}, {"Lift AB", "Call Olle"}, {"Zeta", ""}};

TEST(CustomerDialog, OpeningAsksForAllCustomers)
{
    Chooser chooser("");
    ASSERT_EQ(chooser.sent.size(), 1u);
    EXPECT_NE(dynamic_cast<CCustomerInfoReqMsg*>(chooser.sent[0].get()), nullptr);
    EXPECT_EQ(chooser.Last().type, DBMSG_FIND_CUSTOMER_INFO);
    EXPECT_EQ(chooser.Last().kind, INFO_KIND_ALL);
    EXPECT_EQ(chooser.dialog.windowTitle(), "Customer Information");
}

TEST(CustomerDialog, TheObjectsCustomerIsSelectedWhenListed)
{
    Chooser chooser("Lift AB");
    chooser.AnswerAll(kStored);

    EXPECT_EQ(chooser.Entries(), (std::vector<std::string>{kNoCustomer, "ACME", "Lift AB", "Zeta"}));
    EXPECT_EQ(chooser.List()->currentText(), "Lift AB");
    EXPECT_EQ(chooser.ShownName(), "Lift AB");
    EXPECT_EQ(chooser.ShownInfo(), "Call Olle");
    EXPECT_EQ(chooser.EditDelete(), "11");
    EXPECT_TRUE(chooser.Button("IDC_CUSTOMER_INFO_SELECT")->isEnabled());
}

TEST(CustomerDialog, AnUnlistedCustomerLeavesTheFirstEntrySelected)
{
    for (const char* current : {"", "lift ab", "Nobody"}) {
        Chooser chooser(current);
        chooser.AnswerAll(kStored);
        EXPECT_EQ(chooser.List()->currentIndex(), 0) << current;
        EXPECT_EQ(chooser.ShownName(), "") << current;
        EXPECT_EQ(chooser.EditDelete(), "00") << current;
        EXPECT_TRUE(chooser.Button("IDC_CUSTOMER_INFO_SELECT")->isEnabled());
    }
}

TEST(CustomerDialog, TheFirstEntryIsThereAlsoWithoutCustomers)
{
    Chooser chooser("ACME");
    chooser.Answer(DBRES_INFO_NONE);
    EXPECT_EQ(chooser.Entries(), (std::vector<std::string>{kNoCustomer}));
    EXPECT_EQ(chooser.EditDelete(), "00");
}

TEST(CustomerDialog, ChoosingACustomerAsksForItAndShowsTheAnswer)
{
    Chooser chooser("");
    chooser.AnswerAll(kStored);

    chooser.dialog.OnChoose(3);

    EXPECT_EQ(chooser.Last().type, DBMSG_FIND_CUSTOMER_INFO);
    EXPECT_EQ(chooser.Last().kind, INFO_KIND_BY_KEY);
    EXPECT_EQ(chooser.Last().key, "Zeta");
    EXPECT_EQ(chooser.EditDelete(), "00");
    chooser.AnswerFound("Zeta", "Zeta info");
    EXPECT_EQ(chooser.ShownName(), "Zeta");
    EXPECT_EQ(chooser.ShownInfo(), "Zeta info");
    EXPECT_EQ(chooser.EditDelete(), "11");

    chooser.dialog.OnSelect();
    EXPECT_EQ(chooser.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.dialog.GetName(), "Zeta");
    EXPECT_EQ(chooser.dialog.GetInfo(), "Zeta info");
}

TEST(CustomerDialog, ALateAnswerForAnEntryLeftMeanwhileIsNotShown)
{
    Chooser chooser("");
    chooser.AnswerAll(kStored);
    chooser.dialog.OnChoose(1);
    chooser.dialog.OnChoose(0);
    chooser.AnswerFound("ACME", "Main street 1");
    EXPECT_EQ(chooser.ShownName(), "");
    EXPECT_EQ(chooser.EditDelete(), "00");
}

TEST(CustomerDialog, FirstEntryThenSelectGivesAnEmptyCustomer)
{
    Chooser chooser("ACME");
    chooser.AnswerAll(kStored);
    ASSERT_EQ(chooser.ShownName(), "ACME");
    const size_t before = chooser.sent.size();

    chooser.dialog.OnChoose(0);

    EXPECT_EQ(chooser.sent.size(), before);  // nothing to ask
    EXPECT_EQ(chooser.ShownName(), "");
    EXPECT_EQ(chooser.ShownInfo(), "");
    EXPECT_EQ(chooser.EditDelete(), "00");
    chooser.Button("IDC_CUSTOMER_INFO_SELECT")->click();
    EXPECT_EQ(chooser.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.dialog.GetName(), "");
    EXPECT_EQ(chooser.dialog.GetInfo(), "");
}

TEST(CustomerDialog, CloseGivesNoResult)
{
    Chooser chooser("ACME");
    chooser.AnswerAll(kStored);
    chooser.Button("IDC_CUSTOMER_INFO_CLOSE")->click();
    EXPECT_EQ(chooser.dialog.result(), QDialog::Rejected);
}

TEST(CustomerDialog, NewChecksTheNameThenAddsAndTheAnswerSelectsIt)
{
    Chooser chooser("");
    chooser.AnswerAll(kStored);

    std::vector<Box> boxes;
    std::string caption;
    bool nameSelected = false;
    ModalScript script({[&](QWidget* modal) {
                            caption = modal->windowTitle().toStdString();
                            Fill("   ", "Some info")(modal);
                        },
                        Answer(boxes),
                        [&](QWidget* modal) {
                            auto* entry = dynamic_cast<CAddEditCustomerInfoDlg*>(modal);
                            ASSERT_NE(entry, nullptr);
                            nameSelected = entry->NameField()->selectedText() == "   ";
                            Fill("New Lift AB", nullptr)(modal);
                        }});
    script.Run([&] { chooser.Button("IDC_CUSTOMER_INFO_NEW")->click(); });

    EXPECT_EQ(caption, "New Customer Information");
    EXPECT_EQ(boxes, (std::vector<Box>{{"No valid Customer Name entered", QMessageBox::Warning}}));
    EXPECT_TRUE(nameSelected);
    EXPECT_EQ(chooser.Last().type, DBMSG_ADD_CUSTOMER_INFO);
    EXPECT_EQ(chooser.Last().name, "New Lift AB");
    EXPECT_EQ(chooser.Last().info, "Some info");

    EXPECT_EQ(BoxesOf([&] { chooser.Answer(DBRES_INFO_ADDED); }, 1),
              (std::vector<Box>{{"Customer info saved!", QMessageBox::Information}}));
    EXPECT_EQ(chooser.Entries().back(), "New Lift AB");
    EXPECT_EQ(chooser.List()->currentText(), "New Lift AB");
    EXPECT_EQ(chooser.ShownName(), "New Lift AB");
    EXPECT_EQ(chooser.ShownInfo(), "Some info");
    EXPECT_EQ(chooser.EditDelete(), "11");
}

TEST(CustomerDialog, EditKeepsTheNameAndSendsTheNewInfo)
{
    Chooser chooser("Lift AB");
    chooser.AnswerAll(kStored);

    bool nameReadOnly = false;
    std::string caption;
    std::string infoShown;
    ModalScript script({[&](QWidget* modal) {
        auto* entry = dynamic_cast<CAddEditCustomerInfoDlg*>(modal);
        ASSERT_NE(entry, nullptr);
        caption = entry->windowTitle().toStdString();
        nameReadOnly = entry->NameField()->isReadOnly();
        infoShown = entry->InfoField()->toPlainText().toStdString();
        Fill(nullptr, "Call Anna")(modal);
    }});
    script.Run([&] { chooser.Button("IDC_CUSTOMER_INFO_EDIT")->click(); });

    EXPECT_EQ(caption, "Edit Customer Information");
    EXPECT_TRUE(nameReadOnly);
    EXPECT_EQ(infoShown, "Call Olle");
    EXPECT_EQ(chooser.Last().type, DBMSG_EDIT_CUSTOMER_INFO);
    EXPECT_EQ(chooser.Last().name, "Lift AB");
    EXPECT_EQ(chooser.Last().info, "Call Anna");

    EXPECT_EQ(BoxesOf([&] { chooser.Answer(DBRES_INFO_EDITED); }, 1),
              (std::vector<Box>{{"Customer Info saved!", QMessageBox::Information}}));
    EXPECT_EQ(chooser.ShownInfo(), "Call Anna");
    chooser.dialog.OnSelect();
    EXPECT_EQ(chooser.dialog.GetInfo(), "Call Anna");
}

TEST(CustomerDialog, DeleteAsksFirstAndTheAnswerRemovesTheCustomer)
{
    Chooser chooser("Lift AB");
    chooser.AnswerAll(kStored);
    const size_t before = chooser.sent.size();

    std::vector<Box> asked;
    ModalScript no({Answer(asked, QMessageBox::No)});
    no.Run([&] { chooser.Button("IDC_CUSTOMER_INFO_DELETE")->click(); });
    EXPECT_EQ(asked, (std::vector<Box>{{"Delete Customer Info?", QMessageBox::Question}}));
    EXPECT_EQ(chooser.sent.size(), before);

    ModalScript yes({Answer(asked, QMessageBox::Yes)});
    yes.Run([&] { chooser.Button("IDC_CUSTOMER_INFO_DELETE")->click(); });
    ASSERT_EQ(chooser.sent.size(), before + 1);
    EXPECT_EQ(chooser.Last().type, DBMSG_DELETE_CUSTOMER_INFO);
    EXPECT_EQ(chooser.Last().key, "Lift AB");

    chooser.Answer(DBRES_INFO_DELETED);
    EXPECT_EQ(chooser.Entries(), (std::vector<std::string>{kNoCustomer, "ACME", "Zeta"}));
    EXPECT_EQ(chooser.List()->currentIndex(), 0);
    EXPECT_EQ(chooser.ShownName(), "");
    EXPECT_EQ(chooser.EditDelete(), "00");
}

// What the operator did before the answer came.
enum class Before { Nothing, New, Edit, Delete };

struct ResultCase {
    const char* name;
    Before before;
    uint16_t result;
    std::vector<Box> boxes;
};

class CustomerResults : public ::testing::TestWithParam<ResultCase> {};

TEST_P(CustomerResults, EachAnswerShowsItsText)
{
    const ResultCase& c = GetParam();
    Chooser chooser("ACME");
    chooser.AnswerAll(kStored);
    std::vector<Box> ignored;
    switch (c.before) {
    case Before::New: {
        ModalScript script({Fill("ACME", "dup")});
        script.Run([&] { chooser.dialog.OnNew(); });
        break;
    }
    case Before::Edit: {
        ModalScript script({Fill(nullptr, "changed")});
        script.Run([&] { chooser.dialog.OnEdit(); });
        break;
    }
    case Before::Delete: {
        ModalScript script({Answer(ignored, QMessageBox::Yes)});
        script.Run([&] { chooser.dialog.OnDelete(); });
        break;
    }
    case Before::Nothing:
        break;
    }

    EXPECT_EQ(BoxesOf([&] { chooser.Answer(c.result); }, static_cast<int>(c.boxes.size())), c.boxes);
}

const QMessageBox::Icon kInfo = QMessageBox::Information;
const QMessageBox::Icon kWarn = QMessageBox::Warning;
const QMessageBox::Icon kError = QMessageBox::Critical;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Answers, CustomerResults,
    ::testing::Values(
        ResultCase{"Added", Before::New, 1, {{"Customer info saved!", kInfo}}},
        ResultCase{"Duplicate", Before::New, 2,
                   {{"Customer name 'ACME' already exists, delete the current item or use another name", kWarn}}},
        ResultCase{"AddError", Before::New, 3, {{"Error, could not add Customer info to Database!", kError}}},
        ResultCase{"None", Before::Nothing, 6, {}},
        ResultCase{"FindError", Before::Nothing, 7, {}},
        ResultCase{"Edited", Before::Edit, 8, {{"Customer Info saved!", kInfo}}},
        ResultCase{"EditNotFound", Before::Edit, 9, {{"Error, Customer info not found in Database!", kError}}},
        ResultCase{"EditError", Before::Edit, 10, {{"Error, Customer info could not be edited!", kError}}},
        ResultCase{"Deleted", Before::Delete, 11, {}},
        ResultCase{"DeleteNotFound", Before::Delete, 12, {{"Error, Customer info not found in Database!", kError}}},
        ResultCase{"DeleteError", Before::Delete, 13, {{"Error, Customer info could not be deleted!", kError}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(CustomerDialog, AnswersOfAnotherKindAreIgnored)
{
    Chooser chooser("ACME");
    chooser.AnswerAll(kStored);
    // An e-mail list on the customer type, a customer list on the e-mail type,
    // a bare message, nothing.
    auto mail = std::make_unique<CMailInfoMsg>(DBMSG_CUSTOMER_INFO);
    mail->Result = DBRES_INFO_FOUND_ALL;
    chooser.dialog.OnReply(std::move(mail));
    auto customers = std::make_unique<CCustomerInfoMsg>(DBMSG_MAIL_INFO);
    customers->Result = DBRES_INFO_FOUND_ALL;
    chooser.dialog.OnReply(std::move(customers));
    chooser.dialog.OnReply(std::make_unique<CMsg>(DBMSG_CUSTOMER_INFO));
    chooser.dialog.OnReply(nullptr);
    // Answers to requests never sent.
    EXPECT_TRUE(BoxesOf(
                    [&] {
                        chooser.Answer(DBRES_INFO_ADDED);
                        chooser.Answer(DBRES_INFO_EDITED);
                        chooser.Answer(DBRES_INFO_DELETED);
                    },
                    0)
                    .empty());

    EXPECT_EQ(chooser.Entries(), (std::vector<std::string>{kNoCustomer, "ACME", "Lift AB", "Zeta"}));
    EXPECT_EQ(chooser.ShownName(), "ACME");
}

TEST(CustomerDialog, TooltipsComeFromTheDictionary)
{
    Chooser chooser("");
    EXPECT_EQ(chooser.List()->toolTip(), "Available customers in the database");
    EXPECT_EQ(chooser.Button("IDC_CUSTOMER_INFO_NEW")->toolTip(), "Clear the form to add a new customer");
    EXPECT_EQ(chooser.Button("IDC_CUSTOMER_INFO_SELECT")->toolTip(),
              "Copy the selected customer information to the object and close the dialog");
    EXPECT_EQ(chooser.Button("IDC_CUSTOMER_INFO_CLOSE")->text(), "C&lose");
}

TEST(CustomerDialog, KeyboardChoosesAndTabsInReadingOrder)
{
    Chooser chooser("");
    chooser.AnswerAll(kStored);
    chooser.dialog.show();
    QTest::keyClick(chooser.List(), Qt::Key_Down);
    EXPECT_EQ(chooser.Last().kind, INFO_KIND_BY_KEY);
    EXPECT_EQ(chooser.Last().key, "ACME");

    std::vector<std::string> order;
    QWidget* first = chooser.List();
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            order.push_back(w->objectName().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Name", "Info", "IDC_CUSTOMER_INFO_NEW", "IDC_CUSTOMER_INFO_EDIT",
                                               "IDC_CUSTOMER_INFO_DELETE", "IDC_CUSTOMER_INFO_SELECT",
                                               "IDC_CUSTOMER_INFO_CLOSE"}));
    EXPECT_TRUE(chooser.Button("IDC_CUSTOMER_INFO_SELECT")->isDefault());
}

TEST(CustomerDialog, EscapeClosesWithoutAResult)
{
    Chooser chooser("");
    chooser.dialog.show();
    QTest::keyClick(&chooser.dialog, Qt::Key_Escape);
    EXPECT_EQ(chooser.dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(chooser.dialog.isVisible());
}

TEST(CustomerEntry, NameHoldsFortyAndInfo65535Characters)
{
    CAddEditCustomerInfoDlg entry(false, {}, {});
    EXPECT_EQ(entry.NameField()->maxLength(), 40);
    EXPECT_FALSE(entry.NameField()->isReadOnly());

    // Characters, not UTF-16 units: an emoji is one character.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x9B\x97");
    entry.InfoField()->setPlainText(QString(65534, QLatin1Char('x')) + emoji + emoji + QStringLiteral("tail"));
    const QString kept = entry.InfoField()->toPlainText();
    EXPECT_EQ(kept.toUcs4().size(), 65535);
    EXPECT_TRUE(kept.endsWith(emoji));
}

TEST(CustomerEntry, NewNameLosesBlanksAroundItEditNameStaysAsStored)
{
    CAddEditCustomerInfoDlg added(false, {}, {});
    added.NameField()->setText("  ACME ");
    EXPECT_EQ(added.GetName(), "ACME");

    CAddEditCustomerInfoDlg edited(true, "ACME ", "info");
    EXPECT_TRUE(edited.NameField()->isReadOnly());
    EXPECT_EQ(edited.GetName(), "ACME ");
    EXPECT_EQ(edited.GetInfo(), "info");
}

// Against a real database: the requests are what the database takes and its
// answers are what the dialog understands.
class CustomerDatabase : public HandlerFixture {
protected:
    void Deliver(CCustomerInfoDlg& dialog)
    {
        while (std::unique_ptr<CMsg> answer = owner.Take())
            dialog.OnReply(std::move(answer));
    }
    DbRequestSink Sink()
    {
        return [this](std::unique_ptr<CMsg> request) { handler.ExecuteRequest(std::move(request)); };
    }
};

TEST_F(CustomerDatabase, ACustomerIsAddedChosenEditedAndDeleted)
{
    {
        CCustomerInfoDlg dialog(Sink(), "");
        Deliver(dialog);
        for (const char* name : {"Lift AB", "ACME"}) {
            ModalScript script({Fill(name, "info")});
            script.Run([&] { dialog.OnNew(); });
            BoxesOf([&] { Deliver(dialog); }, 1);
        }
    }
    CCustomerInfoDlg dialog(Sink(), "ACME");
    Deliver(dialog);
    auto* list = dialog.findChild<QComboBox*>("CustomerList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentText(), "ACME");

    const int other = list->findText("Lift AB");
    dialog.OnChoose(other);
    Deliver(dialog);
    EXPECT_EQ(dialog.findChild<QLineEdit*>("Name")->text(), "Lift AB");

    ModalScript edit({Fill(nullptr, "Call Olle")});
    edit.Run([&] { dialog.OnEdit(); });
    BoxesOf([&] { Deliver(dialog); }, 1);
    dialog.OnChoose(0);
    dialog.OnChoose(list->findText("Lift AB"));
    Deliver(dialog);
    EXPECT_EQ(dialog.findChild<QPlainTextEdit*>("Info")->toPlainText(), "Call Olle");

    std::vector<Box> asked;
    ModalScript remove({Answer(asked, QMessageBox::Yes)});
    remove.Run([&] { dialog.OnDelete(); });
    Deliver(dialog);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->findText("Lift AB"), -1);
    EXPECT_TRUE(errors.shown.empty());
}

}  // namespace
