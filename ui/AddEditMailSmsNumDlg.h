#pragma once
// Enters a new stored e-mail address or SMS number with its name, or edits the
// name of one. In edit mode the address or number is the key of the stored
// entry and cannot be changed.

#include "ui/MailSmsNumInfoDlg.h"

#include <QDialog>

#include <string>

class QLineEdit;

class CAddEditMailSmsNumDlg : public QDialog {
public:
    static constexpr int kMaxLength = 80;  // name and address alike

    CAddEditMailSmsNumDlg(RecipientMode mode, bool editMode, const std::string& name, const std::string& address,
                          QWidget* parent = nullptr);

    // After OK: the name and the address or number (without leading or
    // trailing blanks; the key unchanged in edit mode).
    std::string GetName() const;
    std::string GetAddress() const;

    QLineEdit* NameField() const { return nameField; }
    QLineEdit* AddressField() const { return addressField; }

private:
    void OnOk();

    RecipientMode mode;
    bool editing;
    std::string keyAddress;  // edit mode: the stored key, returned unchanged
    QLineEdit* nameField = nullptr;
    QLineEdit* addressField = nullptr;
};
