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
	    : m_other(other), m_otherPort(otherPort)
	{
		m_socket.setProxy(QNetworkProxy::NoProxy);
		m_bound = m_socket.bind(QHostAddress(address), port);
	}

	bool isBound() const { return m_bound; }
	quint16 port() const { return m_socket.localPort(); }
	QHostAddress otherAddress() const { return m_other; }
	quint16 otherPort() const { return m_otherPort; }

	void send(const QByteArray &datagram) { m_socket.writeDatagram(datagram, m_other, m_otherPort); }

	// Up to `count` datagrams, oldest first; fewer when `timeoutMs` passed without one.
	QList<QByteArray> receive(int count, int timeoutMs = kWaitMs)
	{
		QList<QByteArray> got;
		while (got.size() < count && (m_socket.hasPendingDatagrams() || m_socket.waitForReadyRead(timeoutMs))) {
			QByteArray datagram(int(m_socket.pendingDatagramSize()), '\0');
			m_socket.readDatagram(datagram.data(), datagram.size(), &m_other, &m_otherPort);
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
	QUdpSocket m_socket;
	QHostAddress m_other;
	quint16 m_otherPort = 0;
	bool m_bound = false;
};
