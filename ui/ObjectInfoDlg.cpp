#include "ui/ObjectInfoDlg.h"

CObjectInfoDlg::CObjectInfoDlg(DbRequestSink, QWidget* parent) : QDialog(parent) {}
CObjectInfoDlg::~CObjectInfoDlg() = default;
void CObjectInfoDlg::OpenNewObject(const std::string&) {}
void CObjectInfoDlg::FindObject(const std::string&, bool) {}
void CObjectInfoDlg::OpenFromList() {}
void CObjectInfoDlg::SaveCommand() {}
void CObjectInfoDlg::OnReply(std::unique_ptr<CMsg>) {}
void CObjectInfoDlg::SetBeep(std::function<void()>) {}
