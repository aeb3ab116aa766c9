#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGHUP (logout, `kill`, a session manager) as a Qt signal on
// the GUI thread. The handlers only write a byte into a socket pair; the
// notifier on its other end emits received() from the event loop, where any
// work is safe. One object at a time; its handlers are installed while it
// lives and the default ones come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Whether the handlers are in place.
    bool isActive() const { return notifier_ != nullptr; }

Q_SIGNALS:
    // SIGTERM or SIGHUP arrived (once per signal).
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};
