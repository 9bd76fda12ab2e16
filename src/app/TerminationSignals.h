#pragma once

#include <QObject>

class QSocketNotifier;

// Turns a request from outside to end the program (SIGTERM, SIGINT, SIGHUP on Unix) into a
// signal on the user-interface thread, so the program can end as if the owner had closed it.
// The only platform-specific code of the program lives in its implementation.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
