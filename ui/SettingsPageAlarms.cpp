#include "ui/SettingsPageAlarms.h"

#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <utility>

namespace {

// The check boxes with their text keys, for the translation.
QCheckBox* Check(QWidget* parent, const char* settingName)
{
    auto* check = new QCheckBox(parent);
    check->setObjectName(QLatin1String(settingName));
    return check;
}

}  // namespace

CSettingsAlarms::CSettingsAlarms(QWidget* parent) : CSettingsPage("IDC_PP_SETTINGS_ALARMS_CAPTION", parent)
{
    listGroup = new QGroupBox(this);
    listGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_ALARMS_ALARM_LIST"));
    popUpGroup = new QGroupBox(this);
    popUpGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_ALARMS_ALARM_POP_UP"));
    voiceGroup = new QGroupBox(this);
    voiceGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_ALARMS_VOICE_CALL"));
    testGroup = new QGroupBox(this);
    testGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_ALARMS_TEST_ALARMS"));

    maxItems = NumberField("MaxAlarmlistItems", 4);
    relay = Check(this, "ExtRelayCtrl");
    autoRefresh = Check(this, "AlarmListAutRefreshEnabled");
    interval = NumberField("AlarmListRefreshInterval", 3);
    popUp = Check(this, "AlarmPopUpEnabled");
    voiceCall = Check(this, "VoiceCallEnabled");
    voiceAlert = Check(this, "VoiceCallAlertEnabled");
    mailAtTest = Check(this, "SendMailAtTestAlarm");
    callerIdTest = Check(this, "AcceptCallerIdTestAlarms");
    cidPhoneNumber = Check(this, "UseCidPhoneNumber");
    testFilter = Check(this, "TestAlarmFilter");

    auto* listForm = new QFormLayout(listGroup);
    QLabel* itemsLabel = Label("IDC_PP_SETTINGS_ALARMS_MAX_ITEMS");
    itemsLabel->setBuddy(maxItems);
    listForm->addRow(itemsLabel, maxItems);
    listForm->addRow(relay);
    listForm->addRow(autoRefresh);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->setContentsMargins(0, 0, 0, 0);
    intervalRow->addWidget(interval);
    intervalRow->addWidget(Label("IDC_PP_SETTINGS_ALARMS_SECONDS"));
    intervalRow->addStretch(1);
    QLabel* intervalLabel = Label("IDC_PP_SETTINGS_ALARMS_INTERVAL");
    intervalLabel->setBuddy(interval);
    listForm->addRow(intervalLabel, intervalRow);

    auto* popUpBox = new QVBoxLayout(popUpGroup);
    popUpBox->addWidget(popUp);
    auto* voiceBox = new QVBoxLayout(voiceGroup);
    voiceBox->addWidget(voiceCall);
    voiceBox->addWidget(voiceAlert);
    auto* testBox = new QVBoxLayout(testGroup);
    for (QCheckBox* check : {mailAtTest, callerIdTest, cidPhoneNumber, testFilter})
        testBox->addWidget(check);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* group : {listGroup, popUpGroup, voiceGroup, testGroup})
        layout->addWidget(group);
    layout->addStretch(1);

    QWidget* const order[] = {maxItems,   relay,      autoRefresh,  interval,       popUp,     voiceCall,
                              voiceAlert, mailAtTest, callerIdTest, cidPhoneNumber, testFilter};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CSettingsAlarms::Translate()
{
    CSettingsPage::Translate();
    const std::pair<QGroupBox*, const char*> groups[] = {
        {listGroup, "IDC_PP_SETTINGS_ALARMS_ALARM_LIST"},
        {popUpGroup, "IDC_PP_SETTINGS_ALARMS_ALARM_POP_UP"},
        {voiceGroup, "IDC_PP_SETTINGS_ALARMS_VOICE_CALL"},
        {testGroup, "IDC_PP_SETTINGS_ALARMS_TEST_ALARMS"},
    };
    for (const auto& [group, key] : groups)
        group->setTitle(orvabox::Text(key));
    const std::pair<QCheckBox*, const char*> checks[] = {
        {relay, "IDC_PP_SETTINGS_ALARMS_EXT_RELAY_CTRL"},
        {autoRefresh, "IDC_PP_SETTINGS_ALARMS_ALARMLIST_AUT_REFRESH_ENABLED"},
        {popUp, "IDC_PP_SETTINGS_ALARMS_ALARM_POPUP_ENABLED"},
        {voiceCall, "IDC_PP_SETTINGS_ALARMS_VOICE_CALL_ENABLED"},
        {voiceAlert, "IDC_PP_SETTINGS_ALARMS_VC_ALERT_ENABLED"},
        {mailAtTest, "IDC_PP_SETTINGS_ALARMS_SEND_MAIL_AT_TESTALARM"},
        {callerIdTest, "IDC_PP_SETTINGS_ALARMS_ACCEPT_CALLER_ID_TEST_ALARMS"},
        {cidPhoneNumber, "IDC_PP_SETTINGS_ALARMS_USE_CID_PHONE_NUMBER"},
        {testFilter, "IDC_PP_SETTINGS_ALARMS_TEST_ALARM_FILTER"},
    };
    for (const auto& [check, key] : checks)
        check->setText(orvabox::Text(key));
}

void CSettingsAlarms::Load(const SettingsValues& values)
{
    SetNumber(maxItems, values.MaxAlarmlistItems);
    relay->setChecked(values.ExtRelayCtrl != 0);
    autoRefresh->setChecked(values.AlarmListAutRefreshEnabled != 0);
    SetNumber(interval, values.AlarmListRefreshInterval);
    popUp->setChecked(values.AlarmPopUpEnabled != 0);
    voiceCall->setChecked(values.VoiceCallEnabled != 0);
    voiceAlert->setChecked(values.VoiceCallAlertEnabled != 0);
    mailAtTest->setChecked(values.SendMailAtTestAlarm != 0);
    callerIdTest->setChecked(values.AcceptCallerIdTestAlarms != 0);
    cidPhoneNumber->setChecked(values.UseCidPhoneNumber != 0);
    testFilter->setChecked(values.TestAlarmFilter != 0);
}

void CSettingsAlarms::Store(SettingsValues& values) const
{
    values.MaxAlarmlistItems = static_cast<int32_t>(Number(maxItems));
    values.ExtRelayCtrl = relay->isChecked() ? 1 : 0;
    values.AlarmListAutRefreshEnabled = autoRefresh->isChecked() ? 1 : 0;
    values.AlarmListRefreshInterval = static_cast<int32_t>(Number(interval));
    values.AlarmPopUpEnabled = popUp->isChecked() ? 1 : 0;
    values.VoiceCallEnabled = voiceCall->isChecked() ? 1 : 0;
    values.VoiceCallAlertEnabled = voiceAlert->isChecked() ? 1 : 0;
    values.SendMailAtTestAlarm = mailAtTest->isChecked() ? 1 : 0;
    values.AcceptCallerIdTestAlarms = callerIdTest->isChecked() ? 1 : 0;
    values.UseCidPhoneNumber = cidPhoneNumber->isChecked() ? 1 : 0;
    values.TestAlarmFilter = testFilter->isChecked() ? 1 : 0;
}

bool CSettingsAlarms::OnKillActive()
{
    return CheckRange(maxItems, kMinItems, kMaxItems) && CheckRange(interval, kMinInterval, kMaxInterval);
}
