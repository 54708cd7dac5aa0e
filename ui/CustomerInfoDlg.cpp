#include "ui/CustomerInfoDlg.h"

CCustomerInfoDlg::CCustomerInfoDlg(DbRequestSink, const std::string&, QWidget* parent) : QDialog(parent) {}
CCustomerInfoDlg::~CCustomerInfoDlg() = default;
void CCustomerInfoDlg::OnReply(std::unique_ptr<CMsg>) {}
std::string CCustomerInfoDlg::GetName() const { return {}; }
std::string CCustomerInfoDlg::GetInfo() const { return {}; }
