#pragma once
// The customer dialog: lists the customers of the register, adds, edits and
// deletes them, and gives the chosen one back to the object window (Select).
// Modal; its requests go to the database, and the answers (document message
// type 32) are handed to it through OnReply while it runs.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"

#include <QDialog>

#include <memory>
#include <string>

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
};
