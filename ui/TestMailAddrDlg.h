#pragma once
// Asks for the address a test mail goes to.

#include <QDialog>

#include <string>

class CTestMailAddrDlg : public QDialog {
public:
    explicit CTestMailAddrDlg(QWidget* parent = nullptr);
    ~CTestMailAddrDlg() override;

    // The address as typed (after OK).
    std::string GetReceiveAddress() const;
};
