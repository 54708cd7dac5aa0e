#pragma once
// The document's mailbox on the user-interface thread. Any thread may call
// Notify; each call posts one parameterless event (the toolkit's first
// user-defined event type), and each event, when the user-interface thread's
// event loop delivers it, runs the handler once. One event per queued message
// is what lets a burst of messages be worked off one by one between other
// user-interface work, none left behind.

#include <QEvent>
#include <QObject>

#include <functional>

class CInboxNotifier : public QObject {
public:
    static constexpr QEvent::Type kEventType = QEvent::User;

    // Lives on the thread that creates it, which must be the
    // user-interface thread.
    explicit CInboxNotifier(std::function<void()> handler);

    // Thread-safe.
    void Notify();

protected:
    void customEvent(QEvent* event) override;

private:
    std::function<void()> onNotify;
};
