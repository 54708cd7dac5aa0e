#pragma once
// The customer dialog: lists the customers of the register, adds, edits and
// deletes them, and gives the chosen one back to the object window (Select).
// Modal; its requests go to the database, and the answers (document message
// type 32) are handed to it through OnReply while it runs.
//
// The constructor already asks for all customers; the opener hands the
// answer over once the dialog runs.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"
#include "ui/PendingEdits.h"

#include <QDialog>
#include <QMessageBox>

#include <memory>
#include <string>

class CDatabaseMsg;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CCustomerInfoDlg : public QDialog {
public:
    // currentCustomer: the object's customer, selected when it is listed.
    CCustomerInfoDlg(DbRequestSink requests, const std::string& currentCustomer, QWidget* parent = nullptr);
    ~CCustomerInfoDlg() override;

    // A customer answer; the dialog takes it.
    void OnReply(std::unique_ptr<CMsg> reply);

    // After Select (the dialog accepted): the chosen customer, both empty
    // for "- No Customer Information selected".
    std::string GetName() const;
    std::string GetInfo() const;

    // The operations behind the buttons and the drop-down.
    void OnChoose(int index);
    void OnNew();
    void OnEdit();
    void OnDelete();
    void OnSelect();

private:
    // A request sent whose answer is still to come, with what it sent.
    using Pending = CPendingEdits::Kind;
    using Sent = CPendingEdits::Entry;  // value: the customer info

    void Translate();
    void Send(std::unique_ptr<CMsg> request);
    void FillList(const CMsg& first);
    void ShowCustomer(const std::string& name, const std::string& info, bool stored);
    void SelectEntry(const std::string& name);
    void Tell(const std::string& text, QMessageBox::Icon icon);

    DbRequestSink sink;
    std::string current;
    CPendingEdits sent;
    std::string shownName;
    std::string shownInfo;

    QComboBox* customerList = nullptr;
    QLineEdit* nameField = nullptr;
    QPlainTextEdit* infoField = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* selectButton = nullptr;
    QPushButton* closeButton = nullptr;
};
