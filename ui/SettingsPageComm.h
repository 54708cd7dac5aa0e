#pragma once
// The Communication page: the telephone modem and the GSM modem.

#include "tel/SerialPort.h"
#include "ui/SettingsPage.h"

#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;

class CSettingsComm : public CSettingsPage {
public:
    static constexpr int kPinChars = 4;
    static constexpr int kMaxRingSignals = 16;

    // listPorts: the ports present now (every port that exists, free or
    // held by another program); an empty function lists the serial ports.
    explicit CSettingsComm(std::function<std::vector<ComPortEntry>()> listPorts, QWidget* parent = nullptr);

    void Load(const SettingsValues& values) override;
    void Store(SettingsValues& values) const override;
    bool OnKillActive() override;

    // Fills both port lists anew with the page's ports preselected. Opening
    // a list's drop-down refills it, so a port plugged in meanwhile appears.
    void FillPortLists();

    QComboBox* TelPortList() const { return telPorts; }
    QComboBox* GsmPortList() const { return gsmPorts; }

protected:
    void OnSetActive() override;
    void Translate() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillPortList(QComboBox* list, int16_t port);

    std::function<std::vector<ComPortEntry>()> listPorts;
    int16_t telPort = 0;
    int16_t gsmPort = 0;

    QGroupBox* telGroup = nullptr;
    QGroupBox* gsmGroup = nullptr;
    QCheckBox* telEnabled = nullptr;
    QComboBox* telPorts = nullptr;
    QLineEdit* ringSignals = nullptr;
    QCheckBox* cpcEnabled = nullptr;
    QComboBox* telNet = nullptr;
    QCheckBox* gsmEnabled = nullptr;
    QComboBox* gsmPorts = nullptr;
    QComboBox* baudrate = nullptr;
    QLineEdit* pinCode = nullptr;
    QComboBox* gsmNet = nullptr;
};
