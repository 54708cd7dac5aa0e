#include "core/Msg.h"

CMsg::~CMsg()
{
    // A reply chain may hold thousands of records. Unlink it iteratively so
    // that destroying a long chain cannot overflow the stack by recursing
    // through each Next's destructor.
    std::unique_ptr<CMsg> rest = std::move(Next);
    while (rest) {
        std::unique_ptr<CMsg> following = std::move(rest->Next);
        rest = std::move(following);
    }
}
