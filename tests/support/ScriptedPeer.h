#pragma once
// A scripted UDP peer on a loopback address, for the tests that speak to a simulated camera or play a camera
// themselves: hand-written datagrams out, what comes back in, every wait bounded.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QNetworkProxy>
#include <QUdpSocket>

class ScriptedPeer {
public:
	static constexpr int kWaitMs = 5000;

	// Bound to `address` on `port` (an ephemeral one by default); it sends to `other`, and after each datagram it
	// takes in, back to whoever sent that.
	explicit ScriptedPeer(const QString &address, const QHostAddress &other = QHostAddress(), quint16 otherPort = 0,
			      quint16 port = 0)
	    : destination(other), destinationPort(otherPort)
	{
		socket.setProxy(QNetworkProxy::NoProxy);
		bound = socket.bind(QHostAddress(address), port);
	}

	bool isBound() const { return bound; }
	quint16 port() const { return socket.localPort(); }
	QHostAddress otherAddress() const { return destination; }
	quint16 otherPort() const { return destinationPort; }

	void send(const QByteArray &datagram) { socket.writeDatagram(datagram, destination, destinationPort); }

	// Up to `count` datagrams, oldest first; fewer when `timeoutMs` passed without one.
	QList<QByteArray> receive(int count, int timeoutMs = kWaitMs)
	{
		QList<QByteArray> got;
		while (got.size() < count && (socket.hasPendingDatagrams() || socket.waitForReadyRead(timeoutMs))) {
			QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
			socket.readDatagram(datagram.data(), datagram.size(), &destination, &destinationPort);
			got << datagram;
		}
		return got;
	}
	QByteArray receiveOne()
	{
		const QList<QByteArray> got = receive(1);
		return got.isEmpty() ? QByteArray() : got.first();
	}
	QList<QByteArray> exchange(const QByteArray &datagram, int replies)
	{
		send(datagram);
		return receive(replies);
	}

private:
	QUdpSocket socket;
	QHostAddress destination;
	quint16 destinationPort = 0;
	bool bound = false;
};
