#pragma once
// Asks for the address a test mail goes to.

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class CTestMailAddrDlg : public QDialog {
public:
    static constexpr int kMaxAddressChars = 80;

    explicit CTestMailAddrDlg(QWidget* parent = nullptr);
    ~CTestMailAddrDlg() override;

    // The address as typed (after OK).
    std::string GetReceiveAddress() const;

    QLineEdit* AddressField() const { return address; }
    QPushButton* OkButton() const { return ok; }
    QPushButton* CancelButton() const { return cancel; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* label = nullptr;
    QLineEdit* address = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    std::string receiveAddress;
};
