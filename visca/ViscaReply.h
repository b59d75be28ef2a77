#pragma once

#include <QByteArray>

#include <cstdint>

// Reading a camera's reply datagram: pure functions of the bytes, so that everything a device on the network may
// send back can be checked without a socket. A reply is an eight-byte VISCA-over-IP header (bytes 4..7 echo the
// request's serial number, one nibble each) followed by the VISCA reply: 90 4y FF acknowledge, 90 5y FF
// completion, 90 50 .. FF inquiry answer, 90 6y ee FF error.
namespace ViscaReply {

constexpr int kHeaderSize = 8;
// Header bytes 4..7: the serial number, one nibble a byte, highest nibble first.
constexpr int kSerialByte = 4;
constexpr int kSerialNibbles = 4;
// Reply byte 8 opens the VISCA reply (90, or 88 for an address set); byte 9 holds its class in the high nibble.
constexpr int kReplyByte = kHeaderSize;
constexpr int kClassByte = kHeaderSize + 1;
// Reply byte 10: the first data byte of an answer, or the code of an error.
constexpr int kFirstDataByte = 10;
// Reply byte 13: the last byte a value is read from (a position's fourth nibble).
constexpr int kLastDataByte = kFirstDataByte + 3;

// Whole byte `index` (0..255), 0 when the reply is shorter.
int byteAt(const QByteArray &reply, int index);
// Low nibble of byte `index`, 0 when the reply is shorter.
int nibbleAt(const QByteArray &reply, int index);
// The serial number echoed in bytes 4..7 (low nibbles; missing bytes count as 0).
uint32_t echoedSerial(const QByteArray &reply);
// Writes `serial` into bytes 4..7 of a header, one nibble a byte, highest first, as the camera expects it.
void putSerial(uint8_t *header, uint32_t serial);
// Whether the reply carries the whole header and echoes `serial`. A reply too short to hold a serial number never
// matches one, so silence can never pass for the reply to serial number 0.
bool carriesSerial(const QByteArray &reply, uint32_t serial);

bool isError(const QByteArray &reply);      // 90 6y ee
bool isCompletion(const QByteArray &reply); // 90 5y, whatever the socket y
bool isAnswer(const QByteArray &reply);     // 90 50: the only reply that carries data

// Where an inquiry answer keeps its value, after 90 50 (Nn is the low nibble of reply byte n).
enum class Layout {
	Nibble,       // 90 50 0p FF: N10 (modes, on/off states)
	TwoNibbles,   // 90 50 00 00 0p 0q FF: N12 * 16 + N13
	Position,     // 90 50 0p 0q 0r 0s FF: N10 * 4096 + N11 * 256 + N12 * 16 + N13
	SplitNibbles, // 90 50 00 0p 00 0q FF: N11 * 16 + N13
	ByteAt13,     // 90 50 00 00 00 pq FF: the whole byte 13
	ByteAt10,     // 90 50 pq FF: the whole byte 10
};

// The largest value a layout can carry, for checks of decoded values.
int maxValue(Layout layout);

// The value an answer carries in `layout`, or -1 when the reply is no answer (an acknowledge, a completion, an
// error, a truncated datagram) or ends before the layout's last byte. The serial number is not examined here.
int value(const QByteArray &reply, Layout layout);

} // namespace ViscaReply
