#pragma once
// The Alarms page: the alarm list, the pop-up window, voice calls and test
// alarms. No control enables or disables another.

#include "ui/SettingsPage.h"

class QCheckBox;
class QGroupBox;

class CSettingsAlarms : public CSettingsPage {
public:
    static constexpr int kMinItems = 100;
    static constexpr int kMaxItems = 5000;
    static constexpr int kMinInterval = 10;
    static constexpr int kMaxInterval = 120;

    explicit CSettingsAlarms(QWidget* parent = nullptr);

    void Load(const SettingsValues& values) override;
    void Store(SettingsValues& values) const override;
    bool OnKillActive() override;

protected:
    void Translate() override;

private:
    QGroupBox* listGroup = nullptr;
    QGroupBox* popUpGroup = nullptr;
    QGroupBox* voiceGroup = nullptr;
    QGroupBox* testGroup = nullptr;
    QLineEdit* maxItems = nullptr;
    QCheckBox* relay = nullptr;
    QCheckBox* autoRefresh = nullptr;
    QLineEdit* interval = nullptr;
    QCheckBox* popUp = nullptr;
    QCheckBox* voiceCall = nullptr;
    QCheckBox* voiceAlert = nullptr;
    QCheckBox* mailAtTest = nullptr;
    QCheckBox* callerIdTest = nullptr;
    QCheckBox* cidPhoneNumber = nullptr;
    QCheckBox* testFilter = nullptr;
};
