// The inter-process link the program hosts as uDat: one text message per Send, replies as DataArrival.
#pragma once

#include <QObject>
#include <QString>

namespace kalvo {

class Link : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Link() override = default;

    // Reaches the helper serving link `number`, waiting briefly for one that is still starting.
    // Already connected to that number: returns true at once. @return true when the link is up.
    virtual bool Connect(int number) = 0;

    // Delivers `text` to the helper as one message. @return false when the link is down.
    virtual bool Send(const QString& text) = 0;

    // Closes the link after the messages already sent have been handed over; harmless when down.
    virtual void Disconnect() = 0;

signals:
    // One message from the helper, on the thread that owns the link (the user-interface thread).
    void DataArrival(const QString& text);
};

} // namespace kalvo
