#pragma once

#include "SimCameraState.h"
#include "SimModels.h"

#include <QByteArray>
#include <QList>
#include <QVector>

// What the camera does with one VISCA message.
struct SimOutcome {
	enum class Kind {
		Command, // executed: acknowledge 90 4y FF, then completion 90 5y FF (y: the socket it took)
		Answer,  // inquiry answer 90 50 <data> FF
		Error,   // 90 6y <code> FF (y: socket number)
		Raw,     // one reply with exactly these bytes (88 30 02 FF and other broadcast replies)
		Silence, // no reply at all (a camera that ignores the address-set probe)
	};
	Kind kind = Kind::Error;
	QByteArray bytes;  // Answer: the data bytes; Raw: the whole reply; Error: one byte, the error code
	int socket = 0;    // Error: y of 90 6y
	int moveSteps = 0; // Command: how far the head or the lens travels before the command completes

	static SimOutcome command() { return {Kind::Command, {}, 0, 0}; }
	// A command that completes once the camera has travelled `steps` position steps.
	static SimOutcome move(int steps) { return {Kind::Command, {}, 0, steps}; }
	static SimOutcome answer(const QByteArray &data) { return {Kind::Answer, data, 0, 0}; }
	static SimOutcome syntaxError() { return {Kind::Error, QByteArray(1, char(0x02)), 0, 0}; }
	static SimOutcome bufferFull() { return {Kind::Error, QByteArray(1, char(0x03)), 0, 0}; }
	static SimOutcome notExecutable() { return {Kind::Error, QByteArray(1, char(0x41)), 1, 0}; }
	static SimOutcome raw(const QByteArray &bytes) { return {Kind::Raw, bytes, 0, 0}; }
	static SimOutcome silence() { return {Kind::Silence, {}, 0, 0}; }

	// The reply payloads, in sending order (one datagram each); a command's carry the socket it took.
	QList<QByteArray> replies(int commandSocket = 1) const;
};

// The camera's own reading of VISCA: one table of message patterns written from the protocol, each with the
// effect it has on the camera state and the answer it produces. It deliberately shares nothing with the
// controller's encoder, so that a byte mistake shows up as a disagreement instead of hiding in both.
//
// Patterns are written as the protocol documents them: upper-case hex pairs are literal bytes; "vv", "ww" (two
// equal lower-case letters) take one whole byte; "0p" takes one byte that must be 00..0F, and consecutive "0p"
// tokens with the same letter form one number of 4 bits per byte ("0p 0p 0p 0p" is a 16-bit value). A message
// matches a pattern only when its length matches too.
//
// Like a camera, it refuses with a syntax error (90 60 02 FF) a message that carries FF before its end and a value
// outside its field (a speed beyond the protocol's range, a mode wider than a nibble). Answers have the widths of
// real cameras: 90 50 0p FF for modes and on/off states, 00 00 0p 0q for iris, gain, brightness, sharpness and hue.
class SimCommandTable {
public:
	enum PayloadType : int { CommandType = 0x00, InquiryType = 0x10, AnyType = -1 };

	explicit SimCommandTable(SimModel model);

	const SimModel &model() const { return playedModel; }

	// Applies one message (the payload after the 8-byte header) to `state` and returns what to answer.
	// `payloadType` is header byte 1; `answersAddressSet` is the fault-injection switch for 88 30 01 FF.
	SimOutcome handle(const QByteArray &payload, int payloadType, SimCameraState &state,
			  bool answersAddressSet = true) const;

	// The identification replies (whole payloads), exposed so tests can compare them with the parsers' rules.
	QByteArray versionReply() const;
	QByteArray codeReply(SimIdentityFamily family) const;

private:
	SimModel playedModel;
};
