#pragma once
// Enters a new customer or edits the info of one. In edit mode the name is
// the key of the stored customer and cannot be changed.

#include <QDialog>

#include <string>

class QLineEdit;
class QPlainTextEdit;

class CAddEditCustomerInfoDlg : public QDialog {
public:
    static constexpr int kMaxNameLength = 40;
    static constexpr int kMaxInfoLength = 65535;

    // editMode false: a new customer (name and info start as given, normally
    // empty); true: the stored customer's name and info.
    CAddEditCustomerInfoDlg(bool editMode, const std::string& name, const std::string& info, QWidget* parent = nullptr);

    // After OK: the name (without leading or trailing blanks for a new
    // customer; as stored in edit mode) and the info.
    std::string GetName() const;
    std::string GetInfo() const;

    QLineEdit* NameField() const { return nameField; }
    QPlainTextEdit* InfoField() const { return infoField; }

private:
    void OnOk();
    void LimitInfo();

    bool editing;
    std::string keyName;  // edit mode: the stored name, returned unchanged
    QLineEdit* nameField = nullptr;
    QPlainTextEdit* infoField = nullptr;
};
