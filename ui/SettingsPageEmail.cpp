#include "ui/SettingsPageEmail.h"

#include "ui/MessageBox.h"
#include "ui/TestMailAddrDlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QGroupBox* Group(QWidget* parent, const char* key)
{
    auto* group = new QGroupBox(parent);
    group->setObjectName(QLatin1String(key));
    return group;
}

}  // namespace

CSettingsEmail::CSettingsEmail(SendTestMail send, QWidget* parent)
    : CSettingsPage("IDC_PP_SETTINGS_EMAIL_CAPTION", parent), sendTestMail(std::move(send))
{
    alarmGroup = Group(this, "IDC_PP_SETTINGS_EMAIL_ALARM_E_MAIL");
    serverGroup = Group(this, "IDC_PP_SETTINGS_EMAIL_SERVER");
    accountGroup = Group(this, "IDC_PP_SETTINGS_EMAIL_ACCOUNT");
    identificationGroup = Group(this, "IDC_PP_SETTINGS_EMAIL_IDENTIFICATION");
    headerGroup = Group(this, "IDC_PP_SETTINGS_EMAIL_MAIL_HEADER");

    mailEnabled = new QCheckBox(this);
    mailEnabled->setObjectName(QStringLiteral("MailEnabled"));
    sendButton = new QPushButton(this);
    sendButton->setObjectName(QStringLiteral("IDC_PP_SETTINGS_EMAIL_SEND_TEST_MAIL"));
    // Return in a field is the sheet's OK, never a test mail.
    sendButton->setAutoDefault(false);
    server = TextField("SendMailServer", kTextChars);
    port = NumberField("MailPortNumber", 5);
    account = TextField("MailAccountName", kTextChars);
    sender = TextField("MailSenderAddress", kTextChars);
    header1 = TextField("MailHeader1", kTextChars);
    header2 = TextField("MailHeader2", kTextChars);
    const int textWidth = server->fontMetrics().averageCharWidth() * 40;
    for (QLineEdit* field : {server, account, sender, header1, header2})
        field->setMinimumWidth(textWidth);

    auto* alarmRow = new QHBoxLayout(alarmGroup);
    alarmRow->addWidget(mailEnabled);
    alarmRow->addStretch(1);
    alarmRow->addWidget(sendButton);

    auto withLabel = [this](QFormLayout* form, const char* key, QLineEdit* field) {
        QLabel* label = Label(key);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    auto* serverForm = new QFormLayout(serverGroup);
    withLabel(serverForm, "IDC_PP_SETTINGS_EMAIL_OUTGOING_", server);
    withLabel(serverForm, "IDC_PP_SETTINGS_EMAIL_PORT_NUMBER", port);
    auto* accountForm = new QFormLayout(accountGroup);
    withLabel(accountForm, "IDC_PP_SETTINGS_EMAIL_ACCOUNT_NAME", account);
    auto* identificationForm = new QFormLayout(identificationGroup);
    withLabel(identificationForm, "IDC_PP_SETTINGS_EMAIL_SENDER_ADDRESS", sender);
    auto* headerForm = new QFormLayout(headerGroup);
    withLabel(headerForm, "IDC_PP_SETTINGS_EMAIL_ROW_1", header1);
    withLabel(headerForm, "IDC_PP_SETTINGS_EMAIL_ROW_2", header2);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* group : {alarmGroup, serverGroup, accountGroup, identificationGroup, headerGroup})
        layout->addWidget(group);
    layout->addStretch(1);

    QWidget* const order[] = {mailEnabled, sendButton, server, port, account, sender, header1, header2};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(sendButton, &QPushButton::clicked, this, [this] { OnSendTestMail(); });
}

void CSettingsEmail::Translate()
{
    CSettingsPage::Translate();
    alarmGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_EMAIL_ALARM_E_MAIL"));
    serverGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_EMAIL_SERVER"));
    accountGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_EMAIL_ACCOUNT"));
    identificationGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_EMAIL_IDENTIFICATION"));
    headerGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_EMAIL_MAIL_HEADER"));
    mailEnabled->setText(orvabox::Text("IDC_PP_SETTINGS_EMAIL_MAIL_ENABLED"));
    sendButton->setText(orvabox::Text("IDC_PP_SETTINGS_EMAIL_SEND_TEST_MAIL"));
}

void CSettingsEmail::Load(const SettingsValues& values)
{
    mailEnabled->setChecked(values.MailEnabled != 0);
    server->setText(Q(values.SendMailServer));
    SetNumber(port, values.MailPortNumber);
    account->setText(Q(values.MailAccountName));
    sender->setText(Q(values.MailSenderAddress));
    header1->setText(Q(values.MailHeader1));
    header2->setText(Q(values.MailHeader2));
}

void CSettingsEmail::Store(SettingsValues& values) const
{
    values.MailEnabled = mailEnabled->isChecked() ? 1 : 0;
    values.SendMailServer = S(server->text());
    values.MailPortNumber = static_cast<int32_t>(Number(port));
    values.MailAccountName = S(account->text());
    values.MailSenderAddress = S(sender->text());
    values.MailHeader1 = S(header1->text());
    values.MailHeader2 = S(header2->text());
}

bool CSettingsEmail::OnKillActive()
{
    return CheckRange(port, 1, kMaxPort);
}

void CSettingsEmail::OnSendTestMail()
{
    // The port is checked before the address is asked: a test with a port
    // that cannot be would only fail later, out of sight.
    if (!CheckRange(port, 1, kMaxPort))
        return;
    CTestMailAddrDlg::AskAndSend(this, [this](const std::string& recipient) {
        // The values as typed now, not yet saved.
        if (sendTestMail)
            sendTestMail(S(server->text()), static_cast<uint16_t>(Number(port)), S(account->text()), S(sender->text()),
                         recipient);
    });
}
