#include "ui/AddEditCustomerInfoDlg.h"

#include "core/TextLookup.h"
#include "ui/CharLimit.h"
#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

CAddEditCustomerInfoDlg::CAddEditCustomerInfoDlg(bool editMode, const std::string& name, const std::string& info,
                                                 QWidget* parent)
    : QDialog(parent), editing(editMode), keyName(name)
{
    setWindowTitle(orvabox::Text(editMode ? "IDS_ADDEDITCUSTOMERINFODLG_MSG_1" : "IDS_ADDEDITCUSTOMERINFODLG_MSG_2"));

    auto* nameLabel = new QLabel(orvabox::Text("IDC_MAIL_SMSNUM_INFO_NAME1"), this);
    nameLabel->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_NAME1"));
    nameField = new QLineEdit(QString::fromStdString(name), this);
    nameField->setObjectName(QStringLiteral("Name"));
    // QLineEdit counts UTF-16 units, so 40 never lets more than 40
    // characters through.
    nameField->setMaxLength(kMaxNameLength);
    nameField->setMinimumWidth(nameField->fontMetrics().averageCharWidth() * kMaxNameLength);
    nameField->setReadOnly(editMode);
    nameLabel->setBuddy(nameField);

    auto* infoLabel = new QLabel(orvabox::Text("IDC_MAIL_SMSNUM_INFO_INFO"), this);
    infoLabel->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_INFO"));
    infoField = new QPlainTextEdit(this);
    infoField->setObjectName(QStringLiteral("Info"));
    infoField->setPlainText(charlimit::Left(QString::fromStdString(info), kMaxInfoLength));
    // Tab leaves the field (keyboard use); Return still starts a new line.
    infoField->setTabChangesFocus(true);
    infoField->setMinimumHeight(infoField->fontMetrics().lineSpacing() * 6);
    infoField->setMinimumWidth(infoField->fontMetrics().averageCharWidth() * 60);
    infoLabel->setBuddy(infoField);
    connect(infoField, &QPlainTextEdit::textChanged, this, [this] { LimitInfo(); });

    orvabox::OkCancel buttons = orvabox::AddOkCancel(this, [this] { OnOk(); });

    auto* grid = new QGridLayout;
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameField, 0, 1);
    grid->addWidget(infoLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(infoField, 1, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(buttons.box);

    setTabOrder(nameField, infoField);
    setTabOrder(infoField, buttons.ok);
    setTabOrder(buttons.ok, buttons.cancel);
    if (editMode)
        infoField->setFocus();
    else
        nameField->setFocus();
}

std::string CAddEditCustomerInfoDlg::GetName() const
{
    // A name with a blank at either end would be a second customer that
    // looks like the first in every list.
    if (editing)
        return keyName;
    return nameField->text().trimmed().toStdString();
}

std::string CAddEditCustomerInfoDlg::GetInfo() const
{
    return infoField->toPlainText().toStdString();
}

void CAddEditCustomerInfoDlg::OnOk()
{
    if (GetName().empty()) {
        orvabox::AskInWindow(this, LookupText("IDS_ADDEDITCUSTOMERINFODLG_MSG_3"), QMessageBox::Warning,
                             QMessageBox::Ok, QMessageBox::Ok);
        nameField->setFocus();
        nameField->selectAll();
        return;
    }
    accept();
}

void CAddEditCustomerInfoDlg::LimitInfo()
{
    const QString text = infoField->toPlainText();
    const QString cut = charlimit::Left(text, kMaxInfoLength);
    if (cut.size() == text.size())
        return;
    infoField->setPlainText(cut);
    infoField->moveCursor(QTextCursor::End);
}
