// A new centre registers its first lift with the object window alone, and
// the station forwards that lift's alarms to the recipients typed there.
// The window works on the station's database file as it does inside the
// station (its requests run at once, the answers come back as messages);
// then the headless station starts on that file with the GSM-modem
// simulator and a real SMTP server, and a passenger's SMS raises the alarm.

#include "StationRig.h"

#include "../ui/BoxAnswerer.h"
#include "core/MsgReceiver.h"
#include "db/Database.h"
#include "db/DatabaseHandler.h"
#include "ui/ObjectInfoDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace e2e {
namespace {

// The document's inbox, as far as the window needs it: the answers of the
// database, handed to the window after each step.
class Answers : public CMsgReceiver {
public:
    void ReceiveMsg(std::unique_ptr<CMsg> msg) override
    {
        std::lock_guard<std::mutex> guard(lock);
        queue.push_back(std::move(msg));
    }
    void DeliverTo(CObjectInfoDlg& window)
    {
        for (;;) {
            std::unique_ptr<CMsg> msg;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (queue.empty())
                    return;
                msg = std::move(queue.front());
                queue.pop_front();
            }
            window.OnReply(std::move(msg));
        }
    }

private:
    std::mutex lock;
    std::deque<std::unique_ptr<CMsg>> queue;
};

void Type(QWidget& window, const char* field, const std::string& text)
{
    QWidget* control = window.findChild<QWidget*>(QString::fromLatin1(field));
    ASSERT_NE(control, nullptr) << field;
    control->setFocus();
    if (auto* line = qobject_cast<QLineEdit*>(control))
        line->clear();
    QTest::keyClicks(control, QString::fromStdString(text));
}

constexpr const char* kLift = "+46701112233";
const std::vector<std::string> kTechMail{"service@lifts.test", "night@lifts.test"};
constexpr const char* kTechSms = "+46700000007";

TEST(RegisterE2e, ALiftTypedIntoTheObjectWindowHasItsAlarmForwardedToTheRecipientsTypedThere)
{
    StationRig rig;
    rig.CreateDatabase();
    {
        CDatabase database;
        database.Open(rig.DatabaseFile());
        Answers answers;
        CDatabaseHandler handler;
        handler.SetOwner(&answers);
        handler.Configure(&database, 360, 0, 0);

        CObjectInfoDlg window([&](std::unique_ptr<CMsg> request) { handler.ExecuteRequest(std::move(request)); });
        window.OpenNewObject("");
        ASSERT_TRUE(window.isVisible());
        Type(window, "IdCode", kLift);
        Type(window, "IdInfo", "Lift B, town hall");
        Type(window, "Address", "Stora torget 1");
        Type(window, "MailAddrTech", kTechMail[0] + "; " + kTechMail[1]);
        Type(window, "SmsNumTech", kTechSms);
        Type(window, "MailAddrEmg", "rescue@lifts.test");
        Type(window, "SmsNumEmg", "+46700000099");

        BoxAnswerer ok(QMessageBox::Ok);
        auto* add = window.findChild<QAbstractButton*>(QStringLiteral("IDC_OBJECT_INFO_ADD"));
        ASSERT_NE(add, nullptr);
        add->click();
        answers.DeliverTo(window);
        EXPECT_EQ(ok.asked, std::vector<std::string>{"Object saved!"});
        window.hide();
    }

    rig.StartGsm();
    rig.StartMailServer();
    rig.StartStation();
    ASSERT_TRUE(rig.WaitStationReady());
    ASSERT_TRUE(rig.WaitGsmReady());
    EXPECT_EQ(rig.LiftValue(kLift, "IdInfo"), "Lift B, town hall");

    rig.gsm->Send(std::string("sms ") + kLift + " Passenger trapped in car");
    const auto rows = rig.WaitForAlarms(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].idInfo, "Lift B, town hall");
    EXPECT_EQ(rows[0].alarmType, 2);  // SMS alarm, for the technical recipients
    ASSERT_TRUE(rig.WaitForMail(1));
    EXPECT_EQ(rig.MailRecipients(1), kTechMail);
    const auto sms = rig.WaitForSms(1);
    ASSERT_EQ(sms.size(), 1u);
    EXPECT_EQ(sms[0].number, kTechSms);
    EXPECT_EQ(rig.StopStation(), 0) << rig.StationErrors();
}

}  // namespace
}  // namespace e2e
