// The object window: the six checks and their order, the two modes, Copy
// Object, Delete, the close question, every database answer, the field
// limits and the ID code filter, the keyboard, the customer and recipient
// dialogs it opens, and, against a real database file, the time of the last
// test alarm and the way back to the open list.

#include "../db/DbTestSupport.h"
#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "ui/CustomerInfoDlg.h"
#include "ui/MailSmsNumInfoDlg.h"
#include "ui/ObjectInfoDlg.h"
#include "ui/OpenObjectInfoDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Answers every message box while it lives and keeps its text and icon.
class Boxes {
public:
    struct Box {
        std::string text;
        QMessageBox::Icon icon;
    };

    explicit Boxes(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer(answer)
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown.push_back({box->text().toStdString(), box->icon()});
                QAbstractButton* button = box->button(this->answer);
                if (button == nullptr)
                    button = box->buttons().first();
                button->click();
            }
        });
        poll.start();
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Box& box : shown)
            texts.push_back(box.text);
        return texts;
    }

    QMessageBox::StandardButton answer;
    std::vector<Box> shown;

private:
    QTimer poll;
};

// Runs `act` once on the first modal dialog of type T that opens (the
// window's code waits in it meanwhile).
template <typename T>
class OnModal {
public:
    explicit OnModal(std::function<void(T&)> act) : act(std::move(act))
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (done)
                return;
            if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
                done = true;
                this->act(*dialog);
            }
        });
        poll.start();
    }
    bool done = false;

private:
    std::function<void(T&)> act;
    QTimer poll;
};

std::unique_ptr<CObjectInfoMsg> MakeObject(const std::string& idCode, const std::string& idInfo = "Lift 1")
{
    auto record = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
    record->Result = DBRES_OBJECT_FOUND_ID;
    record->IdCode = idCode;
    record->PhoneNumber = "+468" + idCode;
    record->IdInfo = idInfo;
    record->Address = "Main Street 5";
    record->Days = 7;
    record->TestAlarmOnly = 1;
    record->AlarmPopUpEnabled = 0;
    record->MailAddrTech = "tech@lifts.se";
    record->SmsNumTech = "+46701111111";
    record->MailAddrEmg = "emg@lifts.se";
    record->SmsNumEmg = "+46702222222";
    record->Notes = "Key at the desk";
    record->ElevatorType = "Hydraulic";
    record->Customer = "ACME";
    record->CustomerRecord = std::make_unique<CCustomerInfoMsg>();
    record->CustomerRecord->Name = "ACME";
    record->CustomerRecord->Info = "Call before visits";
    return record;
}

std::unique_ptr<CDatabaseMsg> Result(uint16_t result)
{
    auto reply = std::make_unique<CDatabaseMsg>(DBMSG_OBJECT_INFO);
    reply->Result = result;
    return reply;
}

QString Repeat(const QString& piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

int Chars(const QString& text)
{
    return static_cast<int>(text.toUcs4().size());
}

class ObjectInfoDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window =
            std::make_unique<CObjectInfoDlg>([this](std::unique_ptr<CMsg> msg) { sent.push_back(std::move(msg)); });
        window->SetBeep([this] { ++beeps; });
    }

    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <typename T = QLineEdit>
    T* Field(const char* name) const
    {
        T* field = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(field, nullptr) << name;
        return field;
    }
    QPushButton* Button(const char* name) const { return Field<QPushButton>(name); }
    QString FocusName() const
    {
        QWidget* focus = window->focusWidget();
        // The spin box's own line edit stands for the spin box.
        if (focus != nullptr && focus->parentWidget() != nullptr && qobject_cast<QSpinBox*>(focus->parentWidget()))
            focus = focus->parentWidget();
        return focus != nullptr ? focus->objectName() : QString();
    }

    template <typename T>
    T* Sent(size_t index) const
    {
        if (index >= sent.size())
            return nullptr;
        return dynamic_cast<T*>(sent[index].get());
    }

    // A new, valid object in the window.
    void FillValidNew()
    {
        window->OpenNewObject("12345678");
        Field("IdInfo")->setText("Lift 9");
    }

    // An existing object shown in edit mode.
    void ShowExisting(const std::string& idCode = "11223344")
    {
        window->FindObject(idCode, false);
        window->OnReply(MakeObject(idCode));
        sent.clear();
    }

    std::unique_ptr<CObjectInfoDlg> window;
    std::vector<std::unique_ptr<CMsg>> sent;
    int beeps = 0;
};

// ---------------------------------------------------------------------------
// The six checks on Add and Save

struct CheckCase {
    const char* name;
    const char* idCode;
    const char* phone;
    const char* mailTech;
    const char* smsTech;
    const char* mailEmg;
    const char* smsEmg;
    std::vector<std::string> warnings;
    const char* focus;  // nullptr: the save went ahead
};

const char* const kIdWarning = "Only ID Codes with 6 to 8 digits or a Tel-number starting with '+' is valid as ID Code";
const char* const kPhoneWarning = "Only telephone numbers starting with '+' is valid";
const char* const kMailTechWarning = "The 'Technical Alarms' E-Mail field contains invalid addresses";
const char* const kSmsTechWarning = "The 'Technical Alarms' SMS Number field contains invalid SMS Numbers";
const char* const kMailEmgWarning = "The 'Emergency Alarms' E-Mail field contains invalid addresses";
const char* const kSmsEmgWarning = "The 'Emergency Alarms' SMS Number field contains invalid SMS Numbers";

class ObjectInfoCheckTest : public ObjectInfoDlgTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ObjectInfoCheckTest, WarnsInOrderAndFocusesTheLastFailure)
{
    const CheckCase& c = GetParam();
    window->OpenNewObject("");
    // Put in as a stored object or an alarm would: the filter of the ID
    // code field does not refuse these.
    Field("IdCode")->setText(c.idCode);
    Field("PhoneNumber")->setText(c.phone);
    Field("MailAddrTech")->setText(c.mailTech);
    Field("SmsNumTech")->setText(c.smsTech);
    Field("MailAddrEmg")->setText(c.mailEmg);
    Field("SmsNumEmg")->setText(c.smsEmg);

    Boxes boxes;
    Button("IDC_OBJECT_INFO_ADD")->click();

    EXPECT_EQ(boxes.Texts(), c.warnings);
    for (const auto& box : boxes.shown)
        EXPECT_EQ(box.icon, QMessageBox::Warning);
    if (c.focus == nullptr) {
        ASSERT_EQ(sent.size(), 1u);
        auto* record = Sent<CObjectInfoMsg>(0);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->GetType(), DBMSG_ADD_OBJECT_INFO);
        EXPECT_EQ(record->IdCode, c.idCode);
    } else {
        EXPECT_TRUE(sent.empty());
        EXPECT_EQ(FocusName().toStdString(), c.focus);
        // The ID code and the phone number are selected whole for retyping.
        auto* line = qobject_cast<QLineEdit*>(window->focusWidget());
        if (line != nullptr && (std::string(c.focus) == "IdCode" || std::string(c.focus) == "PhoneNumber")) {
            EXPECT_EQ(line->selectedText(), line->text());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjectInfoCheckTest,
    ::testing::Values(
        CheckCase{"AllValid", "12345678", "+4612345", "a@b.se; c@d.se;", "+4670,0707", "", "", {}, nullptr},
        CheckCase{"PlusCode", "+46701234567", "", "", "", "", "", {}, nullptr},
        CheckCase{"IdCodeAndMail", "12345", "", ";a@b.se", "", "", "", {kIdWarning, kMailTechWarning}, "MailAddrTech"},
        CheckCase{"IdCodeOnly", "123456789", "", "", "", "", "", {kIdWarning}, "IdCode"},
        CheckCase{"PhoneOnly", "123456", "0812345", "", "", "", "", {kPhoneWarning}, "PhoneNumber"},
        CheckCase{"EmergencySms", "123456", "", "", "", "", "+46-70", {kSmsEmgWarning}, "SmsNumEmg"},
        CheckCase{"AllSix",
                  "+",
                  "+46-8",
                  "@b.se",
                  "+46,,+47",
                  "a@",
                  "x7y",
                  {kIdWarning, kPhoneWarning, kMailTechWarning, kSmsTechWarning, kMailEmgWarning, kSmsEmgWarning},
                  "SmsNumEmg"}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Modes

TEST_F(ObjectInfoDlgTest, NewAndEditModeShowTheirCaptionButtonsAndFocus)
{
    struct Expect {
        QString caption;
        bool add, save, copy, remove, idCodeReadOnly;
        QString focus;
    };
    const auto check = [this](const Expect& e) {
        EXPECT_EQ(window->windowTitle(), e.caption);
        EXPECT_EQ(Button("IDC_OBJECT_INFO_ADD")->isEnabled(), e.add);
        EXPECT_EQ(Button("IDC_OBJECT_INFO_SAVE")->isEnabled(), e.save);
        EXPECT_EQ(Button("IDC_OBJECT_INFO_COPY_OBJECT")->isEnabled(), e.copy);
        EXPECT_EQ(Button("IDC_OBJECT_INFO_DELETE_OBJECT")->isEnabled(), e.remove);
        EXPECT_EQ(Field("IdCode")->isReadOnly(), e.idCodeReadOnly);
        EXPECT_EQ(FocusName(), e.focus);
    };

    window->OpenNewObject("30012345");
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->IsEditMode());
    EXPECT_EQ(Field("IdCode")->text(), "30012345");
    EXPECT_TRUE(Field<QCheckBox>("AlarmPopUpEnabled")->isChecked());
    EXPECT_FALSE(Field<QCheckBox>("TestAlarmOnly")->isChecked());
    EXPECT_EQ(Field<QSpinBox>("Days")->value(), 0);
    check({"Add Object Info", true, false, false, false, false, "IdCode"});

    window->hide();
    ShowExisting("11223344");
    EXPECT_TRUE(window->IsEditMode());
    EXPECT_EQ(Field("IdCode")->text(), "11223344");
    EXPECT_EQ(Field("PhoneNumber")->text(), "+46811223344");
    EXPECT_EQ(Field<QSpinBox>("Days")->value(), 7);
    EXPECT_TRUE(Field<QCheckBox>("TestAlarmOnly")->isChecked());
    EXPECT_FALSE(Field<QCheckBox>("AlarmPopUpEnabled")->isChecked());
    EXPECT_EQ(Field("Customer")->text(), "ACME");
    EXPECT_EQ(Field<QPlainTextEdit>("CustomerInfo")->toPlainText(), "Call before visits");
    EXPECT_EQ(window->CurrentIdCode(), "11223344");
    check({"Edit Object Info", false, true, true, true, true, "IdInfo"});
}

TEST_F(ObjectInfoDlgTest, OperationsWhileShownBeepAndAskNothing)
{
    window->OpenNewObject("");
    window->OpenNewObject("12345678");
    window->FindObject("12345678", false);
    window->OpenFromList();
    EXPECT_EQ(beeps, 3);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Field("IdCode")->text(), "");

    window->hide();
    window->SaveCommand();
    EXPECT_EQ(beeps, 4);
    EXPECT_TRUE(sent.empty());
}

TEST_F(ObjectInfoDlgTest, FindObjectAsksByPhoneNumberOrIdCode)
{
    const struct {
        bool byPhone;
        int32_t kind;
    } cases[] = {{true, OBJECT_KIND_BY_PHONE}, {false, OBJECT_KIND_BY_ID}};
    for (const auto& c : cases) {
        sent.clear();
        window->FindObject("+4612345", c.byPhone);
        ASSERT_EQ(sent.size(), 1u);
        auto* request = Sent<CObjectInfoReqMsg>(0);
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->GetType(), DBMSG_FIND_OBJECT_INFO);
        EXPECT_EQ(request->Kind, c.kind);
        EXPECT_EQ(request->Key, "+4612345");
        EXPECT_EQ(request->ReplyType, DBMSG_OBJECT_INFO);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(ObjectInfoDlgTest, SaveSendsAnEditWithEveryFieldAsItStands)
{
    ShowExisting("11223344");
    Field("IdInfo")->setText("  Lift 1, spaces kept  ");
    window->SaveCommand();
    ASSERT_EQ(sent.size(), 1u);
    auto* record = Sent<CObjectInfoMsg>(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->GetType(), DBMSG_EDIT_OBJECT_INFO);
    EXPECT_EQ(record->IdCode, "11223344");
    EXPECT_EQ(record->IdInfo, "  Lift 1, spaces kept  ");
    EXPECT_EQ(record->PhoneNumber, "+46811223344");
    EXPECT_EQ(record->Days, 7);
    EXPECT_EQ(record->TestAlarmOnly, 1);
    EXPECT_EQ(record->AlarmPopUpEnabled, 0);
    EXPECT_EQ(record->MailAddrTech, "tech@lifts.se");
    EXPECT_EQ(record->SmsNumEmg, "+46702222222");
    EXPECT_EQ(record->Notes, "Key at the desk");
    EXPECT_EQ(record->Customer, "ACME");
    EXPECT_FALSE(window->IsChanged());
}

// ---------------------------------------------------------------------------
// Copy Object and Delete

TEST_F(ObjectInfoDlgTest, CopyObjectKeepsAllButTheKeysAndAddsAsNew)
{
    ShowExisting("11223344");
    Button("IDC_OBJECT_INFO_COPY_OBJECT")->click();
    EXPECT_FALSE(window->IsEditMode());
    EXPECT_EQ(Field("IdCode")->text(), "");
    EXPECT_EQ(Field("PhoneNumber")->text(), "");
    EXPECT_EQ(Field("IdInfo")->text(), "Lift 1");
    EXPECT_EQ(Field("MailAddrEmg")->text(), "emg@lifts.se");
    EXPECT_EQ(Field("Customer")->text(), "ACME");
    EXPECT_FALSE(Field("IdCode")->isReadOnly());
    EXPECT_FALSE(window->IsChanged());

    Field("IdCode")->setText("11223355");
    Button("IDC_OBJECT_INFO_ADD")->click();
    ASSERT_EQ(sent.size(), 1u);
    auto* record = Sent<CObjectInfoMsg>(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->GetType(), DBMSG_ADD_OBJECT_INFO);
    EXPECT_EQ(record->IdCode, "11223355");
    EXPECT_EQ(record->IdInfo, "Lift 1");
}

TEST_F(ObjectInfoDlgTest, DeleteAsksAndOnYesDeletesAndClears)
{
    const struct {
        QMessageBox::StandardButton answer;
        bool deleted;
    } cases[] = {{QMessageBox::No, false}, {QMessageBox::Yes, true}};
    for (const auto& c : cases) {
        window->hide();
        ShowExisting("11223344");
        Boxes boxes(c.answer);
        Button("IDC_OBJECT_INFO_DELETE_OBJECT")->click();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Delete Object Info?");
        EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(window->isVisible());
        if (c.deleted) {
            ASSERT_EQ(sent.size(), 1u);
            auto* request = Sent<CObjectInfoReqMsg>(0);
            ASSERT_NE(request, nullptr);
            EXPECT_EQ(request->GetType(), DBMSG_DELETE_OBJECT_INFO);
            EXPECT_EQ(request->Key, "11223344");
            EXPECT_FALSE(window->IsEditMode());
            EXPECT_EQ(Field("IdInfo")->text(), "");
        } else {
            EXPECT_TRUE(sent.empty());
            EXPECT_TRUE(window->IsEditMode());
            EXPECT_EQ(Field("IdInfo")->text(), "Lift 1");
        }
    }
}

// ---------------------------------------------------------------------------
// Close

TEST_F(ObjectInfoDlgTest, CloseAsksOnlyAfterAChange)
{
    const struct {
        const char* name;
        bool change;
        QMessageBox::StandardButton answer;
        bool breakCheck;
        std::vector<std::string> boxes;
        bool closed;
        size_t saved;
    } cases[] = {
        {"Unchanged", false, QMessageBox::Cancel, false, {}, true, 0},
        {"Cancel", true, QMessageBox::Cancel, false, {"Save Object Info?"}, false, 0},
        {"No", true, QMessageBox::No, false, {"Save Object Info?"}, true, 0},
        {"Yes", true, QMessageBox::Yes, false, {"Save Object Info?"}, true, 1},
        {"YesFailingCheck", true, QMessageBox::Yes, true, {"Save Object Info?", kSmsTechWarning}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->hide();
        ShowExisting("11223344");
        if (c.change)
            QTest::keyClick(Field("IdInfo"), Qt::Key_X);
        if (c.breakCheck)
            Field("SmsNumTech")->setText("+46-70");
        Boxes boxes(c.answer);
        Button("IDC_OBJECT_INFO_CLOSE")->click();
        EXPECT_EQ(boxes.Texts(), c.boxes);
        EXPECT_EQ(window->isVisible(), !c.closed);
        EXPECT_EQ(sent.size(), c.saved);
    }
}

TEST_F(ObjectInfoDlgTest, EscapeAndTheCloseBoxRunTheCloseRoutine)
{
    const std::function<void(QWidget&)> ways[] = {
        [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); },
        [](QWidget& w) { w.close(); },
    };
    for (const auto& way : ways) {
        window->OpenNewObject("12345678");
        Field("IdInfo")->setText("x");
        {
            Boxes boxes(QMessageBox::Cancel);
            way(*window);
            EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Add Object Info?"});
            EXPECT_TRUE(window->isVisible());
        }
        Boxes boxes(QMessageBox::No);
        way(*window);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(ObjectInfoDlgTest, NewAsksBeforeDroppingChanges)
{
    ShowExisting("11223344");
    QTest::keyClick(Field("Address"), Qt::Key_Z);
    {
        Boxes boxes(QMessageBox::Cancel);
        Button("IDC_OBJECT_INFO_NEW")->click();
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Save Object Info?"});
        EXPECT_TRUE(window->IsEditMode());
    }
    Boxes boxes(QMessageBox::No);
    Button("IDC_OBJECT_INFO_NEW")->click();
    EXPECT_FALSE(window->IsEditMode());
    EXPECT_EQ(Field("Address")->text(), "");
    EXPECT_TRUE(sent.empty());
}

// ---------------------------------------------------------------------------
// Answers of the database

struct ResultCase {
    uint16_t result;
    std::string text;  // empty: no box
    QMessageBox::Icon icon;
    const char* focus;  // nullptr: not checked
};

class ObjectInfoResultTest : public ObjectInfoDlgTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ObjectInfoResultTest, ShowsItsBoxAndTheWindowInFront)
{
    const ResultCase& c = GetParam();
    window->OpenNewObject("12345678");
    Field("PhoneNumber")->setText("+4611");
    Field("IdInfo")->setFocus();
    window->hide();

    Boxes boxes;
    window->OnReply(Result(c.result));
    if (c.text.empty()) {
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_FALSE(window->isVisible());
        return;
    }
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, c.text);
    EXPECT_EQ(boxes.shown[0].icon, c.icon);
    EXPECT_TRUE(window->isVisible());
    if (c.focus != nullptr) {
        EXPECT_EQ(FocusName().toStdString(), c.focus);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ObjectInfoResultTest,
    ::testing::Values(
        // 1 tells only while the window is shown (see AddedWhileShown...).
        ResultCase{DBRES_OBJECT_ADDED, "", QMessageBox::NoIcon, nullptr},
        ResultCase{DBRES_OBJECT_ID_EXISTS,
                   "ID-Code '12345678' already exists, delete the current item or use another ID-Code",
                   QMessageBox::Warning, "IdCode"},
        ResultCase{DBRES_OBJECT_PHONE_EXISTS,
                   "Telephone number '+4611' already exists, delete the current item or use another number",
                   QMessageBox::Warning, "PhoneNumber"},
        ResultCase{DBRES_OBJECT_ADD_ERROR, "Error, could not add Object to Database!", QMessageBox::Critical, nullptr},
        ResultCase{DBRES_OBJECT_EDITED, "Data saved!", QMessageBox::Information, nullptr},
        ResultCase{DBRES_OBJECT_PHONE_USED, "Duplicate Phone Number: +4611", QMessageBox::Warning, "PhoneNumber"},
        ResultCase{DBRES_OBJECT_EDIT_NOT_FOUND, "Error, Object not found in Database!", QMessageBox::Critical, nullptr},
        ResultCase{DBRES_OBJECT_EDIT_ERROR, "Error, Object could not be edited!", QMessageBox::Critical, nullptr},
        ResultCase{DBRES_OBJECT_DELETED, "", QMessageBox::NoIcon, nullptr},
        ResultCase{DBRES_OBJECT_DELETE_NOT_FOUND, "Error, Object not found in Database!", QMessageBox::Critical,
                   nullptr},
        ResultCase{DBRES_OBJECT_DELETE_ERROR, "Error, Object could not be deleted!", QMessageBox::Critical, nullptr}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return std::to_string(info.param.result); });

TEST_F(ObjectInfoDlgTest, AddedWhileShownTellsAndClearsForTheNextObject)
{
    FillValidNew();
    Button("IDC_OBJECT_INFO_ADD")->click();
    Boxes boxes;
    window->OnReply(Result(DBRES_OBJECT_ADDED));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Object saved!");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Information);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Field("IdCode")->text(), "");
    EXPECT_EQ(Field("IdInfo")->text(), "");
    EXPECT_FALSE(window->IsEditMode());
}

TEST_F(ObjectInfoDlgTest, ARefusedSaveLeavesTheWindowChanged)
{
    // The snapshot is taken when the save is sent; when the database refuses
    // it, closing must still ask, or the operator's input is gone.
    ShowExisting("11223344");
    Field("PhoneNumber")->setText("+4699");
    window->SaveCommand();
    EXPECT_FALSE(window->IsChanged());
    {
        Boxes boxes;
        window->OnReply(Result(DBRES_OBJECT_PHONE_USED));
    }
    EXPECT_TRUE(window->IsChanged());
    Boxes boxes(QMessageBox::Cancel);
    Button("IDC_OBJECT_INFO_CLOSE")->click();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Save Object Info?"});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ObjectInfoDlgTest, AnObjectArrivingOverUnsavedInputAsksFirst)
{
    // The open list can stay open beside a window opened another way; an
    // object opened from it must not overwrite what the operator typed.
    const struct {
        QMessageBox::StandardButton answer;
        const char* idInfo;
    } cases[] = {{QMessageBox::Cancel, "typed"}, {QMessageBox::No, "Lift 1"}};
    for (const auto& c : cases) {
        window->hide();
        window->OpenNewObject("12345678");
        Field("IdInfo")->setText("typed");
        Boxes boxes(c.answer);
        window->OnReply(MakeObject("11223344"));
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Add Object Info?"});
        EXPECT_EQ(Field("IdInfo")->text(), c.idInfo);
    }
}

TEST_F(ObjectInfoDlgTest, NoObjectsOrAnErrorOpensAnEmptyList)
{
    for (uint16_t result : {DBRES_OBJECT_NONE, DBRES_OBJECT_FIND_ERROR}) {
        auto reply = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
        reply->Result = result;
        window->OnReply(std::move(reply));
        ASSERT_NE(window->OpenList(), nullptr);
        EXPECT_EQ(window->OpenList()->List()->topLevelItemCount(), 0);
        EXPECT_TRUE(window->OpenList()->isVisible());
    }
    // At most one list.
    EXPECT_EQ(window->parentWidget(), nullptr);
    int lists = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        lists += dynamic_cast<COpenObjectInfoDlg*>(top) != nullptr && top->isVisible() ? 1 : 0;
    EXPECT_EQ(lists, 1);
}

TEST_F(ObjectInfoDlgTest, AnswersForChildDialogsAreDroppedWhenNoneIsOpen)
{
    for (uint16_t type : {DBMSG_CUSTOMER_INFO, DBMSG_MAIL_INFO, DBMSG_SMS_NUM_INFO}) {
        auto reply = std::make_unique<CDatabaseMsg>(type);
        reply->Result = DBRES_INFO_FOUND_ALL;
        window->OnReply(std::move(reply));
    }
    window->OnReply(nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(sent.empty());
}

// ---------------------------------------------------------------------------
// Limits and the ID code filter

TEST_F(ObjectInfoDlgTest, FieldsTakeNoMoreCharactersThanTheirLimit)
{
    window->OpenNewObject("");
    const struct {
        const char* name;
        int limit;
    } fields[] = {
        {"PhoneNumber", 20}, {"IdInfo", 255},      {"Address", 255},   {"MailAddrTech", 510},
        {"SmsNumTech", 255}, {"MailAddrEmg", 510}, {"SmsNumEmg", 255}, {"ElevatorType", 255},
    };
    // A character beyond the basic plane is two UTF-16 units and one character.
    const QString wide = QString::fromUcs4(U"\U0001F6D7");
    for (const auto& f : fields) {
        SCOPED_TRACE(f.name);
        QLineEdit* field = Field(f.name);
        field->clear();
        field->insert(Repeat("a", f.limit + 5));
        EXPECT_EQ(Chars(field->text()), f.limit);
        field->clear();
        field->insert(Repeat(wide, f.limit + 3));
        EXPECT_EQ(Chars(field->text()), f.limit);
        EXPECT_EQ(field->text(), Repeat(wide, f.limit));
        // Typing into a full field adds nothing, wherever the cursor is.
        field->setCursorPosition(2);
        QTest::keyClicks(field, "b");
        EXPECT_EQ(field->text(), Repeat(wide, f.limit));
    }
    auto* notes = Field<QPlainTextEdit>("Notes");
    notes->insertPlainText(Repeat(wide, 600));
    EXPECT_EQ(Chars(notes->toPlainText()), 510);
    EXPECT_EQ(Field<QSpinBox>("Days")->maximum(), 99);
    EXPECT_EQ(Field<QSpinBox>("Days")->minimum(), 0);
}

TEST_F(ObjectInfoDlgTest, StoredLongTextsAreShownAndSavedWhole)
{
    const QString wide = QString::fromUcs4(U"\U0001F6D7");
    auto record = MakeObject("11223344");
    record->IdInfo = Repeat(wide, 255).toStdString();
    record->MailAddrTech = (Repeat("m", 250) + "@" + Repeat("d", 259)).toStdString();
    record->Notes = (Repeat(wide, 500) + Repeat("n", 10)).toStdString();
    const std::string idInfo = record->IdInfo;
    const std::string mail = record->MailAddrTech;
    const std::string notes = record->Notes;
    window->FindObject("11223344", false);
    window->OnReply(std::move(record));
    sent.clear();
    EXPECT_FALSE(window->IsChanged());
    window->SaveCommand();
    auto* saved = Sent<CObjectInfoMsg>(0);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->IdInfo, idInfo);
    EXPECT_EQ(saved->MailAddrTech, mail);
    EXPECT_EQ(saved->Notes, notes);
}

TEST_F(ObjectInfoDlgTest, IdCodeFilterRefusesWhatCanNeverBeValid)
{
    const struct {
        const char* start;  // put in by the program
        const char* typed;
        const char* result;
    } cases[] = {
        {"", "12345678", "12345678"},
        {"", "123456789", "12345678"},  // the ninth digit without "+"
        {"", "+4670123456789", "+4670123456789"},
        {"", "12a3", "123"},    // letters never
        {"", "+46+7", "+467"},  // one "+", at the front
        {"", "12 34", "1234"},
        {"", "+123456789012345678901", "+1234567890123456789"},  // 20 characters
        {"AB12", "3", "AB123"},                                  // a code from an alarm stays as it came
        {"AB12", "C", "AB12"},                                   // but gets no worse
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " + " + c.typed);
        window->hide();
        window->OpenNewObject(c.start);
        QLineEdit* field = Field("IdCode");
        EXPECT_EQ(field->text(), c.start);
        field->end(false);
        QTest::keyClicks(field, c.typed);
        EXPECT_EQ(field->text(), c.result);
    }

    // Wrong characters of a given code can be deleted one by one.
    window->hide();
    window->OpenNewObject("AB12");
    QLineEdit* field = Field("IdCode");
    field->home(false);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->text(), "12");
    // Taking the "+" from a long number would leave too many digits.
    field->setText("+1234567890");
    field->home(false);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->text(), "+1234567890");
}

// ---------------------------------------------------------------------------
// Keyboard and tooltips

TEST_F(ObjectInfoDlgTest, ReturnInAFieldNeitherAddsNorSaves)
{
    FillValidNew();
    for (const char* name : {"IdCode", "IdInfo", "PhoneNumber", "ElevatorType"}) {
        Field(name)->setFocus();
        QTest::keyClick(Field(name), Qt::Key_Return);
        QTest::keyClick(Field(name), Qt::Key_Enter);
    }
    EXPECT_TRUE(sent.empty());
    QPushButton* add = Button("IDC_OBJECT_INFO_ADD");
    add->setFocus();
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(ObjectInfoDlgTest, TabGoesThroughTheWindowInReadingOrder)
{
    window->OpenNewObject("");
    const char* const order[] = {
        "IdCode",
        "PhoneNumber",
        "IdInfo",
        "Address",
        "Days",
        "TestAlarmOnly",
        "AlarmPopUpEnabled",
        "ElevatorType",
        "Notes",
        "MailAddrTech",
        "MailAddrTechButton",
        "SmsNumTech",
        "SmsNumTechButton",
        "MailAddrEmg",
        "MailAddrEmgButton",
        "SmsNumEmg",
        "SmsNumEmgButton",
        "Customer",
        "CustomerButton",
        "CustomerInfo",
        "IDC_OBJECT_INFO_NEW",
        "IDC_OBJECT_INFO_ADD",
        "IDC_OBJECT_INFO_CLOSE",
    };
    Field("IdCode")->setFocus();
    EXPECT_EQ(FocusName(), order[0]);
    // Save, Copy and Delete are disabled in new mode and skipped.
    for (size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(FocusName().toStdString(), order[i]) << "after " << order[i - 1];
    }
}

TEST_F(ObjectInfoDlgTest, TooltipsFollowTheLanguageWhenTheyShow)
{
    window->OpenNewObject("");
    QLineEdit* field = Field("IdCode");
    const auto tipOf = [](QWidget* widget) {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(widget, &help);
        return QToolTip::text();
    };
    EXPECT_EQ(tipOf(field), "P100 Code with 8 digits or Telephone number starting with '+' and country code");
    ASSERT_TRUE(CDictionary::Instance().SetLanguage("de"));
    EXPECT_EQ(tipOf(field), "8-stelliger P100-Code oder Telefonnummer beginnend mit '+' und Ländervorwahl");
    ASSERT_TRUE(CDictionary::Instance().SetLanguage("en"));
    EXPECT_EQ(tipOf(Field<QPlainTextEdit>("Notes")->viewport()), "Common user notes associated with the object");
    EXPECT_EQ(tipOf(Button("SmsNumEmgButton")), "Opens dialog for selecting, adding and editing SMS numbers");
    QToolTip::hideText();
}

// ---------------------------------------------------------------------------
// Customer and recipient dialogs

TEST_F(ObjectInfoDlgTest, CustomerButtonTakesTheChosenCustomer)
{
    ShowExisting("11223344");
    bool requested = false;
    OnModal<CCustomerInfoDlg> pick([this, &requested](CCustomerInfoDlg& dialog) {
        // The dialog asks for every customer; the answer reaches it through
        // the object window.
        auto* request = Sent<CCustomerInfoReqMsg>(sent.size() - 1);
        requested = request != nullptr && request->GetType() == DBMSG_FIND_CUSTOMER_INFO;
        auto all = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
        all->Result = DBRES_INFO_FOUND_ALL;
        all->Name = "ACME";
        all->Info = "Call before visits";
        auto other = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
        other->Name = "Lifts Ltd";
        other->Info = "Night service";
        all->Next = std::move(other);
        window->OnReply(std::move(all));
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("CustomerList"));
        ASSERT_NE(list, nullptr);
        list->setCurrentIndex(list->findText("Lifts Ltd"));
        auto found = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
        found->Result = DBRES_INFO_FOUND_KEY;
        found->Name = "Lifts Ltd";
        found->Info = "Night service";
        window->OnReply(std::move(found));
        dialog.findChild<QPushButton*>(QStringLiteral("IDC_CUSTOMER_INFO_SELECT"))->click();
    });
    Button("CustomerButton")->click();
    EXPECT_TRUE(pick.done);
    EXPECT_TRUE(requested);
    EXPECT_EQ(Field("Customer")->text(), "Lifts Ltd");
    EXPECT_EQ(Field<QPlainTextEdit>("CustomerInfo")->toPlainText(), "Night service");
    EXPECT_TRUE(window->IsChanged());
}

TEST_F(ObjectInfoDlgTest, RecipientButtonsOpenTheirModeAndTakeTheList)
{
    const struct {
        const char* button;
        const char* field;
        bool sms;
        const char* start;
        const char* result;
    } cases[] = {
        {"MailAddrTechButton", "MailAddrTech", false, "a@b.se,c@d.se", "a@b.se; c@d.se"},
        {"SmsNumTechButton", "SmsNumTech", true, "+4670;+4671", "+4670; +4671"},
        {"MailAddrEmgButton", "MailAddrEmg", false, "x@y.se", "x@y.se"},
        {"SmsNumEmgButton", "SmsNumEmg", true, "+4672,,+4673", "+4672; ; +4673"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        window->hide();
        ShowExisting("11223344");
        Field(c.field)->setText(c.start);
        bool askedRight = false;
        OnModal<CMailSmsNumInfoDlg> pick([&](CMailSmsNumInfoDlg& dialog) {
            if (c.sms) {
                auto* request = Sent<CSmsNumInfoReqMsg>(sent.size() - 1);
                askedRight = request != nullptr && request->ReplyType == DBMSG_SMS_NUM_INFO;
                auto none = std::make_unique<CSmsNumInfoMsg>(DBMSG_SMS_NUM_INFO);
                none->Result = DBRES_INFO_NONE;
                window->OnReply(std::move(none));
            } else {
                askedRight = Sent<CMailInfoReqMsg>(sent.size() - 1) != nullptr;
                auto none = std::make_unique<CMailInfoMsg>(DBMSG_MAIL_INFO);
                none->Result = DBRES_INFO_NONE;
                window->OnReply(std::move(none));
            }
            auto* buttons = dialog.findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            for (QAbstractButton* button : buttons->buttons()) {
                if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
                    button->click();
            }
        });
        Button(c.button)->click();
        EXPECT_TRUE(pick.done);
        EXPECT_TRUE(askedRight);
        EXPECT_EQ(Field(c.field)->text(), c.result);
    }
}

// ---------------------------------------------------------------------------
// Against a real database file

class ObjectInfoDbTest : public ObjectInfoDlgTest {
protected:
    void SetUp() override
    {
        folder = dir.Path().string() + "/";
        CreateStationDatabase(folder);
        database.Open(folder + DbSchema::kDatabaseFileName);
        handler.SetErrorReporter(&errors);
        handler.SetOwner(&owner);
        handler.Configure(&database, 360, 0, 0);
        window = std::make_unique<CObjectInfoDlg>([this](std::unique_ptr<CMsg> msg) {
            ++requests;
            handler.ExecuteRequest(std::move(msg));
        });
        window->SetBeep([this] { ++beeps; });
    }

    // The document's dispatch: every answer to the window.
    void Deliver()
    {
        Boxes boxes;
        while (std::unique_ptr<CMsg> reply = owner.Take())
            window->OnReply(std::move(reply));
        for (const std::string& text : boxes.Texts())
            told.push_back(text);
    }

    void Store(std::unique_ptr<CObjectInfoMsg> object)
    {
        object->SetType(DBMSG_ADD_OBJECT_INFO);
        handler.ExecuteRequest(std::move(object));
        auto reply = owner.TakeAs<CDatabaseMsg>();
        ASSERT_NE(reply, nullptr);
        ASSERT_EQ(reply->Result, DBRES_OBJECT_ADDED);
    }

    std::unique_ptr<CObjectInfoMsg> Read(const std::string& idCode)
    {
        auto request = std::make_unique<CObjectInfoReqMsg>(DBMSG_FIND_OBJECT_INFO);
        request->Kind = OBJECT_KIND_BY_ID;
        request->Key = idCode;
        request->ReplyType = DBMSG_OBJECT_INFO;
        handler.ExecuteRequest(std::move(request));
        return owner.TakeAs<CObjectInfoMsg>();
    }

    ScopedTimeZone zone;
    TempDir dir;
    std::string folder;
    CDatabase database;
    RecordingErrors errors;
    RecordingOwner owner;
    CDatabaseHandler handler;
    int requests = 0;
    std::vector<std::string> told;
};

TEST_F(ObjectInfoDbTest, SavingSetsTheLastTestAlarmToTheTimeOfSaving)
{
    auto stored = MakeObject("11223344");
    stored->LastTestAlarm = COleDateTime(2020, 1, 2, 3, 4, 5);
    Store(std::move(stored));

    SettableNow now(COleDateTime(2024, 6, 1, 12, 0, 0));
    window->FindObject("11223344", false);
    Deliver();
    ASSERT_TRUE(window->IsEditMode());

    now.Set(COleDateTime(2024, 6, 1, 14, 30, 15));
    QTest::keyClicks(Field("Address"), " 7");
    window->SaveCommand();
    Deliver();
    EXPECT_EQ(told, std::vector<std::string>{"Data saved!"});

    auto row = Read("11223344");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->LastTestAlarm.ToIso(), "2024-06-01 14:30:15");
    EXPECT_EQ(row->Address, "Main Street 5 7");
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(ObjectInfoDbTest, AddedObjectStartsItsSupervisionNowAndKeepsLongFieldsWhole)
{
    SettableNow now(COleDateTime(2024, 6, 2, 8, 15, 0));
    const QString wide = QString::fromUcs4(U"\U0001F6D7");
    window->OpenNewObject("+46812345");
    Field("IdInfo")->setText(Repeat(wide, 255));
    Field("MailAddrEmg")->setText(Repeat("m", 250) + "@" + Repeat("d", 259));
    Field<QPlainTextEdit>("Notes")->setPlainText(Repeat(wide, 505) + "\nabcd");
    const std::string mail = Field("MailAddrEmg")->text().toStdString();
    const std::string notes = Field<QPlainTextEdit>("Notes")->toPlainText().toStdString();
    Button("IDC_OBJECT_INFO_ADD")->click();
    Deliver();
    EXPECT_EQ(told, std::vector<std::string>{"Object saved!"});

    auto row = Read("+46812345");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Result, DBRES_OBJECT_FOUND_ID);
    EXPECT_EQ(row->LastTestAlarm.ToIso(), "2024-06-02 08:15:00");
    EXPECT_EQ(row->IdInfo, Repeat(wide, 255).toStdString());
    EXPECT_EQ(row->MailAddrEmg, mail);
    EXPECT_EQ(row->Notes, notes);
    EXPECT_EQ(row->AlarmPopUpEnabled, 1);
}

TEST_F(ObjectInfoDbTest, FileOpenPickCloseBringsTheListBackWithThatObject)
{
    Store(MakeObject("30000001", "Alpha"));
    Store(MakeObject("30000002", "Beta"));
    Store(MakeObject("30000003", "Gamma"));

    window->OpenFromList();
    Deliver();
    COpenObjectInfoDlg* list = window->OpenList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->List()->topLevelItemCount(), 3);
    list->List()->topLevelItem(1)->setSelected(true);
    list->findChild<QPushButton*>(QStringLiteral("IDC_OPEN_OBJECT_INFO_OPEN"))->click();
    EXPECT_EQ(window->OpenList(), nullptr);
    Deliver();
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(Field("IdCode")->text(), "30000002");

    Button("IDC_OBJECT_INFO_CLOSE")->click();
    EXPECT_FALSE(window->isVisible());
    Deliver();
    list = window->OpenList();
    ASSERT_NE(list, nullptr);
    const QList<QTreeWidgetItem*> selected = list->List()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0]->text(0), "30000002");

    // Cancel ends the round: an object opened another way does not bring the
    // list back.
    list->reject();
    EXPECT_EQ(window->OpenList(), nullptr);
    window->FindObject("30000003", false);
    Deliver();
    ASSERT_TRUE(window->isVisible());
    const int before = requests;
    Button("IDC_OBJECT_INFO_CLOSE")->click();
    EXPECT_EQ(requests, before);
    Deliver();
    EXPECT_EQ(window->OpenList(), nullptr);
}

TEST_F(ObjectInfoDbTest, DuplicatesAreToldAndKeepTheInput)
{
    Store(MakeObject("30000001", "Alpha"));
    window->OpenNewObject("30000001");
    Field("IdInfo")->setText("Second");
    Button("IDC_OBJECT_INFO_ADD")->click();
    Deliver();
    EXPECT_EQ(told, std::vector<std::string>{
                        "ID-Code '30000001' already exists, delete the current item or use another ID-Code"});
    EXPECT_EQ(Field("IdInfo")->text(), "Second");
    EXPECT_TRUE(window->IsChanged());
    EXPECT_EQ(FocusName(), "IdCode");
}

}  // namespace
