#pragma once
// What the alarm list needs of the application document: the settings, the
// screen, the operator on duty, the database and the telephone handler, and
// the forwarding of an alarm by mail and SMS.

#include "core/Msg.h"
#include "core/SettingsValues.h"
#include "station/DocumentScreen.h"

#include <memory>
#include <string>
#include <vector>

class CAlarmInfoMsg;

class CAlarmListHost {
public:
    virtual ~CAlarmListHost() = default;

    virtual SettingsValues& Settings() = 0;
    virtual CDocumentScreen& DocScreen() = 0;
    virtual std::string GetOperatorName() = 0;
    // Runs a database request at once; the reply comes back through the
    // document's inbox. Ownership passes.
    virtual void DatabaseRequest(std::unique_ptr<CMsg> request) = 0;
    // A request for the telephone handler; ownership passes.
    virtual void PostToTel(std::unique_ptr<CMsg> msg) = 0;
    // Hands the alarm to the mail and GSM managers for its recipients.
    virtual void ForwardAlarm(const CAlarmInfoMsg& alarm) = 0;
    // The voice alarm's call was dealt with: what was kept to forward it in
    // case nobody would is not sent.
    virtual void DropHeldForwarding(const CAlarmInfoMsg& alarm) { (void)alarm; }
    // The alarms that wait to be stored: they are listed although the
    // table does not hold them yet.
    virtual std::vector<const CAlarmInfoMsg*> GetUnstoredAlarms() const { return {}; }
};
