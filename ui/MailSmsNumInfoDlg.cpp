#include "ui/MailSmsNumInfoDlg.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "messages/DatabaseMsg.h"
#include "ui/AddEditMailSmsNumDlg.h"
#include "ui/MessageBox.h"
#include "ui/RecipientRules.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kNameColumn = 0;
constexpr int kAddressColumn = 1;
const char* const kUnknownName = "???";

QPushButton* NewButton(const char* key, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(key));
    button->setAutoDefault(false);
    return button;
}

QTreeWidget* NewList(const char* name, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setColumnCount(2);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setAllColumnsShowFocus(true);
    const int charWidth = list->fontMetrics().averageCharWidth();
    list->setColumnWidth(kNameColumn, charWidth * 18);
    list->setColumnWidth(kAddressColumn, charWidth * 26);
    list->setMinimumWidth(charWidth * 46);
    list->setMinimumHeight(list->fontMetrics().lineSpacing() * 12);
    return list;
}

QTreeWidgetItem* NewRow(const std::string& name, const std::string& address)
{
    auto* row = new QTreeWidgetItem;
    row->setText(kNameColumn, QString::fromStdString(name));
    row->setText(kAddressColumn, QString::fromStdString(address));
    return row;
}

std::string AddressOf(const QTreeWidgetItem* row)
{
    return row->text(kAddressColumn).toStdString();
}

std::string NameOf(const QTreeWidgetItem* row)
{
    return row->text(kNameColumn).toStdString();
}

// The first selected row, or nullptr.
QTreeWidgetItem* Selected(const QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> rows = list->selectedItems();
    if (rows.isEmpty())
        return nullptr;
    return *std::min_element(rows.begin(), rows.end(), [list](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return list->indexOfTopLevelItem(a) < list->indexOfTopLevelItem(b);
    });
}

}  // namespace

CMailSmsNumInfoDlg::CMailSmsNumInfoDlg(DbRequestSink requests, RecipientMode recipientMode, uint16_t replyType,
                                       const std::string& list, QWidget* parent)
    : QDialog(parent), sink(std::move(requests)), mode(recipientMode),
      answerType(recipientMode == RecipientMode::Mail ? DBMSG_MAIL_INFO : replyType)
{
    auto* recipientGroup = new QGroupBox(this);
    recipientGroup->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_MESSAGE_RECIPIENTS"));
    recipientList = NewList("RecipientList", recipientGroup);
    (new QVBoxLayout(recipientGroup))->addWidget(recipientList);

    auto* storedGroup = new QGroupBox(this);
    storedGroup->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_DATABASE"));
    storedList = NewList("StoredList", storedGroup);
    newButton = NewButton("IDC_MAIL_SMSNUM_INFO_NEW", storedGroup);
    editButton = NewButton("IDC_MAIL_SMSNUM_INFO_EDIT", storedGroup);
    deleteButton = NewButton("IDC_MAIL_SMSNUM_INFO_DELETE", storedGroup);
    auto* storedButtons = new QHBoxLayout;
    storedButtons->addWidget(newButton);
    storedButtons->addWidget(editButton);
    storedButtons->addWidget(deleteButton);
    storedButtons->addStretch(1);
    auto* storedLayout = new QVBoxLayout(storedGroup);
    storedLayout->addWidget(storedList, 1);
    storedLayout->addLayout(storedButtons);

    addButton = NewButton("IDC_MAIL_SMSNUM_INFO_ADD", this);
    removeButton = NewButton("IDC_MAIL_SMSNUM_INFO_REMOVE", this);
    auto* moveButtons = new QVBoxLayout;
    moveButtons->addStretch(1);
    moveButtons->addWidget(addButton);
    moveButtons->addWidget(removeButton);
    moveButtons->addStretch(1);

    orvabox::OkCancel closing = orvabox::AddOkCancel(this, [this] { OnOk(); });
    okButton = closing.ok;
    cancelButton = closing.cancel;
    cancelButton->setObjectName(QStringLiteral("IDC_MAIL_SMSNUM_INFO_CANCEL"));

    auto* lists = new QHBoxLayout;
    lists->addWidget(recipientGroup, 1);
    lists->addLayout(moveButtons);
    lists->addWidget(storedGroup, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(closing.box);

    connect(addButton, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(newButton, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(editButton, &QPushButton::clicked, this, [this] { OnEdit(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(storedList, &QTreeWidget::itemDoubleClicked, this, [this] { OnAdd(); });
    connect(recipientList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(storedList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });

    setTabOrder(recipientList, addButton);
    setTabOrder(addButton, removeButton);
    setTabOrder(removeButton, storedList);
    setTabOrder(storedList, newButton);
    setTabOrder(newButton, editButton);
    setTabOrder(editButton, deleteButton);
    setTabOrder(deleteButton, okButton);
    setTabOrder(okButton, cancelButton);

    Translate();

    for (const std::string& entry : recipients::SplitList(list))
        recipientList->addTopLevelItem(NewRow({}, entry));
    RefreshNames();
    UpdateButtons();
    storedList->setFocus();

    Send(NewKeyRequest(IsMail() ? DBMSG_FIND_MAIL_INFO : DBMSG_FIND_SMS_NUM_INFO, INFO_KIND_ALL, {}));
}

CMailSmsNumInfoDlg::~CMailSmsNumInfoDlg() = default;

void CMailSmsNumInfoDlg::Translate()
{
    setWindowTitle(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_1", "IDS_MAILSMSNUMINFODLG_MSG_6")));
    for (const char* key : {"IDC_MAIL_SMSNUM_INFO_MESSAGE_RECIPIENTS", "IDC_MAIL_SMSNUM_INFO_DATABASE"})
        findChild<QGroupBox*>(QString::fromLatin1(key))->setTitle(orvabox::Text(key));
    for (QPushButton* button : {addButton, removeButton, newButton, editButton, deleteButton, cancelButton})
        button->setText(orvabox::Text(button->objectName().toStdString()));
    recipientList->setHeaderLabels({orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_2", "IDS_MAILSMSNUMINFODLG_MSG_7")),
                                    orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_3", "IDS_MAILSMSNUMINFODLG_MSG_8"))});
    storedList->setHeaderLabels({orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_4", "IDS_MAILSMSNUMINFODLG_MSG_9")),
                                 orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_5", "IDS_MAILSMSNUMINFODLG_MSG_10"))});

    recipientList->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_26", "IDS_MAILSMSNUMINFODLG_MSG_35")));
    addButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_27", "IDS_MAILSMSNUMINFODLG_MSG_36")));
    removeButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_28", "IDS_MAILSMSNUMINFODLG_MSG_37")));
    storedList->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_29", "IDS_MAILSMSNUMINFODLG_MSG_38")));
    newButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_30", "IDS_MAILSMSNUMINFODLG_MSG_39")));
    editButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_31", "IDS_MAILSMSNUMINFODLG_MSG_40")));
    deleteButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_32", "IDS_MAILSMSNUMINFODLG_MSG_41")));
    okButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_33", "IDS_MAILSMSNUMINFODLG_MSG_42")));
    cancelButton->setToolTip(orvabox::Text(Key("IDS_MAILSMSNUMINFODLG_MSG_34", "IDS_MAILSMSNUMINFODLG_MSG_43")));
}

void CMailSmsNumInfoDlg::Send(std::unique_ptr<CMsg> request)
{
    if (sink)
        sink(std::move(request));
}

std::unique_ptr<CDatabaseMsg> CMailSmsNumInfoDlg::NewRecord(uint16_t code, const std::string& name,
                                                            const std::string& address) const
{
    std::unique_ptr<CDatabaseMsg> request;
    if (IsMail()) {
        auto mail = std::make_unique<CMailInfoMsg>(code);
        mail->Name = name;
        mail->Address = address;
        request = std::move(mail);
    } else {
        auto sms = std::make_unique<CSmsNumInfoMsg>(code);
        sms->Name = name;
        sms->Number = address;
        request = std::move(sms);
    }
    // The database puts this type on SMS answers (the object window and the
    // send-SMS window each hear their own); e-mail answers are always 33.
    request->ReplyType = answerType;
    return request;
}

std::unique_ptr<CDatabaseMsg> CMailSmsNumInfoDlg::NewKeyRequest(uint16_t code, int32_t kind,
                                                                const std::string& key) const
{
    std::unique_ptr<CKeyReqMsg> request;
    if (IsMail())
        request = std::make_unique<CMailInfoReqMsg>(code);
    else
        request = std::make_unique<CSmsNumInfoReqMsg>(code);
    request->Kind = kind;
    request->Key = key;
    request->ReplyType = answerType;
    return request;
}

bool CMailSmsNumInfoDlg::ReadRecord(const CMsg& msg, std::string& name, std::string& address) const
{
    if (IsMail()) {
        const auto* mail = dynamic_cast<const CMailInfoMsg*>(&msg);
        if (!mail)
            return false;
        name = mail->Name;
        address = mail->Address;
        return true;
    }
    const auto* sms = dynamic_cast<const CSmsNumInfoMsg*>(&msg);
    if (!sms)
        return false;
    name = sms->Name;
    address = sms->Number;
    return true;
}

std::string CMailSmsNumInfoDlg::GetList() const
{
    return joined;
}

int CMailSmsNumInfoDlg::StoredRow(const std::string& address) const
{
    for (int row = 0; row < storedList->topLevelItemCount(); ++row) {
        if (AddressOf(storedList->topLevelItem(row)) == address)
            return row;
    }
    return -1;
}

void CMailSmsNumInfoDlg::RefreshNames()
{
    for (int row = 0; row < recipientList->topLevelItemCount(); ++row) {
        QTreeWidgetItem* recipient = recipientList->topLevelItem(row);
        const int stored = StoredRow(AddressOf(recipient));
        recipient->setText(kNameColumn, stored < 0 ? QString::fromLatin1(kUnknownName)
                                                   : storedList->topLevelItem(stored)->text(kNameColumn));
    }
}

void CMailSmsNumInfoDlg::UpdateButtons()
{
    const bool stored = Selected(storedList) != nullptr;
    addButton->setEnabled(stored);
    editButton->setEnabled(stored);
    deleteButton->setEnabled(stored);
    removeButton->setEnabled(Selected(recipientList) != nullptr);
}

void CMailSmsNumInfoDlg::FillStored(const CMsg* first)
{
    storedList->clear();
    std::string name;
    std::string address;
    for (const CMsg* msg = first; msg; msg = msg->Next.get()) {
        if (ReadRecord(*msg, name, address))
            storedList->addTopLevelItem(NewRow(name, address));
    }
    RefreshNames();
    UpdateButtons();
}

void CMailSmsNumInfoDlg::OnAdd()
{
    const QTreeWidgetItem* stored = Selected(storedList);
    if (!stored)
        return;
    auto* row = NewRow(NameOf(stored), AddressOf(stored));
    recipientList->addTopLevelItem(row);
    recipientList->scrollToItem(row);
    recipientList->clearSelection();
    UpdateButtons();
}

void CMailSmsNumInfoDlg::OnRemove()
{
    QTreeWidgetItem* row = Selected(recipientList);
    if (!row)
        return;
    delete recipientList->takeTopLevelItem(recipientList->indexOfTopLevelItem(row));
    recipientList->clearSelection();
    UpdateButtons();
}

void CMailSmsNumInfoDlg::OnNew()
{
    CAddEditMailSmsNumDlg entry(mode, false, {}, {}, this);
    if (orvabox::ExecInWindow(entry) != QDialog::Accepted)
        return;
    sent.Push(Pending::Add, entry.GetName(), entry.GetAddress());
    Send(NewRecord(IsMail() ? DBMSG_ADD_MAIL_INFO : DBMSG_ADD_SMS_NUM_INFO, entry.GetName(), entry.GetAddress()));
}

void CMailSmsNumInfoDlg::OnEdit()
{
    const QTreeWidgetItem* stored = Selected(storedList);
    if (!stored)
        return;
    CAddEditMailSmsNumDlg entry(mode, true, NameOf(stored), AddressOf(stored), this);
    if (orvabox::ExecInWindow(entry) != QDialog::Accepted)
        return;
    sent.Push(Pending::Edit, entry.GetName(), entry.GetAddress());
    Send(NewRecord(IsMail() ? DBMSG_EDIT_MAIL_INFO : DBMSG_EDIT_SMS_NUM_INFO, entry.GetName(), entry.GetAddress()));
}

void CMailSmsNumInfoDlg::OnDelete()
{
    const QTreeWidgetItem* stored = Selected(storedList);
    if (!stored)
        return;
    sent.Push(Pending::Delete, NameOf(stored), AddressOf(stored));
    Send(NewKeyRequest(IsMail() ? DBMSG_DELETE_MAIL_INFO : DBMSG_DELETE_SMS_NUM_INFO, 0, AddressOf(stored)));
}

void CMailSmsNumInfoDlg::OnOk()
{
    std::vector<std::string> entries;
    for (int row = 0; row < recipientList->topLevelItemCount(); ++row)
        entries.push_back(AddressOf(recipientList->topLevelItem(row)));
    joined = recipients::JoinList(entries);
    accept();
}

void CMailSmsNumInfoDlg::Tell(const char* mailKey, const char* smsKey, QMessageBox::Icon icon)
{
    orvabox::AskInWindow(this, LookupText(Key(mailKey, smsKey)), icon, QMessageBox::Ok, QMessageBox::Ok);
}

void CMailSmsNumInfoDlg::OnReply(std::unique_ptr<CMsg> reply)
{
    const auto* answer = dynamic_cast<const CDatabaseMsg*>(reply.get());
    if (!answer || answer->GetType() != answerType)
        return;
    Sent taken;
    switch (answer->Result) {
    case DBRES_INFO_ADDED:
        if (sent.Take(Pending::Add, taken)) {
            auto* row = NewRow(taken.name, taken.value);
            storedList->addTopLevelItem(row);
            storedList->setCurrentItem(row);
            storedList->scrollToItem(row);
            RefreshNames();
            UpdateButtons();
            Tell("IDS_MAILSMSNUMINFODLG_MSG_11", "IDS_MAILSMSNUMINFODLG_MSG_19", QMessageBox::Information);
        }
        break;
    case DBRES_INFO_EXISTS:
        if (sent.Take(Pending::Add, taken)) {
            const char* key = Key("IDS_MAILSMSNUMINFODLG_MSG_12", "IDS_MAILSMSNUMINFODLG_MSG_20");
            orvabox::AskInWindow(this, FormatKey(key, {taken.value}), QMessageBox::Warning, QMessageBox::Ok,
                                 QMessageBox::Ok);
        }
        break;
    case DBRES_INFO_ADD_ERROR:
        sent.Take(Pending::Add, taken);
        Tell("IDS_MAILSMSNUMINFODLG_MSG_13", "IDS_MAILSMSNUMINFODLG_MSG_44", QMessageBox::Critical);
        break;
    case DBRES_INFO_FOUND_ALL: {
        std::string name;
        std::string address;
        if (ReadRecord(*answer, name, address))  // records of the other table are not ours
            FillStored(answer);
        break;
    }
    case DBRES_INFO_NONE:
        FillStored(nullptr);
        break;
    case DBRES_INFO_EDITED:
        if (sent.Take(Pending::Edit, taken)) {
            if (const int row = StoredRow(taken.value); row >= 0) {
                storedList->topLevelItem(row)->setText(kNameColumn, QString::fromStdString(taken.name));
                storedList->topLevelItem(row)->setText(kAddressColumn, QString::fromStdString(taken.value));
            }
            RefreshNames();
            Tell("IDS_MAILSMSNUMINFODLG_MSG_14", "IDS_MAILSMSNUMINFODLG_MSG_21", QMessageBox::Information);
        }
        break;
    case DBRES_INFO_EDIT_NOT_FOUND:
        sent.Take(Pending::Edit, taken);
        Tell("IDS_MAILSMSNUMINFODLG_MSG_15", "IDS_MAILSMSNUMINFODLG_MSG_22", QMessageBox::Critical);
        break;
    case DBRES_INFO_EDIT_ERROR:
        sent.Take(Pending::Edit, taken);
        Tell("IDS_MAILSMSNUMINFODLG_MSG_16", "IDS_MAILSMSNUMINFODLG_MSG_23", QMessageBox::Critical);
        break;
    case DBRES_INFO_DELETED:
        if (sent.Take(Pending::Delete, taken)) {
            if (const int row = StoredRow(taken.value); row >= 0)
                delete storedList->takeTopLevelItem(row);
            RefreshNames();
            UpdateButtons();
        }
        break;
    case DBRES_INFO_DELETE_NOT_FOUND:
        sent.Take(Pending::Delete, taken);
        Tell("IDS_MAILSMSNUMINFODLG_MSG_17", "IDS_MAILSMSNUMINFODLG_MSG_24", QMessageBox::Critical);
        break;
    case DBRES_INFO_DELETE_ERROR:
        sent.Take(Pending::Delete, taken);
        Tell("IDS_MAILSMSNUMINFODLG_MSG_18", "IDS_MAILSMSNUMINFODLG_MSG_25", QMessageBox::Critical);
        break;
    default:  // found by key, find error: nothing
        break;
    }
}
