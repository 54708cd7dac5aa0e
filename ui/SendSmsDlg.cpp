#include "ui/SendSmsDlg.h"

CSendSmsDlg::CSendSmsDlg(SendFunction, DbRequestSink, QWidget* parent) : QDialog(parent) {}
CSendSmsDlg::~CSendSmsDlg() = default;
void CSendSmsDlg::SetDocument(CDocumentHost*) {}
void CSendSmsDlg::ShowWindow() {}
void CSendSmsDlg::OnSendResult(const CGsmHandlerMsg&) {}
void CSendSmsDlg::OnSmsNumberReply(std::unique_ptr<CMsg>) {}
void CSendSmsDlg::SetBeep(std::function<void()>) {}
