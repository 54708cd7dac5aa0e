#pragma once
// Every configuration value of the station, with its default, and the table
// that drives loading, saving and the restart flags. Field names are the value
// names in the settings file; the initialisers are the defaults.

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// What a settings change must restart (bits of the EditSettings result).
constexpr int SETTINGS_CHANGED_TEL = 1;
constexpr int SETTINGS_CHANGED_GSM = 2;
constexpr int SETTINGS_CHANGED_MAIL = 4;
constexpr int SETTINGS_CHANGED_LIST = 8;  // database manager restart and list refresh

constexpr int kOperatorCount = 10;

struct SettingsValues {
    int32_t NORD = 0;
    int16_t TelComPort = 1;
    int32_t TelEnabled = 0;
    int16_t TelRingSignals = 2;
    int32_t CpcEnabled = 0;
    int16_t WirelessNetSel = 0;
    int16_t GsmComPort = 2;
    int32_t GsmEnabled = 0;
    int32_t GsmBaudrate = 9600;
    std::string GsmPinCode;
    int16_t GsmWirelessNetSel = 0;
    int32_t MailEnabled = 1;
    std::string SendMailServer;
    int32_t MailPortNumber = 25;
    std::string MailAccountName;
    std::string MailSenderAddress;
    std::string MailHeader1;
    std::string MailHeader2;
    int32_t MaxAlarmlistItems = 200;
    int32_t AlarmPopUpEnabled = 1;
    int32_t VoiceCallEnabled = 0;
    int32_t VoiceCallAlertEnabled = 1;
    int32_t AlarmListAutRefreshEnabled = 0;
    int32_t AlarmListRefreshInterval = 10;
    int32_t SendMailAtTestAlarm = 0;
    int32_t AcceptCallerIdTestAlarms = 0;
    int32_t ExtRelayCtrl = 1;
    int32_t UseCidPhoneNumber = 0;
    int32_t TestAlarmFilter = 0;
    std::string DatabasePath;
    int32_t KeepAirMonths = 12;
    int32_t ColumnWidthStatus = 45;
    int32_t ColumnWidthType = 140;
    int32_t ColumnWidthIdCode = 100;
    int32_t ColumnWidthIdInfo = 350;
    int32_t ColumnWidthCidInfo = 130;
    int32_t ColumnWidthDateTime = 125;
    std::array<std::string, kOperatorCount> Operator;
    std::string LastOperator;

    bool operator==(const SettingsValues&) const = default;
};

// A reference to one field of SettingsValues, whatever its width.
using SettingRef = std::variant<int32_t*, int16_t*, std::string*>;

struct SettingDescriptor {
    std::string name;                      // value name in the settings file
    SettingRef (*field)(SettingsValues&);  // the field it fills
    int64_t minValue;                      // accepted integers; a stored number outside
    int64_t maxValue;                      //   them reads as the default
    bool (*accepts)(int64_t);              // extra rule (the two baud rates), or nullptr
    int restartFlag;                       // SETTINGS_CHANGED_* or 0
    bool saved;                            // written by Save
};

// Every value in load order (which is also the save order).
const std::vector<SettingDescriptor>& SettingsTable();

// The restart flags raised by going from one set of values to another: a bit
// is set when a value marked with it differs.
int SettingsChangeFlags(const SettingsValues& before, const SettingsValues& after);
