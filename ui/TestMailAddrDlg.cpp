#include "ui/TestMailAddrDlg.h"

#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CTestMailAddrDlg::CTestMailAddrDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(orvabox::Text("IDD_TESTMAIL_ADDRESS_CAPTION"));

    label = new QLabel(orvabox::Text("IDC_EVENTMSG_RECEIVE_ADDRESS"), this);
    label->setObjectName("IDC_EVENTMSG_RECEIVE_ADDRESS");
    address = new QLineEdit(this);
    address->setObjectName("ReceiveAddress");
    // The field counts UTF-16 units: characters for every address outside
    // the rare planes beyond the first.
    address->setMaxLength(kMaxAddressChars);
    address->setMinimumWidth(address->fontMetrics().averageCharWidth() * 40);
    label->setBuddy(address);

    // OK (the default, so Return takes the address) and Cancel (also Escape).
    const orvabox::OkCancel buttons = orvabox::AddOkCancel(this, [this] {
        receiveAddress = address->text().toStdString();
        accept();
    });
    ok = buttons.ok;
    cancel = buttons.cancel;
    ok->setObjectName("IDS_IDOK");
    cancel->setObjectName("IDS_IDCANCEL");

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(address, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons.box);
    address->setFocus();
}

CTestMailAddrDlg::~CTestMailAddrDlg() = default;

std::string CTestMailAddrDlg::GetReceiveAddress() const
{
    return receiveAddress;
}

bool CTestMailAddrDlg::AskAndSend(QWidget* parent, const std::function<void(const std::string& recipient)>& send)
{
    CTestMailAddrDlg dialog(parent);
    if (orvabox::ExecInWindow(dialog) != QDialog::Accepted)
        return false;
    const std::string recipient = dialog.GetReceiveAddress();
    if (recipient.empty())
        return false;
    send(recipient);
    return true;
}

void CTestMailAddrDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
}
