#pragma once

#include "SimCameraState.h"
#include "SimModels.h"

#include <QByteArray>
#include <QList>
#include <QVector>

// What the camera does with one VISCA message.
struct SimOutcome {
	enum class Kind {
		Command, // executed: acknowledge 90 41 FF, then completion 90 51 FF
		Answer,  // inquiry answer 90 50 <data> FF
		Error,   // 90 6y <code> FF (y: socket number)
		Raw,     // one reply with exactly these bytes (88 30 02 FF and other broadcast replies)
		Silence, // no reply at all (a camera that ignores the address-set probe)
	};
	Kind kind = Kind::Error;
	QByteArray bytes; // Answer: the data bytes; Raw: the whole reply; Error: one byte, the error code
	int socket = 0;   // Error: y of 90 6y

	static SimOutcome command() { return {Kind::Command, {}, 0}; }
	static SimOutcome answer(const QByteArray &data) { return {Kind::Answer, data, 0}; }
	static SimOutcome syntaxError() { return {Kind::Error, QByteArray(1, char(0x02)), 0}; }
	static SimOutcome messageLengthError() { return {Kind::Error, QByteArray(1, char(0x01)), 0}; }
	static SimOutcome notExecutable() { return {Kind::Error, QByteArray(1, char(0x41)), 1}; }
	static SimOutcome raw(const QByteArray &bytes) { return {Kind::Raw, bytes, 0}; }
	static SimOutcome silence() { return {Kind::Silence, {}, 0}; }

	// The reply payloads, in sending order (one datagram each).
	QList<QByteArray> replies() const;
};

// The camera's own reading of VISCA: one table of message patterns written from the protocol, each with the
// effect it has on the camera state and the answer it produces. It deliberately shares nothing with the
// controller's encoder, so that a byte mistake shows up as a disagreement instead of hiding in both.
//
// Patterns are written as the protocol documents them: upper-case hex pairs are literal bytes; "vv", "ww" (two
// equal lower-case letters) take one whole byte; "0p" takes one byte that must be 00..0F, and consecutive "0p"
// tokens with the same letter form one number of 4 bits per byte ("0p 0p 0p 0p" is a 16-bit value). A message
// matches a pattern only when its length matches too.
class SimCommandTable {
public:
	enum PayloadType : int { CommandType = 0x00, InquiryType = 0x10, AnyType = -1 };

	explicit SimCommandTable(SimModel model);

	const SimModel &model() const { return m_model; }

	// Applies one message (the payload after the 8-byte header) to `state` and returns what to answer.
	// `payloadType` is header byte 1; `answersAddressSet` is the fault-injection switch for 88 30 01 FF.
	SimOutcome handle(const QByteArray &payload, int payloadType, SimCameraState &state,
			  bool answersAddressSet = true) const;

	// The identification replies (whole payloads), exposed so tests can compare them with the parsers' rules.
	QByteArray versionReply() const;
	QByteArray codeReply(SimIdentityFamily family) const;

private:
	SimModel m_model;
};
