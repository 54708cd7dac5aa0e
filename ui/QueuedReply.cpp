#include "ui/QueuedReply.h"

#include <QMetaObject>

namespace queuedreply {

void Post(QObject* context, std::unique_ptr<CMsg> msg, std::function<void(std::unique_ptr<CMsg>)> handler)
{
    // Qt copies the functor: the message travels in a shared holder.
    auto holder = std::make_shared<std::unique_ptr<CMsg>>(std::move(msg));
    QMetaObject::invokeMethod(
        context, [holder, handler = std::move(handler)] { handler(std::move(*holder)); }, Qt::QueuedConnection);
}

}  // namespace queuedreply
