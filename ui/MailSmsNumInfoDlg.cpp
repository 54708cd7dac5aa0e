#include "ui/MailSmsNumInfoDlg.h"

CMailSmsNumInfoDlg::CMailSmsNumInfoDlg(DbRequestSink, RecipientMode, uint16_t, const std::string&, QWidget* parent)
    : QDialog(parent)
{
}
CMailSmsNumInfoDlg::~CMailSmsNumInfoDlg() = default;
void CMailSmsNumInfoDlg::OnReply(std::unique_ptr<CMsg>) {}
std::string CMailSmsNumInfoDlg::GetList() const { return {}; }
