#include "ui/AddEditMailSmsNumDlg.h"

#include "core/TextLookup.h"
#include "ui/MessageBox.h"
#include "ui/RecipientRules.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* CaptionKey(RecipientMode mode, bool editMode)
{
    if (mode == RecipientMode::Mail)
        return editMode ? "IDS_ADDEDITMAILSMSNUMDLG_MSG_5" : "IDS_ADDEDITMAILSMSNUMDLG_MSG_6";
    return editMode ? "IDS_ADDEDITMAILSMSNUMDLG_MSG_2" : "IDS_ADDEDITMAILSMSNUMDLG_MSG_3";
}

}  // namespace

CAddEditMailSmsNumDlg::CAddEditMailSmsNumDlg(RecipientMode recipientMode, bool editMode, const std::string& name,
                                             const std::string& address, QWidget* parent)
    : QDialog(parent), mode(recipientMode), editing(editMode), keyAddress(address)
{
    setWindowTitle(orvabox::Text(CaptionKey(mode, editMode)));

    // QLineEdit counts UTF-16 units, so 80 never lets more than 80
    // characters through.
    const int width = fontMetrics().averageCharWidth() * 50;
    nameField = new QLineEdit(QString::fromStdString(name), this);
    nameField->setObjectName(QStringLiteral("Name"));
    nameField->setMaxLength(kMaxLength);
    nameField->setMinimumWidth(width);
    addressField = new QLineEdit(QString::fromStdString(address), this);
    addressField->setObjectName(QStringLiteral("Address"));
    addressField->setMaxLength(kMaxLength);
    addressField->setMinimumWidth(width);
    addressField->setReadOnly(editMode);

    const char* addressKey =
        mode == RecipientMode::Mail ? "IDS_ADDEDITMAILSMSNUMDLG_MSG_4" : "IDS_ADDEDITMAILSMSNUMDLG_MSG_1";
    auto* nameLabel = new QLabel(orvabox::Text("IDC_MAIL_SMSNUM_INFO_NAME"), this);
    nameLabel->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_NAME"));
    auto* addressLabel = new QLabel(orvabox::Text(addressKey), this);
    addressLabel->setObjectName(QString::fromLatin1(addressKey));

    auto* form = new QFormLayout;
    form->addRow(nameLabel, nameField);
    form->addRow(addressLabel, addressField);

    orvabox::OkCancel buttons = orvabox::AddOkCancel(this, [this] { OnOk(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons.box);

    setTabOrder(nameField, addressField);
    setTabOrder(addressField, buttons.ok);
    setTabOrder(buttons.ok, buttons.cancel);
    nameField->setFocus();
}

std::string CAddEditMailSmsNumDlg::GetName() const
{
    return nameField->text().trimmed().toStdString();
}

std::string CAddEditMailSmsNumDlg::GetAddress() const
{
    // A blank at either end would make a stored entry that never matches a
    // recipient list, which drops every blank.
    if (editing)
        return keyAddress;
    return addressField->text().trimmed().toStdString();
}

void CAddEditMailSmsNumDlg::OnOk()
{
    const bool mail = mode == RecipientMode::Mail;
    const std::string address = GetAddress();
    if (!(mail ? recipients::IsValidMailEntry(address) : recipients::IsValidSmsEntry(address))) {
        orvabox::AskInWindow(this,
                             LookupText(mail ? "IDS_ADDEDITMAILSMSNUMDLG_MSG_8" : "IDS_ADDEDITMAILSMSNUMDLG_MSG_7"),
                             QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
        addressField->setFocus();
        addressField->selectAll();
        return;
    }
    accept();
}
