#pragma once
// The recipient dialog: composes the recipient list of one field from the
// stored e-mail addresses or SMS numbers, and maintains those. Modal; its
// requests go to the database, and the answers are handed to it through
// OnReply while it runs.
//
// The constructor already asks for all stored entries; the opener hands the
// answer over once the dialog runs. Answers of another type than the
// dialog's (33 for e-mail, the given reply type for SMS) are not taken.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"
#include "ui/PendingEdits.h"

#include <QDialog>
#include <QMessageBox>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDatabaseMsg;
class QPushButton;
class QTreeWidget;

enum class RecipientMode { Mail, Sms };

class CMailSmsNumInfoDlg : public QDialog {
public:
    // replyType: the document message type the database puts on its answers
    // to an SMS-mode dialog (34 for the object window, 35 for the send-SMS
    // window); e-mail answers always come back as type 33.
    CMailSmsNumInfoDlg(DbRequestSink requests, RecipientMode mode, uint16_t replyType, const std::string& list,
                       QWidget* parent = nullptr);
    ~CMailSmsNumInfoDlg() override;

    // An e-mail or SMS-number answer; the dialog takes it.
    void OnReply(std::unique_ptr<CMsg> reply);

    // After OK: the recipients joined with "; ".
    std::string GetList() const;

    // The operations behind the buttons.
    void OnAdd();
    void OnRemove();
    void OnNew();
    void OnEdit();
    void OnDelete();
    void OnOk();

private:
    // A request sent whose answer is still to come, with what it sent. The
    // stored row is found again by its address or number when the answer
    // comes, so a list that changed meanwhile cannot make it touch another row.
    using Pending = CPendingEdits::Kind;
    using Sent = CPendingEdits::Entry;  // value: the address or number

    bool IsMail() const { return mode == RecipientMode::Mail; }
    const char* Key(const char* mailKey, const char* smsKey) const { return IsMail() ? mailKey : smsKey; }
    void Translate();
    void Send(std::unique_ptr<CMsg> request);
    std::unique_ptr<CDatabaseMsg> NewRecord(uint16_t code, const std::string& name, const std::string& address) const;
    std::unique_ptr<CDatabaseMsg> NewKeyRequest(uint16_t code, int32_t kind, const std::string& key) const;
    bool ReadRecord(const CMsg& msg, std::string& name, std::string& address) const;
    void FillStored(const CMsg* first);
    int StoredRow(const std::string& address) const;
    void RefreshNames();
    void UpdateButtons();
    void Tell(const char* mailKey, const char* smsKey, QMessageBox::Icon icon);

    DbRequestSink sink;
    RecipientMode mode;
    uint16_t answerType;
    std::string joined;
    CPendingEdits sent;

    QTreeWidget* recipientList = nullptr;
    QTreeWidget* storedList = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};
