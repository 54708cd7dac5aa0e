#include "ui/CustomerInfoDlg.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "messages/DatabaseMsg.h"
#include "ui/AddEditCustomerInfoDlg.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton* NewButton(const char* key, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(key));
    return button;
}

}  // namespace

CCustomerInfoDlg::CCustomerInfoDlg(DbRequestSink requests, const std::string& currentCustomer, QWidget* parent)
    : QDialog(parent), sink(std::move(requests)), current(currentCustomer)
{
    auto* listLabel = new QLabel(this);
    listLabel->setObjectName(QStringLiteral("IDC_CUSTOMER_INFO_CUSTOMERS"));
    customerList = new QComboBox(this);
    customerList->setObjectName(QStringLiteral("CustomerList"));
    customerList->setMinimumContentsLength(40);
    customerList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    listLabel->setBuddy(customerList);
    // Only a choice of the operator asks the database; filling the list does not.
    connect(customerList, &QComboBox::activated, this, [this](int index) { OnChoose(index); });

    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("IDC_CUSTOMER_INFO_CUSTOMER"));
    auto* nameLabel = new QLabel(group);
    nameLabel->setObjectName(QStringLiteral("IDC_CUSTOMER_INFO_NAME"));
    nameField = new QLineEdit(group);
    nameField->setObjectName(QStringLiteral("Name"));
    nameField->setReadOnly(true);
    nameLabel->setBuddy(nameField);
    auto* infoLabel = new QLabel(group);
    infoLabel->setObjectName(QStringLiteral("IDC_CUSTOMER_INFO_INFO"));
    infoField = new QPlainTextEdit(group);
    infoField->setObjectName(QStringLiteral("Info"));
    infoField->setReadOnly(true);
    infoField->setTabChangesFocus(true);
    infoField->setMinimumHeight(infoField->fontMetrics().lineSpacing() * 6);
    infoLabel->setBuddy(infoField);
    auto* form = new QFormLayout(group);
    form->addRow(nameLabel, nameField);
    form->addRow(infoLabel, infoField);

    newButton = NewButton("IDC_CUSTOMER_INFO_NEW", this);
    editButton = NewButton("IDC_CUSTOMER_INFO_EDIT", this);
    deleteButton = NewButton("IDC_CUSTOMER_INFO_DELETE", this);
    selectButton = NewButton("IDC_CUSTOMER_INFO_SELECT", this);
    closeButton = NewButton("IDC_CUSTOMER_INFO_CLOSE", this);
    for (QPushButton* button : {newButton, editButton, deleteButton, closeButton})
        button->setAutoDefault(false);
    // Return picks the shown customer, Escape closes without a result.
    selectButton->setDefault(true);
    connect(newButton, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(editButton, &QPushButton::clicked, this, [this] { OnEdit(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(selectButton, &QPushButton::clicked, this, [this] { OnSelect(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* listRow = new QHBoxLayout;
    listRow->addWidget(listLabel);
    listRow->addWidget(customerList, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(listRow);
    left->addWidget(group, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(newButton);
    right->addWidget(editButton);
    right->addWidget(deleteButton);
    right->addStretch(1);
    right->addWidget(selectButton);
    right->addWidget(closeButton);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);

    setTabOrder(customerList, nameField);
    setTabOrder(nameField, infoField);
    setTabOrder(infoField, newButton);
    setTabOrder(newButton, editButton);
    setTabOrder(editButton, deleteButton);
    setTabOrder(deleteButton, selectButton);
    setTabOrder(selectButton, closeButton);

    Translate();
    // The list is never without its first entry, also while the customers are
    // on their way or when there are none.
    customerList->addItem(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_4"));
    ShowCustomer({}, {}, false);
    customerList->setFocus();

    auto request = std::make_unique<CCustomerInfoReqMsg>(DBMSG_FIND_CUSTOMER_INFO);
    request->Kind = INFO_KIND_ALL;
    Send(std::move(request));
}

CCustomerInfoDlg::~CCustomerInfoDlg() = default;

void CCustomerInfoDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_20"));
    for (const char* key : {"IDC_CUSTOMER_INFO_CUSTOMERS", "IDC_CUSTOMER_INFO_NAME", "IDC_CUSTOMER_INFO_INFO"})
        findChild<QLabel*>(QString::fromLatin1(key))->setText(orvabox::Text(key));
    findChild<QGroupBox*>(QStringLiteral("IDC_CUSTOMER_INFO_CUSTOMER"))
        ->setTitle(orvabox::Text("IDC_CUSTOMER_INFO_CUSTOMER"));
    for (QPushButton* button : {newButton, editButton, deleteButton, selectButton, closeButton})
        button->setText(orvabox::Text(button->objectName().toStdString()));

    customerList->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_12"));
    nameField->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_13"));
    infoField->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_14"));
    editButton->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_15"));
    newButton->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_16"));
    deleteButton->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_17"));
    selectButton->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_18"));
    closeButton->setToolTip(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_19"));
}

void CCustomerInfoDlg::Send(std::unique_ptr<CMsg> request)
{
    if (sink)
        sink(std::move(request));
}

std::string CCustomerInfoDlg::GetName() const
{
    return shownName;
}

std::string CCustomerInfoDlg::GetInfo() const
{
    return shownInfo;
}

void CCustomerInfoDlg::ShowCustomer(const std::string& name, const std::string& info, bool stored)
{
    shownName = name;
    shownInfo = info;
    nameField->setText(QString::fromStdString(name));
    infoField->setPlainText(QString::fromStdString(info));
    editButton->setEnabled(stored);
    deleteButton->setEnabled(stored);
}

void CCustomerInfoDlg::SelectEntry(const std::string& name)
{
    const int index = customerList->findText(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
    customerList->setCurrentIndex(index > 0 ? index : 0);
}

void CCustomerInfoDlg::OnChoose(int index)
{
    customerList->setCurrentIndex(index);
    if (index <= 0) {
        ShowCustomer({}, {}, false);
        return;
    }
    auto request = std::make_unique<CCustomerInfoReqMsg>(DBMSG_FIND_CUSTOMER_INFO);
    request->Kind = INFO_KIND_BY_KEY;
    request->Key = customerList->itemText(index).toStdString();
    Send(std::move(request));
}

void CCustomerInfoDlg::OnNew()
{
    CAddEditCustomerInfoDlg entry(false, {}, {}, this);
    if (orvabox::ExecInWindow(entry) != QDialog::Accepted)
        return;
    sent.Push(Pending::Add, entry.GetName(), entry.GetInfo());
    auto request = std::make_unique<CCustomerInfoMsg>(DBMSG_ADD_CUSTOMER_INFO);
    request->Name = entry.GetName();
    request->Info = entry.GetInfo();
    Send(std::move(request));
}

void CCustomerInfoDlg::OnEdit()
{
    if (!editButton->isEnabled())
        return;
    CAddEditCustomerInfoDlg entry(true, shownName, shownInfo, this);
    if (orvabox::ExecInWindow(entry) != QDialog::Accepted)
        return;
    sent.Push(Pending::Edit, entry.GetName(), entry.GetInfo());
    auto request = std::make_unique<CCustomerInfoMsg>(DBMSG_EDIT_CUSTOMER_INFO);
    request->Name = entry.GetName();
    request->Info = entry.GetInfo();
    Send(std::move(request));
}

void CCustomerInfoDlg::OnDelete()
{
    if (!deleteButton->isEnabled())
        return;
    if (orvabox::AskInWindow(this, LookupText("IDS_CUSTOMERINFODLG_MSG_10"), QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    sent.Push(Pending::Delete, shownName, {});
    auto request = std::make_unique<CCustomerInfoReqMsg>(DBMSG_DELETE_CUSTOMER_INFO);
    request->Key = shownName;
    Send(std::move(request));
}

void CCustomerInfoDlg::OnSelect()
{
    accept();
}

void CCustomerInfoDlg::Tell(const std::string& text, QMessageBox::Icon icon)
{
    orvabox::AskInWindow(this, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

void CCustomerInfoDlg::FillList(const CMsg& first)
{
    customerList->clear();
    customerList->addItem(orvabox::Text("IDS_CUSTOMERINFODLG_MSG_4"));
    const CCustomerInfoMsg* match = nullptr;
    for (const CMsg* msg = &first; msg; msg = msg->Next.get()) {
        const auto* record = dynamic_cast<const CCustomerInfoMsg*>(msg);
        if (!record)
            continue;
        customerList->addItem(QString::fromStdString(record->Name));
        if (!match && record->Name == current)
            match = record;
    }
    if (match) {
        SelectEntry(match->Name);
        ShowCustomer(match->Name, match->Info, true);
    } else {
        customerList->setCurrentIndex(0);
        ShowCustomer({}, {}, false);
    }
}

void CCustomerInfoDlg::OnReply(std::unique_ptr<CMsg> reply)
{
    const auto* answer = dynamic_cast<const CDatabaseMsg*>(reply.get());
    if (!answer || answer->GetType() != DBMSG_CUSTOMER_INFO)
        return;
    Sent taken;
    switch (answer->Result) {
    case DBRES_INFO_ADDED:
        if (sent.Take(Pending::Add, taken)) {
            customerList->addItem(QString::fromStdString(taken.name));
            customerList->setCurrentIndex(customerList->count() - 1);
            ShowCustomer(taken.name, taken.value, true);
            Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_1"), QMessageBox::Information);
        }
        break;
    case DBRES_INFO_EXISTS:
        if (sent.Take(Pending::Add, taken))
            Tell(FormatKey("IDS_CUSTOMERINFODLG_MSG_2", {taken.name}), QMessageBox::Warning);
        break;
    case DBRES_INFO_ADD_ERROR:
        sent.Take(Pending::Add, taken);
        Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_3"), QMessageBox::Critical);
        break;
    case DBRES_INFO_FOUND_KEY:
        // A late answer for an entry the operator has left meanwhile is not shown.
        if (const auto* record = dynamic_cast<const CCustomerInfoMsg*>(answer);
            record && customerList->currentIndex() > 0 && customerList->currentText().toStdString() == record->Name)
            ShowCustomer(record->Name, record->Info, true);
        break;
    case DBRES_INFO_FOUND_ALL:
        if (dynamic_cast<const CCustomerInfoMsg*>(answer))  // records of another table are not ours
            FillList(*answer);
        break;
    case DBRES_INFO_EDITED:
        if (sent.Take(Pending::Edit, taken)) {
            SelectEntry(taken.name);
            ShowCustomer(taken.name, taken.value, true);
            Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_5"), QMessageBox::Information);
        }
        break;
    case DBRES_INFO_EDIT_NOT_FOUND:
        sent.Take(Pending::Edit, taken);
        Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_6"), QMessageBox::Critical);
        break;
    case DBRES_INFO_EDIT_ERROR:
        sent.Take(Pending::Edit, taken);
        Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_7"), QMessageBox::Critical);
        break;
    case DBRES_INFO_DELETED:
        if (sent.Take(Pending::Delete, taken)) {
            const int index =
                customerList->findText(QString::fromStdString(taken.name), Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (index > 0)
                customerList->removeItem(index);
            customerList->setCurrentIndex(0);
            ShowCustomer({}, {}, false);
        }
        break;
    case DBRES_INFO_DELETE_NOT_FOUND:
        sent.Take(Pending::Delete, taken);
        Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_8"), QMessageBox::Critical);
        break;
    case DBRES_INFO_DELETE_ERROR:
        sent.Take(Pending::Delete, taken);
        Tell(LookupText("IDS_CUSTOMERINFODLG_MSG_9"), QMessageBox::Critical);
        break;
    default:  // none, find error: nothing
        break;
    }
}
