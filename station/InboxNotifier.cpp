#include "station/InboxNotifier.h"

#include <QCoreApplication>

CInboxNotifier::CInboxNotifier(std::function<void()> handler) : onNotify(std::move(handler))
{
}

void CInboxNotifier::Notify()
{
    // postEvent takes the event and is safe from any thread.
    QCoreApplication::postEvent(this, new QEvent(kEventType));
}

void CInboxNotifier::customEvent(QEvent* event)
{
    if (event->type() == kEventType && onNotify)
        onNotify();
}
