#pragma once

#include "settings/CameraEndpoint.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>

class QTcpSocket;
class QUdpSocket;
struct ViscaCommand;
struct ViscaInquiry;

// The camera link: one object per camera connection, with its own socket. Every camera operation is a blocking
// member call on the thread that owns the link (a camera worker's thread inside the product); the link must not be
// used from two threads. Only abortWaits() may be called from another thread.
//
// The link frames every message for VISCA over IP and reads every reply as VISCA over IP has it; a camera of
// another dialect (setDialect) gets the bare message, and its replies are handed up under the header they would
// have had, echoing the sequence number of the request they answer (a bare reply can only answer the last one).
class viscaIpModule : public QObject {
	Q_OBJECT

public:
	static constexpr quint16 kViscaPort = 52381;
	// A receive waits for at most kReceivePolls * kPollIntervalMs (about 350 ms) per expected reply.
	static constexpr int kReceivePolls = 35;
	static constexpr int kPollIntervalMs = 10;
	// The fixed pauses a camera needs to settle.
	// Before the zoom position is read: a zoom command still running reports an intermediate position.
	static constexpr int kZoomSettleMs = 500;
	// After a preset recall: the move finishes before the next command can interrupt it.
	static constexpr int kRecallSettleMs = 1000;
	// Between the two settings of a digital effect: the first is applied before the second arrives.
	static constexpr int kEffectStepPauseMs = 80;
	// After every command of the operator: the camera takes the next one only when it is ready for it.
	static constexpr int kCommandPauseMs = 100;

	explicit viscaIpModule(QObject *parent = nullptr);
	~viscaIpModule() override;

	// --- Transport and exchange ---
	uint32_t setViscaIpHeader(uint8_t *buffer, uint8_t typeLow, uint8_t length);
	void countingSerialNum();
	uint32_t getSerialNum() const { return serialNum; }
	qint64 writeVisca(const uint8_t *bytes, int length);
	QByteArray readVisca();
	bool ViscaAckComplete(uint32_t serial);
	bool writeViscaWithAckComplete(const uint8_t *bytes, int length, uint32_t serial, int tries);
	QByteArray writeInQWithData(const uint8_t *bytes, int length, uint32_t serial);
	QByteArray getInquery(const uint8_t *payload, int length);
	bool checkViscaError(const QByteArray &reply);

	// Whether the last command exchange was acknowledged and completed, or the last inquiry answered.
	// Operations keep their own signatures; scripting tools read the outcome here.
	bool lastExchangeOk() const { return lastExchangeSucceeded; }
	// Whether the camera sent anything for the last exchange (an answer, a completion, even a refusal): false
	// only when it stayed silent, which is what tells a camera that stopped answering from one that refuses.
	bool lastExchangeAnswered() const { return lastExchangeHeard; }
	// Whether the camera answered the last exchange with an error message: it refused the command. A reply that
	// never came (an acknowledge whose completion was lost) is no refusal.
	bool lastExchangeRefused() const { return lastExchangeRejected; }

	// Makes every wait of the link (receives, fixed pauses) return at once from now on and stops resends: a
	// link whose owner is shutting down sends what it still must and never waits for a silent camera.
	// Thread-safe; one-way.
	void abortWaits() { aborting.store(true); }
	// Aborted through abortWaits(), or because the thread running the link was asked to end
	// (QThread::requestInterruption): a worker's shutdown ends the waits of every link on its thread at once.
	bool waitsAborted() const;
	// A fixed pause of the protocol (a camera needs time to settle); returns early once waits are aborted.
	void pauseFor(int ms);
	// How many exchanges the link has completed or given up on; tells its owner whether an operation talked to
	// the camera at all.
	quint64 exchangeCount() const { return exchanges; }

	// How the camera wants its messages carried; set before onConnectToCamera (VISCA over IP by default).
	void setDialect(CameraDialect dialect);
	CameraDialect dialect() const { return dialectInUse; }
	// The connected TCP socket's descriptor (bare VISCA over TCP), -1 otherwise: the emergency stops write there.
	int streamDescriptor() const;
	// Whether the camera was found to echo one sequence number whatever it was sent: its replies are then taken by
	// their order.
	bool echoesFixedSerial() const { return fixedEcho.has_value(); }

	QHostAddress cameraAddress() const { return cameraAddr; }
	quint16 cameraPort() const { return cameraPortNum; }

	// Inquiries (get...) return the decoded value, or -1 when the camera gave no answer (0 is a real value: zoom 0
	// is the wide end); getAfMode and isPowerOK return false then. lastExchangeOk() tells which it was.

	// --- Virtual operations, in slot order; the model variants override some of them ---
	virtual bool onConnectToCamera(QString ip, int port);
	virtual bool isUdpSocketOK();
	virtual bool isPowerOK();
	virtual void setHue(int value);
	virtual int getHue();
	virtual void setSaturation(int value);
	virtual int getSaturation();
	virtual void setSharpness(int value);
	virtual int getSharpness();
	virtual int getAeGain();
	virtual void setPTZspeedComp(int value);
	virtual void setZoomDirect(int position);
	virtual void setPresetSpeed(int speed);

	bool isAddrSetOK();
	void setCmdClear();

	// --- Motion ---
	void setHome();
	void setMotorUP();
	void setMotorDown();
	void setMotorLeft();
	void setMotorRight();
	void setMotorUpLeft();
	void setMotorUpRight();
	void setMotorDownLeft();
	void setMotorDownRight();
	void setMotorStop();
	// The drives a stop ends.
	enum class Drive { PanTilt, Zoom, Focus };
	// The stop of `drive` as a whole datagram under the next serial number, as the link would send it now; for a
	// process that must stop its cameras without the link (from a signal handler, where nothing may wait).
	QByteArray stopDatagram(Drive drive);
	// Stored values are kept inside their fields (ViscaField), so what is stored is what is sent.
	void setPanSpeed(int speed);
	void setTiltSpeed(int speed);

	// --- Pan/tilt limits ---
	void setPanRightLimit(int step, uint32_t max, uint32_t min);
	void setTiltUpLimit(int step, uint32_t max, uint32_t min);
	void setPanLeftLimit(int step, uint32_t max, uint32_t min);
	void setTiltDownLimit(int step, uint32_t max, uint32_t min);
	void setPanTilt_RightUpLimit_Clear();
	void setPanTilt_LeftDownLimit_Clear();

	// --- Lens ---
	void setZoomSpeed(int speed);
	void setZoomIn();
	void setZoomOut();
	void setZoomStop();
	int getZoomDirect();
	void setFocusSpeed(int speed);
	void setFocusNearWithSpeed();
	void setFocusfarWithSpeed();
	void setFocusStop();
	void setFocusDirect(int position);
	int getFocusDirect();
	void setAfMode(bool autoFocus);
	bool getAfMode();

	// --- Tally lamp ---
	// The camera's tally lamp on or off.
	void setTally(bool on);

	// --- Presets ---
	// The memory (preset) number the memory commands of this link carry. Each link keeps its own: links of several
	// cameras run on threads of their own, and a store on one must never take another's number.
	void setMemory1_Index(int index) { presetIdx = index; }
	int memoryIndex() const { return presetIdx; }
	void setMemory1_Reset();
	void setMemory1_Save();
	void setMemory1_Recall();

	// --- Exposure ---
	void setAeMode(int mode);
	int getAeMode();
	void setShutterDirect(int value);
	int getShutterDirect();
	void setIrisDirect(int value);
	int getIrisDirect();
	void setAeGain(int value);

	// --- White balance ---
	void setWBmode(int mode);
	int getWBmode();
	void setRGain(int value);
	int getRGain();
	void setBGain(int value);
	int getBGain();
	void setOnePushTrigger();

	// --- Image ---
	void setBrightness(int value);
	int getBrightness();
	void setGamma(int value);
	int getGamma();
	void setFlip(int value);
	int getFlip();
	void setMirror(int value);
	int getMirror();
	void setImageMode(int value);
	int getImageMode();
	void setDigEffect(int effect);
	int getDigEffect();

	// Stored values, read back by tests and tools.
	int getPanSpeed() const { return panSpeed; }
	int getTiltSpeed() const { return tiltSpeed; }
	int getZoomSpeed() const { return zoomSpeed; }
	int getFocusSpeed() const { return focusSpeed; }
	uint32_t getPanRightLimit() const { return panRightLimit; }
	uint32_t getPanLeftLimit() const { return panLeftLimit; }
	uint32_t getTiltUpLimit() const { return tiltUpLimit; }
	uint32_t getTiltDownLimit() const { return tiltDownLimit; }

protected:
	// Frames a VISCA command payload under one serial number and runs the command exchange up to `tries`
	// times with the identical packet. Records the outcome for lastExchangeOk().
	bool sendCommand(const QByteArray &payload, int tries = 2);
	// Frames an inquiry payload and runs the inquiry exchange; the answer, or an empty array.
	QByteArray sendInquiry(const QByteArray &payload);
	// Frames one row of the command table with its value (and the second number of a two-number layout) and runs
	// the command exchange as the row says: its tries, and whether the completion is the reply to check.
	bool send(const ViscaCommand &command, int value = 0, int extra = 0);
	// Stores the preset speed, kept inside the field of the model's command, and sends it with that command.
	void sendPresetSpeed(const ViscaCommand &command, int speed);
	// Runs one inquiry and decodes its answer: the value, or -1 when the camera gave no answer (silence, a
	// refusal, a reply to another request, a truncated answer), which is logged once.
	int inquire(const ViscaInquiry &inquiry);
	// Makes the next receive return the second datagram that arrives instead of the first.
	void expectSecondReply() { secondReply = true; }
	void recordExchange(bool ok, bool heard, bool refused = false)
	{
		lastExchangeSucceeded = ok;
		lastExchangeHeard = heard;
		lastExchangeRejected = refused;
		++exchanges;
		noteExchangeEnd(ok, heard);
	}

	// Closes the socket (and the stream) and forgets what the camera was found to do.
	void closeCarriage();

	QUdpSocket *socket;
	QHostAddress cameraAddr;
	quint16 cameraPortNum = 0;
	uint32_t serialNum = 0;
	int panSpeed = 11;
	int tiltSpeed = 11;
	int zoomSpeed = 2;
	uint32_t panRightLimit = 0;
	uint32_t panLeftLimit = 0xFFFF;
	uint32_t tiltUpLimit = 0;
	uint32_t tiltDownLimit = 0xFFFF;
	int focusSpeed = 3;
	int presetSpeed = 0;
	int presetIdx = -1; // kept as set; fitted to the memory numbers when a command carries it
	bool secondReply = false;
	bool lastExchangeSucceeded = false;
	bool lastExchangeHeard = false;
	bool lastExchangeRejected = false;
	quint64 exchanges = 0;
	std::atomic<bool> aborting{false};

	// How often a wait looks whether it was aborted.
	static constexpr int kAbortCheckMs = 20;

private:
	// --- Carrying messages in the camera's dialect ---
	// Puts a packet (header and payload) on the wire as the dialect wants it.
	qint64 carry(const QByteArray &packet);
	// Drops what arrived since the last exchange: a late reply would be taken for the answer to the next packet.
	void dropLateReplies();
	// Waits until something arrived that may be a reply, at most `ms`.
	bool waitForArrival(int ms);
	// The next reply in VISCA over IP's shape; empty when what arrived was handled here (the acknowledge of a
	// reset, part of a message still on its way) or is nothing.
	QByteArray takeReply();
	QByteArray takeDatagram();
	QByteArray takeStreamMessage();
	bool ensureStream();
	// Header dialect: a sequence number the camera had seen already makes it ask for a RESET; the packet then goes
	// again under a fresh number, once.
	bool resetAndSendAgain();
	// Header dialect: the reply with its echo set to the request it answers, when it answers it by its order.
	QByteArray matchedReply(QByteArray reply);
	void noteExchangeEnd(bool ok, bool heard);

	CameraDialect dialectInUse = CameraDialect::ViscaOverIp;
	QTcpSocket *stream = nullptr;
	QByteArray streamBuffer;
	bool streamFailureLogged = false;
	QByteArray lastPacket;      // the packet being answered, as the link framed it
	uint32_t awaitedSerial = 0; // its sequence number, as the link's exchange expects to see it echoed
	uint32_t wireSerial = 0;    // the number it travels under (another one after a reset)
	bool resetTried = false;
	bool sentAgain = false; // the receive under way waits anew for the message sent again
	bool resetLogged = false;
	std::optional<uint32_t> fixedEcho; // the one number a camera echoes whatever it is sent
	std::optional<uint32_t> lastEcho;  // what the last reply echoed, and for which number sent
	uint32_t lastEchoFor = 0;
	std::deque<uint32_t> unanswered; // recent numbers whose exchange failed: their replies may still come

	// Sends the address set that tells whether a camera answers at the address.
	void sendAddressSet();
	QByteArray stopPayload(Drive drive) const;
};
