#include "core/SettingsValues.h"

#include <limits>

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

bool IsGsmBaudrate(int64_t value)
{
    return value == 9600 || value == 115200;
}

#define FIELD(member) [](SettingsValues& v) -> SettingRef { return &v.member; }

std::vector<SettingDescriptor> BuildTable()
{
    std::vector<SettingDescriptor> table = {
        // NORD is set by hand only: honoured but never written back.
        {"NORD", FIELD(NORD), kInt32Min, kInt32Max, nullptr, 0, false},
        {"TelComPort", FIELD(TelComPort), 1, 255, nullptr, SETTINGS_CHANGED_TEL, true},
        {"TelEnabled", FIELD(TelEnabled), 0, 1, nullptr, SETTINGS_CHANGED_TEL, true},
        {"TelRingSignals", FIELD(TelRingSignals), 0, 16, nullptr, SETTINGS_CHANGED_TEL, true},
        {"CpcEnabled", FIELD(CpcEnabled), 0, 1, nullptr, SETTINGS_CHANGED_TEL, true},
        {"WirelessNetSel", FIELD(WirelessNetSel), 0, 6, nullptr, SETTINGS_CHANGED_TEL, true},
        {"GsmComPort", FIELD(GsmComPort), 1, 255, nullptr, SETTINGS_CHANGED_GSM, true},
        {"GsmEnabled", FIELD(GsmEnabled), 0, 1, nullptr, SETTINGS_CHANGED_GSM, true},
        {"GsmBaudrate", FIELD(GsmBaudrate), 9600, 115200, IsGsmBaudrate, SETTINGS_CHANGED_GSM, true},
        {"GsmPinCode", FIELD(GsmPinCode), 0, 0, nullptr, SETTINGS_CHANGED_GSM, true},
        {"GsmWirelessNetSel", FIELD(GsmWirelessNetSel), 0, 6, nullptr, SETTINGS_CHANGED_GSM, true},
        {"MailEnabled", FIELD(MailEnabled), 0, 1, nullptr, SETTINGS_CHANGED_MAIL, true},
        {"SendMailServer", FIELD(SendMailServer), 0, 0, nullptr, 0, true},
        {"MailPortNumber", FIELD(MailPortNumber), 1, 65535, nullptr, 0, true},
        {"MailAccountName", FIELD(MailAccountName), 0, 0, nullptr, 0, true},
        {"MailSenderAddress", FIELD(MailSenderAddress), 0, 0, nullptr, 0, true},
        {"MailHeader1", FIELD(MailHeader1), 0, 0, nullptr, 0, true},
        {"MailHeader2", FIELD(MailHeader2), 0, 0, nullptr, 0, true},
        {"MaxAlarmlistItems", FIELD(MaxAlarmlistItems), 100, 5000, nullptr, SETTINGS_CHANGED_LIST, true},
        {"AlarmPopUpEnabled", FIELD(AlarmPopUpEnabled), 0, 1, nullptr, 0, true},
        {"VoiceCallEnabled", FIELD(VoiceCallEnabled), 0, 1, nullptr, SETTINGS_CHANGED_TEL, true},
        {"VoiceCallAlertEnabled", FIELD(VoiceCallAlertEnabled), 0, 1, nullptr, 0, true},
        {"AlarmListAutRefreshEnabled", FIELD(AlarmListAutRefreshEnabled), 0, 1, nullptr, 0, true},
        {"AlarmListRefreshInterval", FIELD(AlarmListRefreshInterval), 10, 120, nullptr, 0, true},
        {"SendMailAtTestAlarm", FIELD(SendMailAtTestAlarm), 0, 1, nullptr, 0, true},
        {"AcceptCallerIdTestAlarms", FIELD(AcceptCallerIdTestAlarms), 0, 1, nullptr, SETTINGS_CHANGED_GSM, true},
        {"ExtRelayCtrl", FIELD(ExtRelayCtrl), 0, 1, nullptr, SETTINGS_CHANGED_TEL, true},
        {"UseCidPhoneNumber", FIELD(UseCidPhoneNumber), 0, 1, nullptr, SETTINGS_CHANGED_LIST, true},
        {"TestAlarmFilter", FIELD(TestAlarmFilter), 0, 1, nullptr, SETTINGS_CHANGED_LIST, true},
        {"DatabasePath", FIELD(DatabasePath), 0, 0, nullptr, 0, true},
        {"KeepAirMonths", FIELD(KeepAirMonths), 1, 36, nullptr, SETTINGS_CHANGED_LIST, true},
        {"ColumnWidthStatus", FIELD(ColumnWidthStatus), kInt32Min, kInt32Max, nullptr, 0, true},
        {"ColumnWidthType", FIELD(ColumnWidthType), kInt32Min, kInt32Max, nullptr, 0, true},
        {"ColumnWidthIdCode", FIELD(ColumnWidthIdCode), kInt32Min, kInt32Max, nullptr, 0, true},
        {"ColumnWidthIdInfo", FIELD(ColumnWidthIdInfo), kInt32Min, kInt32Max, nullptr, 0, true},
        {"ColumnWidthCidInfo", FIELD(ColumnWidthCidInfo), kInt32Min, kInt32Max, nullptr, 0, true},
        {"ColumnWidthDateTime", FIELD(ColumnWidthDateTime), kInt32Min, kInt32Max, nullptr, 0, true},
    };
    static constexpr SettingRef (*kOperatorFields[kOperatorCount])(SettingsValues&) = {
        FIELD(Operator[0]), FIELD(Operator[1]), FIELD(Operator[2]), FIELD(Operator[3]), FIELD(Operator[4]),
        FIELD(Operator[5]), FIELD(Operator[6]), FIELD(Operator[7]), FIELD(Operator[8]), FIELD(Operator[9]),
    };
    for (int i = 0; i < kOperatorCount; ++i)
        table.push_back({"Operator[" + std::to_string(i) + "]", kOperatorFields[i], 0, 0, nullptr, 0, true});
    // The last operator is written on its own when an operator is chosen.
    table.push_back({"LastOperator", FIELD(LastOperator), 0, 0, nullptr, 0, false});
    return table;
}

#undef FIELD

bool SameValue(const SettingDescriptor& d, const SettingsValues& a, const SettingsValues& b)
{
    // The table hands out mutable references; comparing does not change them.
    SettingRef ra = d.field(const_cast<SettingsValues&>(a));
    SettingRef rb = d.field(const_cast<SettingsValues&>(b));
    return std::visit(
        [&rb](auto* pa) {
            using Ptr = decltype(pa);
            return *pa == *std::get<Ptr>(rb);
        },
        ra);
}

}  // namespace

const std::vector<SettingDescriptor>& SettingsTable()
{
    static const std::vector<SettingDescriptor> table = BuildTable();
    return table;
}

int SettingsChangeFlags(const SettingsValues& before, const SettingsValues& after)
{
    int flags = 0;
    for (const SettingDescriptor& d : SettingsTable()) {
        if (d.restartFlag != 0 && !SameValue(d, before, after))
            flags |= d.restartFlag;
    }
    return flags;
}
