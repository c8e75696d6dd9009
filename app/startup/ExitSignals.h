// SIGTERM, SIGINT and SIGHUP brought into the event loop through a self-pipe, so that a desktop
// logging out, Ctrl-C or kill end the program by its normal Exit path.
#pragma once

#include <QObject>

class QSocketNotifier;

class ExitSignals : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers; one instance per process.
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

signals:
    // The signal's number, delivered on the event loop's thread.
    void exitRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier;
};
