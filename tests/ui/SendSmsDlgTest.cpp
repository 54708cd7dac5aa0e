// The send-SMS window: the number checks, the posted row and one row per
// number, the 15-second time-out on the fake clock, Clear and Close, the
// length limits of the two fields, the recipient dialog with its answers,
// and the test mail address dialog.

#include "BoxAnswerer.h"
#include "CellFit.h"
#include "ui/SendSmsDlg.h"
#include "ui/TestMailAddrDlg.h"

#include "core/TextLookup.h"
#include "db/SmsNumInfoMsg.h"
#include "dictionary/Dictionary.h"
#include "gsm/GsmMgr.h"
#include "support/FakeTickSource.h"
#include "ui/MailSmsNumInfoDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string En(const std::string& key)
{
    return LookupText(key);
}

class SendSmsDlgTest : public ::testing::Test {
protected:
    SendSmsDlgTest()
    {
        window.SetBeep([this](BeepKind kind) { beeps.push_back(kind); });
    }

    static std::unique_ptr<CGsmHandlerMsg> Report(int16_t code, const std::string& number)
    {
        auto result = std::make_unique<CGsmHandlerMsg>(GSM_STATUS);
        result->code = code;
        result->requestId = SENDSMS_REQUEST_ID;
        result->recipients = number;
        return result;
    }

    // The status rows, newest first.
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        QTreeWidget* list = window.StatusList();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.push_back(list->topLevelItem(i)->text(0).toStdString());
        return rows;
    }

    void Type(const QString& numbers, const QString& text)
    {
        window.RecipientsField()->setText(numbers);
        window.MessageField()->setPlainText(text);
    }

    FakeTickSource clock{1000};
    std::vector<std::pair<std::string, std::string>> sent;  // message, numbers
    std::vector<std::unique_ptr<CMsg>> requests;
    std::vector<BeepKind> beeps;
    CSendSmsDlg window{
        [this](const std::string& message, const std::string& numbers) { sent.emplace_back(message, numbers); },
        [this](std::unique_ptr<CMsg> request) { requests.push_back(std::move(request)); }};
};

TEST_F(SendSmsDlgTest, IsBuiltHiddenWithItsFixedCaptionTextsAndColumns)
{
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Send SMS Message");
    const std::pair<const char*, const char*> labelled[] = {
        {"IDC_SEND_SMS_SEND", "&Send"}, {"IDC_SEND_SMS_CLEAR", "C&lear"}, {"IDC_SEND_SMS_CLOSE", "&Close"}};
    for (const auto& [key, text] : labelled) {
        auto* button = window.findChild<QPushButton*>(key);
        ASSERT_NE(button, nullptr) << key;
        EXPECT_EQ(button->text(), text);
    }
    EXPECT_EQ(window.findChild<QPushButton*>("RecipientsButton")->text(), "...");
    EXPECT_EQ(window.findChild<QLabel*>("IDC_SEND_SMS_SMS_NO")->text(), "SMS No:");
    EXPECT_EQ(window.findChild<QLabel*>("IDC_SEND_SMS_MESSAGE")->text(), "Message:");
    EXPECT_EQ(window.findChild<QGroupBox*>("IDC_SEND_SMS_SMS_MESSAGE")->title(), "SMS Message");
    EXPECT_EQ(window.findChild<QGroupBox*>("IDC_SEND_SMS_SEND_STATUS")->title(), "Send Status");
    EXPECT_EQ(window.findChild<QLineEdit*>("Recipients"), window.RecipientsField());
    EXPECT_EQ(window.findChild<QPlainTextEdit*>("Message"), window.MessageField());

    QTreeWidget* list = window.findChild<QTreeWidget*>("StatusList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->headerItem()->text(0), "Status");
    EXPECT_EQ(list->headerItem()->text(1), "Time");
    EXPECT_GE(list->columnWidth(0), 270);
    EXPECT_GE(list->columnWidth(1), 80);
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_EQ(window.focusWidget(), window.RecipientsField());
}

TEST_F(SendSmsDlgTest, AStatusTimeIsHoursMinutesSecondsAndMilliseconds)
{
    EXPECT_EQ(CSendSmsDlg::FormatTime(QTime(7, 5, 3, 9)), "07:05:03:009");
    EXPECT_EQ(CSendSmsDlg::FormatTime(QTime(23, 59, 59, 999)), "23:59:59:999");
    Type("+46701234567", "x");
    window.OnSend();
    const QString shown = window.StatusList()->topLevelItem(0)->text(1);
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d$").match(shown).hasMatch()) << shown.toStdString();
}

// The titles and a whole time are shown in every language and font, and the
// shown window follows the language chosen meanwhile.
class SendSmsFitTest : public SendSmsDlgTest, public ::testing::WithParamInterface<cellfit::FitCase> {
protected:
    cellfit::ScopedFitCase fit{GetParam()};
};

TEST_P(SendSmsFitTest, TitlesTimesAndRowsAreShownWhole)
{
    CSendSmsDlg shown({}, {});
    shown.SetBeep([] {});
    shown.ShowWindow();
    QTreeWidget& list = *shown.StatusList();
    EXPECT_EQ(shown.windowTitle(), "Send SMS Message");
    EXPECT_EQ(list.headerItem()->text(0).toStdString(), LookupText("IDS_SENDSMSDLG_MSG_1"));
    EXPECT_EQ(shown.SendButton()->text().toStdString(), LookupText("IDC_SEND_SMS_SEND"));
    for (int column = 0; column < 2; ++column)
        EXPECT_FALSE(cellfit::TitleCut(list, column)) << column;
    CGsmHandlerMsg failed(GSM_STATUS);
    failed.code = GHM_STATUS_SMS_FAILED;
    failed.recipients = "+461234567890123";
    shown.OnSendResult(failed);
    QTreeWidgetItem* row = list.topLevelItem(0);
    EXPECT_FALSE(cellfit::CellTextCut(list, row, 0)) << row->text(0).toStdString();
    for (const QTime time : {QTime(12, 28, 48, 100), QTime(20, 58, 58, 888)}) {
        row->setText(1, CSendSmsDlg::FormatTime(time));
        EXPECT_FALSE(cellfit::CellTextCut(list, row, 1)) << row->text(1).toStdString();
    }
    shown.OnClose();
}

INSTANTIATE_TEST_SUITE_P(Languages, SendSmsFitTest, ::testing::ValuesIn(cellfit::kFitCases),
                         [](const auto& info) { return cellfit::FitCaseName(info.param); });

// The numbers are checked before anything is sent; a refused text leaves
// the focus on the numbers.
struct NumberCase {
    const char* name;
    const char* numbers;
    const char* refusal;  // nullptr: sent
};

const NumberCase kNumberCases[] = {
    {"TwoNumbersWithAndWithoutPlus", "+46701234567; 0701234567", nullptr},
    {"CommaSeparated", "+46701234567,0701234567", nullptr},
    {"TrailingSeparator", "+46701234567;", nullptr},
    {"HyphenAmongDigits", "070-1234567", "IDS_SENDSMSDLG_MSG_4"},
    {"HyphenInSecondNumber", "+46701234567; 070-1234567", "IDS_SENDSMSDLG_MSG_4"},
    {"TwoSeparatorsInARow", "+46701234567;;0701234567", "IDS_SENDSMSDLG_MSG_4"},
    {"LetterInNumber", "+4670123a567", "IDS_SENDSMSDLG_MSG_4"},
    {"Empty", "", "IDS_SENDSMSDLG_MSG_5"},
    // Blanks are no number: sent, they would only end in the time-out.
    {"OnlyBlanks", "   ", "IDS_SENDSMSDLG_MSG_5"},
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendSmsNumberTest : public SendSmsDlgTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(SendSmsNumberTest, ChecksTheNumbersBeforeSending)
{
    const NumberCase& c = GetParam();
    Type(QString::fromUtf8(c.numbers), "Hello");
    window.MessageField()->setFocus();
    BoxAnswerer answer(QMessageBox::Ok);
    window.OnSend();
    if (c.refusal == nullptr) {
        EXPECT_TRUE(answer.asked.empty());
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].first, "Hello");
        EXPECT_EQ(sent[0].second, c.numbers);
        EXPECT_FALSE(window.SendButton()->isEnabled());
        EXPECT_EQ(Rows(), std::vector<std::string>{En("IDS_SENDSMSDLG_MSG_3")});
    } else {
        EXPECT_EQ(answer.asked, std::vector<std::string>{En(c.refusal)});
        EXPECT_TRUE(sent.empty());
        EXPECT_TRUE(Rows().empty());
        EXPECT_TRUE(window.SendButton()->isEnabled());
        EXPECT_FALSE(window.IsSendTimerRunning());
        EXPECT_EQ(window.focusWidget(), window.RecipientsField());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SendSmsNumberTest, ::testing::ValuesIn(kNumberCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendSmsDlgTest, TwoNumbersGiveThePostedRowThenOneRowPerNumber)
{
    Type("+46701111111; 0702222222", "Line one\nLine two");
    window.OnSend();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, "Line one\nLine two");
    EXPECT_FALSE(window.SendButton()->isEnabled());
    EXPECT_TRUE(window.IsSendTimerRunning());

    window.OnSendResult(*Report(GHM_STATUS_SMS_SENT, "+46701111111"));
    EXPECT_TRUE(window.SendButton()->isEnabled());
    EXPECT_FALSE(window.IsSendTimerRunning());
    window.OnSendResult(*Report(GHM_STATUS_SMS_FAILED, "0702222222"));
    EXPECT_TRUE(window.SendButton()->isEnabled());

    EXPECT_EQ(Rows(), (std::vector<std::string>{"Error, Message to no: 0702222222 could not be sent!",
                                                "Message to no: +46701111111 sent to GSM Network!",
                                                En("IDS_SENDSMSDLG_MSG_3")}));
    EXPECT_EQ(beeps, (std::vector<BeepKind>{BeepKind::Default, BeepKind::Exclamation}));
    // The first result stopped the timer: 15 seconds later nothing times out.
    clock.Advance(CSendSmsDlg::kSendTimeoutMs);
    window.OnSendTimer();
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(SendSmsDlgTest, NoResultWithinFifteenSecondsTimesOutAndALateResultStillCounts)
{
    Type("+46701111111", "Test");
    window.OnSend();
    window.OnClose();  // the operator turned to other windows

    clock.Advance(CSendSmsDlg::kSendTimeoutMs - 1);
    window.OnSendTimer();
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_FALSE(window.SendButton()->isEnabled());
    EXPECT_TRUE(beeps.empty());

    clock.Advance(1);
    window.OnSendTimer();
    EXPECT_EQ(Rows(), (std::vector<std::string>{En("IDS_SENDSMSDLG_MSG_8"), En("IDS_SENDSMSDLG_MSG_3")}));
    EXPECT_TRUE(window.SendButton()->isEnabled());
    EXPECT_FALSE(window.IsSendTimerRunning());
    EXPECT_EQ(beeps, std::vector<BeepKind>{BeepKind::Exclamation});
    EXPECT_TRUE(window.isVisible());  // back in front

    // Only once.
    clock.Advance(CSendSmsDlg::kSendTimeoutMs);
    window.OnSendTimer();
    EXPECT_EQ(Rows().size(), 2u);

    window.OnClose();
    window.OnSendResult(*Report(GHM_STATUS_SMS_SENT, "+46701111111"));
    EXPECT_EQ(Rows().front(), "Message to no: +46701111111 sent to GSM Network!");
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_FALSE(window.isVisible());  // a result does not pop the window up
}

TEST_F(SendSmsDlgTest, TheWindowLooksAtItsTimerByItself)
{
    Type("+46701111111", "Test");
    window.OnSend();
    clock.Advance(CSendSmsDlg::kSendTimeoutMs);
    // The window's own poll notices the time-out; no test call involved.
    for (int i = 0; i < 200 && Rows().size() < 2; ++i)
        QTest::qWait(10);
    EXPECT_EQ(Rows().front(), En("IDS_SENDSMSDLG_MSG_8"));
}

TEST_F(SendSmsDlgTest, ThePlainBeepHearsBothKinds)
{
    int count = 0;
    window.SetBeep([&count] { ++count; });
    window.OnSendResult(*Report(GHM_STATUS_SMS_SENT, "+1"));
    window.OnSendResult(*Report(GHM_STATUS_SMS_FAILED, "+2"));
    EXPECT_EQ(count, 2);
}

TEST_F(SendSmsDlgTest, ClearEmptiesTheMessageAndKeepsTheNumbers)
{
    window.ShowWindow();
    Type("+46701111111", "Old text");
    QTest::keyClicks(window.RecipientsField(), "; 0702222222");
    window.OnClear();
    EXPECT_EQ(window.RecipientsField()->text(), "+46701111111; 0702222222");
    EXPECT_TRUE(window.MessageField()->toPlainText().isEmpty());
    EXPECT_EQ(window.focusWidget(), window.MessageField());
    window.OnClose();
}

TEST_F(SendSmsDlgTest, CloseHidesAndReopeningShowsTheEarlierRows)
{
    window.ShowWindow();
    EXPECT_TRUE(window.isVisible());
    Type("+46701111111", "Text");
    window.OnSend();
    window.OnSendResult(*Report(GHM_STATUS_SMS_SENT, "+46701111111"));
    window.MessageField()->setFocus();

    window.findChild<QPushButton*>("IDC_SEND_SMS_CLOSE")->click();
    EXPECT_FALSE(window.isVisible());
    window.ShowWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Rows().size(), 2u);
    EXPECT_EQ(window.RecipientsField()->text(), "+46701111111");
    EXPECT_EQ(window.MessageField()->toPlainText(), "Text");
    EXPECT_EQ(window.focusWidget(), window.RecipientsField());

    // Escape hides it the same way.
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(SendSmsDlgTest, ReturnPressesOnlyTheFocusedButtonAndGoesOnFromTheNumbers)
{
    window.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.RecipientsField()->setFocus();
    QTest::keyClicks(window.RecipientsField(), "+46701111111");
    QTest::keyClick(window.RecipientsField(), Qt::Key_Return);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(window.focusWidget(), window.MessageField());
    // Enter in the message is a line break of the SMS.
    QTest::keyClicks(window.MessageField(), "a");
    QTest::keyClick(window.MessageField(), Qt::Key_Return);
    QTest::keyClicks(window.MessageField(), "b");
    EXPECT_EQ(window.MessageField()->toPlainText(), "a\nb");
    // Return in the list presses nothing; on a button it presses that one.
    window.StatusList()->setFocus();
    QTest::keyClick(window.StatusList(), Qt::Key_Return);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(window.RecipientDialog(), nullptr);
    bool picked = false;
    window.SetRecipientRunner([&picked](CMailSmsNumInfoDlg&) { return picked = true, false; });
    window.findChild<QPushButton*>("RecipientsButton")->setFocus();
    QTest::keyClick(window.focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(picked);
    // The mnemonic presses the button as an animated click.
    QTest::keyClick(window.MessageField(), Qt::Key_S, Qt::AltModifier);
    for (int i = 0; i < 100 && sent.empty(); ++i)
        QTest::qWait(10);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, "a\nb");
    window.OnClose();
}

// The message holds 160 characters (code points) whatever they are; what a
// keystroke or a paste adds beyond that is taken back, never half a
// character.
struct LimitCase {
    const char* name;
    QString character;
};

void PrintTo(const LimitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SendSmsLimitTest : public SendSmsDlgTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(SendSmsLimitTest, TheMessageHoldsOneHundredSixtyCharacters)
{
    const QString c = GetParam().character;
    QPlainTextEdit* field = window.MessageField();
    window.ShowWindow();
    field->setFocus();
    QString full;
    for (int i = 0; i < 160; ++i)
        full += c;
    // Pasted at once: 161 become 160.
    field->insertPlainText(full + c);
    EXPECT_EQ(field->toPlainText(), full);
    // Typed at the end or in the middle: refused.
    field->moveCursor(QTextCursor::End);
    QTest::keyClicks(field, "x");
    EXPECT_EQ(field->toPlainText(), full);
    QTextCursor cursor = field->textCursor();
    cursor.setPosition(c.size() * 80);
    field->setTextCursor(cursor);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->toPlainText(), full);
    // One taken away makes room for one again, where it is typed.
    field->moveCursor(QTextCursor::Start);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, "y");
    EXPECT_EQ(field->toPlainText(), "y" + full.mid(c.size()));
    // Pasted into the middle: only what fits, whole characters.
    field->clear();
    field->insertPlainText(full.left(c.size() * 150));
    cursor = field->textCursor();
    cursor.setPosition(c.size() * 10);
    field->setTextCursor(cursor);
    field->insertPlainText("0123456789ABC");
    EXPECT_EQ(field->toPlainText(), full.left(c.size() * 10) + "0123456789" + full.left(c.size() * 140));
    window.OnClose();
}

INSTANTIATE_TEST_SUITE_P(Characters, SendSmsLimitTest,
                         ::testing::Values(LimitCase{"Ascii", "a"}, LimitCase{"Euro", QString::fromUtf8("€")},
                                           LimitCase{"Emoji", QString::fromUtf8("\U0001F600")},
                                           LimitCase{"LineBreak", "\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendSmsDlgTest, ALineBreakCountsAsOneCharacterAndIsSentAsItIs)
{
    QString text;
    for (int i = 0; i < 80; ++i)
        text += "a\n";
    Type("+46701111111", text);
    EXPECT_EQ(window.MessageField()->toPlainText(), text);
    window.OnSend();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, text.toStdString());
}

TEST_F(SendSmsDlgTest, TheNumbersHoldTwoHundredFiftyFiveCharacters)
{
    QLineEdit* field = window.RecipientsField();
    window.ShowWindow();
    field->setFocus();
    const QString full(255, QLatin1Char('1'));
    QTest::keyClicks(field, full + "2");
    EXPECT_EQ(field->text(), full);
    window.OnClose();
}

TEST_F(SendSmsDlgTest, ALongerListFromTheRegisterStaysWholeAndOnlyShrinks)
{
    // A cut list would send to a wrong number.
    QString list;
    for (int i = 0; i < 20; ++i)
        list += QString("+467011111%1; ").arg(10 + i);
    list.chop(2);
    ASSERT_GT(list.size(), 255);
    QLineEdit* field = window.RecipientsField();
    window.ShowWindow();
    window.SetRecipients(list.toStdString());
    EXPECT_EQ(field->text(), list);
    field->setFocus();
    field->end(false);
    QTest::keyClicks(field, "9");
    EXPECT_EQ(field->text(), list);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), list.chopped(1));
    window.OnClose();
}

// The recipient dialog opens in SMS mode over the window, gets the type-35
// answers while it runs and hands its list to the numbers field on OK.
TEST_F(SendSmsDlgTest, TheRecipientDialogGetsTheAnswersWhileItIsOpen)
{
    window.RecipientsField()->setText("+46701111111,+46702222222");
    bool ran = false;
    window.SetRecipientRunner([&](CMailSmsNumInfoDlg& dialog) {
        ran = true;
        EXPECT_EQ(window.RecipientDialog(), &dialog);
        EXPECT_EQ(dialog.parentWidget(), &window);
        EXPECT_EQ(dialog.windowTitle().toStdString(), En("IDS_MAILSMSNUMINFODLG_MSG_6"));

        auto all = std::make_unique<CSmsNumInfoMsg>(GSMMGR_MSG_SMS_NUM_REPLY);
        all->Result = 5;
        all->Name = "Service";
        all->Number = "+46703333333";
        window.OnSmsNumberReply(std::move(all));
        QApplication::processEvents();
        auto* stored = dialog.findChild<QTreeWidget*>("StoredList");
        EXPECT_NE(stored, nullptr);
        if (stored != nullptr) {
            EXPECT_EQ(stored->topLevelItemCount(), 1);
        }
        // The operator presses OK.
        for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>()) {
            for (QAbstractButton* button : box->buttons()) {
                if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
                    button->click();
            }
        }
        return static_cast<QDialog&>(dialog).result() == QDialog::Accepted;
    });
    window.findChild<QPushButton*>("RecipientsButton")->click();
    EXPECT_TRUE(ran);
    EXPECT_EQ(window.RecipientDialog(), nullptr);
    EXPECT_EQ(window.RecipientsField()->text(), "+46701111111; +46702222222");
}

TEST_F(SendSmsDlgTest, CancelInTheRecipientDialogKeepsTheNumbers)
{
    window.RecipientsField()->setText("+46701111111");
    window.SetRecipientRunner([](CMailSmsNumInfoDlg&) { return false; });
    window.OnChooseNumbers();
    EXPECT_EQ(window.RecipientsField()->text(), "+46701111111");
}

TEST_F(SendSmsDlgTest, AnAnswerWithNoRecipientDialogOpenIsDropped)
{
    auto answer = std::make_unique<CSmsNumInfoMsg>(GSMMGR_MSG_SMS_NUM_REPLY);
    answer->Result = 5;
    window.OnSmsNumberReply(std::move(answer));
    QApplication::processEvents();
    // An answer still queued when the window goes is deleted with it (the
    // leak checker watches both).
    {
        CSendSmsDlg gone({}, {});
        gone.OnSmsNumberReply(std::make_unique<CSmsNumInfoMsg>(GSMMGR_MSG_SMS_NUM_REPLY));
    }
    QApplication::processEvents();
    EXPECT_EQ(window.RecipientDialog(), nullptr);
}

// The test mail address dialog.
TEST(TestMailAddrDlgTest, ShowsItsTextsAndTakesTheAddressAsTypedOnOk)
{
    CTestMailAddrDlg dialog;
    EXPECT_EQ(dialog.windowTitle().toStdString(), En("IDD_TESTMAIL_ADDRESS_CAPTION"));
    EXPECT_EQ(dialog.findChild<QLabel*>("IDC_EVENTMSG_RECEIVE_ADDRESS")->text(), "Receive Address:");
    EXPECT_EQ(dialog.findChild<QPushButton*>("IDS_IDOK")->text(), "OK");
    EXPECT_EQ(dialog.findChild<QPushButton*>("IDS_IDCANCEL")->text(), "Cancel");
    QLineEdit* field = dialog.findChild<QLineEdit*>("ReceiveAddress");
    ASSERT_EQ(field, dialog.AddressField());

    bool shownInFront = false;
    QTimer::singleShot(0, &dialog, [&] {
        shownInFront = dialog.isVisible() && QApplication::activeModalWidget() == &dialog;
        // No rule applies here: what is typed is taken, blanks included.
        QTest::keyClicks(field, " service@example.com");
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(shownInFront);
    EXPECT_EQ(dialog.GetReceiveAddress(), " service@example.com");
}

TEST(TestMailAddrDlgTest, CancelGivesNoAddressAndTheFieldHoldsEightyCharacters)
{
    CTestMailAddrDlg dialog;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::keyClicks(dialog.AddressField(), QString(81, QLatin1Char('a')));
        EXPECT_EQ(dialog.AddressField()->text().size(), 80);
        QTest::keyClick(dialog.AddressField(), Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.GetReceiveAddress(), "");
}

// The test mail of the e-mail settings goes only to an address the operator
// confirmed.
TEST(TestMailAddrDlgTest, AskAndSendHandsOnOnlyAConfirmedAddress)
{
    const struct {
        const char* name;
        const char* typed;
        Qt::Key key;
        std::vector<std::string> sent;
    } cases[] = {
        {"confirmed", "ops@lift-service.test", Qt::Key_Return, {"ops@lift-service.test"}},
        {"cancelled", "ops@lift-service.test", Qt::Key_Escape, {}},
        {"empty", "", Qt::Key_Return, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> sent;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = dynamic_cast<CTestMailAddrDlg*>(QApplication::activeModalWidget())) {
                QTest::keyClicks(dialog->AddressField(), QString::fromUtf8(c.typed));
                QTest::keyClick(dialog->AddressField(), c.key);
            }
        });
        poll.start();
        const bool handedOn =
            CTestMailAddrDlg::AskAndSend(nullptr, [&](const std::string& recipient) { sent.push_back(recipient); });
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(handedOn, !c.sent.empty());
    }
}

TEST(TestMailAddrDlgTest, FollowsTheLanguage)
{
    CDictionary::Instance().SetLanguage("de");
    CTestMailAddrDlg dialog;
    CDictionary::Instance().SetLanguage("en");
    EXPECT_EQ(dialog.findChild<QPushButton*>("IDS_IDCANCEL")->text(), "Abbrechen");
    EXPECT_EQ(dialog.findChild<QLabel*>("IDC_EVENTMSG_RECEIVE_ADDRESS")->text(), "Empfangsadresse:");
}

}  // namespace
