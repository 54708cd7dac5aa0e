#include "ui/TestMailAddrDlg.h"

CTestMailAddrDlg::CTestMailAddrDlg(QWidget* parent) : QDialog(parent) {}
CTestMailAddrDlg::~CTestMailAddrDlg() = default;
std::string CTestMailAddrDlg::GetReceiveAddress() const { return {}; }
