#pragma once

#include <QObject>
#include <QStringList>

// Relay object of one message-bus registration: carries a posted string list
// to the receiver's slot through Qt's signal delivery, so that the delivery
// follows the automatic-connection rule (direct on the receiver's thread,
// queued from any other thread).
class obesrver_apater : public QObject {
    Q_OBJECT
public:
    obesrver_apater() = default;

signals:
    void notify(QStringList message);
};
