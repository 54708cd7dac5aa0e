#pragma once
// The E-mail page: alarm mail on or off, the server, the account, the
// sender and the header rows, and a test mail with the values typed here.

#include "ui/SettingsPage.h"

#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QPushButton;

class CSettingsEmail : public CSettingsPage {
public:
    static constexpr int kTextChars = 80;
    static constexpr int kMaxPort = 65535;

    // The mail manager's test mail: server, port, HELO name, sender, recipient.
    using SendTestMail = std::function<void(const std::string& server, uint16_t port, const std::string& heloName,
                                            const std::string& sender, const std::string& recipient)>;

    explicit CSettingsEmail(SendTestMail sendTestMail, QWidget* parent = nullptr);

    void Load(const SettingsValues& values) override;
    void Store(SettingsValues& values) const override;
    bool OnKillActive() override;

    // "Send TestMail": asks for the address and sends a test mail with the
    // server, port, account and sender typed on the page, saved or not.
    void OnSendTestMail();

    QPushButton* SendTestMailButton() const { return sendButton; }

protected:
    void Translate() override;

private:
    SendTestMail sendTestMail;

    QGroupBox* alarmGroup = nullptr;
    QGroupBox* serverGroup = nullptr;
    QGroupBox* accountGroup = nullptr;
    QGroupBox* identificationGroup = nullptr;
    QGroupBox* headerGroup = nullptr;
    QCheckBox* mailEnabled = nullptr;
    QPushButton* sendButton = nullptr;
    QLineEdit* server = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* account = nullptr;
    QLineEdit* sender = nullptr;
    QLineEdit* header1 = nullptr;
    QLineEdit* header2 = nullptr;
};
