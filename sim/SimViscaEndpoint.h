#pragma once

#include "SimCameraState.h"
#include "SimCommandTable.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QWaitCondition>

#include <cstdint>
#include <optional>

class QTcpServer;
class QTcpSocket;
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
	// How the camera takes its messages: VISCA over IP (the header, UDP), or the bare message alone in a UDP
	// datagram or on a TCP stream (each message ending with FF). Whatever the carriage, what arrived is recorded
	// and answered in VISCA over IP's shape (a bare message under a header made up for it).
	enum class Carriage { Header, BareUdp, Tcp };
	// How a VISCA-over-IP camera deviates from the usual: a sequence number it saw already is refused with the
	// control reply 0F 01 until a RESET; every reply goes to one port of the controller (52381, its VISCA port)
	// rather than the port that asked; every reply echoes sequence number 1.
	struct Quirks {
		bool strictSequence = false;
		quint16 repliesToPort = 0; // 0: to the port that asked
		bool fixedEcho = false;
	};

	// One reply datagram and how long after the request it leaves.
	struct Reply {
		QByteArray datagram;
		int afterMs = 0;
		bool completion = false; // a command's completion
		int releasesSocket = 0;  // the socket a move frees when it completes; 0: none
	};

	SimViscaEndpoint(const SimModel &model, bool log);
	~SimViscaEndpoint() override;

	// Set before bind.
	void setCarriage(Carriage carriage, Quirks quirks);
	bool bind(const QHostAddress &address, quint16 port, QString *error);
	void close();
	quint16 boundPort() const;
	// Sends one datagram from the camera's port at once, past every fault switch.
	void sendDatagram(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort);

	const SimCommandTable &table() const { return commandTable; }

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
	void acceptStream();
	void readStream();

private:
	// Records one message as it arrived (in VISCA over IP's shape) and answers it.
	void take(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort);
	// A bare message under the header a VISCA-over-IP camera would have read it with.
	QByteArray withHeader(const QByteArray &message);
	// The control reply 0F 01 when the message's sequence number was seen already; the mutex is held.
	std::optional<QByteArray> refusedSequence(const QByteArray &datagram);
	// The replies of one VISCA message; the mutex is held.
	QList<Reply> answerMessage(const QByteArray &datagram);
	int freeSocket() const; // the lowest socket no move holds; 0 when both do
	int moveMs(int steps) const;
	void reply(const QList<Reply> &replies, const QHostAddress &peer, quint16 peerPort);
	void logLine(const char *direction, const QByteArray &datagram) const;
	// One line of the log: a state the camera shows ("tally on").
	void logText(const QByteArray &text) const;

	const SimCommandTable commandTable;
	const bool logging;
	QUdpSocket *udpSocket = nullptr;
	Carriage messageCarriage = Carriage::Header;
	Quirks cameraQuirks;
	QTcpServer *server = nullptr;
	QPointer<QTcpSocket> stream; // the latest connection: replies go there
	QByteArray streamBuffer;
	quint32 bareCount = 0; // the sequence numbers made up for bare messages

	mutable QMutex mutex; // guards everything below
	mutable QWaitCondition receivedChanged;
	SimCameraState cameraState;
	int dropCount = 0;
	int dropCompletionCount = 0;
	int replyDelayMs = 0;
	double moveMsPerUnit = 0.25;
	unsigned busySockets = 0; // bit y set: socket y holds a move
	int wrongSerialCount = 0;
	int pendingErrorCode = -1; // -1: no error reply pending
	bool silenced = false;
	std::optional<quint32> lastSequence; // the last one a strict camera took
	bool answersAddressSet = true;
	QList<QByteArray> receivedDatagrams; // the latest receivedLimit datagrams
	int receivedLimit = 0;
	qint64 receivedCount = 0; // since the last clear, kept or not
	QHostAddress lastSender;
	quint16 lastSenderPort = 0;
};
