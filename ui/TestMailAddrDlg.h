#pragma once
// Asks for the address a test mail goes to.

#include <QDialog>

#include <functional>
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

    // The test mail of the e-mail settings: asks for the address and hands
    // it to send (the mail manager's SendTestMail with the values typed on
    // the page). Nothing is sent when the operator cancels or leaves the
    // address empty. True when the mail was handed on.
    static bool AskAndSend(QWidget* parent, const std::function<void(const std::string& recipient)>& send);

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
