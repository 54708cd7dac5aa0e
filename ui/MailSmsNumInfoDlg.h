#pragma once
// The recipient dialog: composes the recipient list of one field from the
// stored e-mail addresses or SMS numbers, and maintains those. Modal; its
// requests go to the database, and the answers are handed to it through
// OnReply while it runs.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

enum class RecipientMode { Mail, Sms };

class CMailSmsNumInfoDlg : public QDialog {
public:
    // replyType: the document message type the database puts on its answers
    // to an SMS-mode dialog (34 for the object window, 35 for the send-SMS
    // window); e-mail answers always come back as type 33.
    CMailSmsNumInfoDlg(DbRequestSink requests, RecipientMode mode, uint16_t replyType, const std::string& list,
                       QWidget* parent = nullptr);
    ~CMailSmsNumInfoDlg() override;

    // An e-mail or SMS-number answer; the dialog takes it.
    void OnReply(std::unique_ptr<CMsg> reply);

    // After OK: the recipients joined with "; ".
    std::string GetList() const;
};
