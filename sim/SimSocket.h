#pragma once

#include <QHostAddress>
#include <QString>

class QObject;
class QUdpSocket;

// A UDP socket bound with sharing on, so that each simulated camera of a fleet holds its ports on its own address
// and the camera can sit on 52381 next to a relay socket bound to 0.0.0.0:52381. Null, with the reason in `error`
// (naming `what`), when the address cannot be bound.
QUdpSocket *bindSharedUdpSocket(QObject *owner, const QHostAddress &address, quint16 port, const QString &what,
				QString *error);
