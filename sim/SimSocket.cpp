#include "SimSocket.h"

#include <QNetworkProxy>
#include <QUdpSocket>

QUdpSocket *bindSharedUdpSocket(QObject *owner, const QHostAddress &address, quint16 port, const QString &what,
				QString *error)
{
	auto *socket = new QUdpSocket(owner);
	socket->setProxy(QNetworkProxy::NoProxy); // a camera answers its network directly
	if (socket->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
		return socket;
	if (error)
		*error = QStringLiteral("cannot bind %1%2:%3: %4")
				 .arg(what, address.toString())
				 .arg(port)
				 .arg(socket->errorString());
	delete socket;
	return nullptr;
}
