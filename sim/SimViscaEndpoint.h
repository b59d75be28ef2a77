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
//
// Like a camera, it ignores a datagram whose header is shorter than eight bytes, whose length field does not match
// its payload or whose serial number bytes are not nibbles. It has two command sockets: a command that moves the
// head or the lens (a preset recall, a direct zoom or focus) is acknowledged at once and holds its socket until
// its completion, after a time that grows with the distance; a command arriving meanwhile takes the other socket
// and is acknowledged (and completed, when it does not move) while the move's completion is still to come. With
// both sockets held, a command gets 90 60 03 FF (buffer full) and is not executed.
class SimViscaEndpoint : public QObject {
	Q_OBJECT
public:
	// One reply datagram and how long after the request it leaves.
	struct Reply {
		QByteArray datagram;
		int afterMs = 0;
		bool completion = false; // a command's completion
		int releasesSocket = 0;  // the socket a move frees when it completes; 0: none
	};

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
	void dropNextCompletions(int count);
	void setReplyDelayMs(int ms);
	// Milliseconds a move takes per unit of distance (256 position steps of the head or the lens).
	void setMoveMsPerUnit(double ms);
	void wrongSerialNextReplies(int count);
	void errorNextRequest(uint8_t errorCode);
	void setSilent(bool silent);
	void setAnswersAddressSet(bool answers);

	// How many of the latest datagrams are kept (set before any arrives); waitForReceived counts every one.
	void setReceivedLimit(int limit);
	QList<QByteArray> received() const;
	void clearReceived();
	bool waitForReceived(int count, int timeoutMs) const;
	QHostAddress lastPeerAddress() const;
	quint16 lastPeerPort() const;

	// The replies for one received datagram, header included and before any fault is applied.
	QList<Reply> answerDatagram(const QByteArray &datagram);

private slots:
	void readPending();

private:
	// The replies of one VISCA message; m_mutex is held.
	QList<Reply> answerMessage(const QByteArray &datagram);
	int freeSocket() const; // the lowest socket no move holds; 0 when both do
	int moveMs(int steps) const;
	void reply(const QList<Reply> &replies, const QHostAddress &peer, quint16 peerPort);
	void logLine(const char *direction, const QByteArray &datagram) const;
	// One line of the log: a state the camera shows ("tally on").
	void logText(const QByteArray &text) const;

	const SimCommandTable m_table;
	const bool m_log;
	QUdpSocket *m_socket = nullptr;

	mutable QMutex m_mutex; // guards everything below
	mutable QWaitCondition m_receivedChanged;
	SimCameraState m_state;
	int m_dropCount = 0;
	int m_dropCompletionCount = 0;
	int m_delayMs = 0;
	double m_moveMsPerUnit = 0.25;
	unsigned m_busySockets = 0; // bit y set: socket y holds a move
	int m_wrongSerialCount = 0;
	int m_errorCode = -1; // -1: no error reply pending
	bool m_silent = false;
	bool m_answersAddressSet = true;
	QList<QByteArray> m_received; // the latest m_receivedLimit datagrams
	int m_receivedLimit = 0;
	qint64 m_receivedCount = 0; // since the last clear, kept or not
	QHostAddress m_lastPeer;
	quint16 m_lastPeerPort = 0;
};
