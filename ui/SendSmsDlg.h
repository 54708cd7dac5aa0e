#pragma once
// The send-SMS window: a free-form SMS to one or more numbers, sent through
// the GSM manager, with the results listed newest first. Modeless; it lives
// as long as the GSM manager and keeps its fields and rows when hidden.

#include "gsm/SendSmsWindow.h"
#include "ui/DbRequestSink.h"

#include <QDialog>

#include <functional>
#include <string>

class CSendSmsDlg : public QDialog, public CSendSmsWindow {
public:
    // send(message, numbers): the GSM manager's free-form SMS with the
    // window's request id. requests: the database, for the recipient dialog.
    using SendFunction = std::function<void(const std::string& message, const std::string& numbers)>;
    CSendSmsDlg(SendFunction send, DbRequestSink requests, QWidget* parent = nullptr);
    ~CSendSmsDlg() override;

    // CSendSmsWindow
    void SetDocument(CDocumentHost* doc) override;
    void ShowWindow() override;
    void OnSendResult(const CGsmHandlerMsg& result) override;
    void OnSmsNumberReply(std::unique_ptr<CMsg> reply) override;

    // How the window beeps (tests count the beeps).
    void SetBeep(std::function<void()> beep);
};
