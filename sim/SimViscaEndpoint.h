#pragma once

#include "SimCameraState.h"
#include "SimCommandTable.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <cstdint>

class QUdpSocket;

// One simulated camera's VISCA-over-IP port: a UDP socket on the simulator thread, the camera state, the
// fault switches and the record of what arrived. Everything but bind/close/sendDatagram may be called from any
// thread; those three run on the simulator thread (CameraSimulator arranges that).
class SimViscaEndpoint : public QObject {
	Q_OBJECT
public:
	SimViscaEndpoint(const SimModel &model, bool log);
	~SimViscaEndpoint() override;

	bool bind(const QHostAddress &address, quint16 port, QString *error);
	void close();
	quint16 boundPort() const;
	// Sends one datagram from the camera's port at once, past every fault switch.
	void sendDatagram(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort);

	const SimCommandTable &table() const { return m_table; }

	SimCameraState state() const;
	void setState(const SimCameraState &state);

	void dropNextReplies(int count);
	void setReplyDelayMs(int ms);
	void wrongSerialNextReplies(int count);
	void errorNextRequest(uint8_t errorCode);
	void setSilent(bool silent);
	void setAnswersAddressSet(bool answers);

	QList<QByteArray> received() const;
	void clearReceived();
	bool waitForReceived(int count, int timeoutMs) const;
	QHostAddress lastPeerAddress() const;
	quint16 lastPeerPort() const;

	// The replies for one received datagram, header included and before any fault is applied.
	QList<QByteArray> answerDatagram(const QByteArray &datagram);

private slots:
	void readPending();

private:
	void reply(const QList<QByteArray> &datagrams, const QHostAddress &peer, quint16 peerPort);
	void logLine(const char *direction, const QByteArray &datagram) const;

	const SimCommandTable m_table;
	const bool m_log;
	QUdpSocket *m_socket = nullptr;

	mutable QMutex m_mutex; // guards everything below
	mutable QWaitCondition m_receivedChanged;
	SimCameraState m_state;
	int m_dropCount = 0;
	int m_delayMs = 0;
	int m_wrongSerialCount = 0;
	int m_errorCode = -1; // -1: no error reply pending
	bool m_silent = false;
	bool m_answersAddressSet = true;
	QList<QByteArray> m_received;
	QHostAddress m_lastPeer;
	quint16 m_lastPeerPort = 0;
};
