#include "mail/SmtpStep.h"

#include "mail/MailHandler.h"

uint8_t SmtpStep::FailureClass(int16_t waitResult, int16_t reply) const
{
    if (failClass != MHM_FAIL_NONE)
        return failClass;
    if (waitResult == MAILHND_WRRET_OTHER) {
        if (reply == MAILINFO_RESP_PERMANENT)
            return MHM_FAIL_PERMANENT;
        if (reply == MAILINFO_RESP_POSITIVE || reply == MAILINFO_RESP_INTERMEDIATE)
            return MHM_FAIL_PERMANENT;  // out of place: the server would answer the same again
    }
    return MHM_FAIL_TRANSIENT;  // no reply in time, the connection is gone, or a 4xx reply
}

const SmtpStep* SmtpStep::Find(std::span<const SmtpStep> table, int16_t state)
{
    for (const SmtpStep& step : table) {
        if (step.sendState == state || step.waitState == state)
            return &step;
    }
    return nullptr;
}
