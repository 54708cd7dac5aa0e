#pragma once
// Hands a database answer to a window after the document's dispatch has
// returned. The windows answer some replies with a message box; run inside
// the dispatch, a box left open would hold back every alarm that arrives
// meanwhile. Queued, the box waits on its own and alarms keep being stored
// and shown.

#include "core/Msg.h"

#include <QObject>

#include <functional>
#include <memory>

namespace queuedreply {

// Runs handler(msg) from the event loop of context's thread, unless context
// is destroyed first (the message is then deleted).
void Post(QObject* context, std::unique_ptr<CMsg> msg, std::function<void(std::unique_ptr<CMsg>)> handler);

}  // namespace queuedreply
