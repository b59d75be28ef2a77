#include "ViscaReply.h"

namespace ViscaReply {

namespace {

constexpr int kReplyHeader = 0x90;
constexpr int kTerminator = 0xFF;
// The high nibble of byte 9 (the low one is the camera's socket), and the whole byte of an inquiry answer.
constexpr int kCompletionClass = 0x5;
constexpr int kErrorClass = 0x6;
constexpr int kAnswerClass = 0x50;

bool isReplyOfClass(const QByteArray &reply, int replyClass)
{
	// byteAt reads missing bytes as 0, which is no reply class.
	return byteAt(reply, kReplyByte) == kReplyHeader && (byteAt(reply, kClassByte) >> 4) == replyClass;
}

// The last reply byte each layout reads.
int lastByteOf(Layout layout)
{
	switch (layout) {
	case Layout::Nibble:
	case Layout::ByteAt10:
		return kFirstDataByte;
	case Layout::TwoNibbles:
	case Layout::Position:
	case Layout::SplitNibbles:
	case Layout::ByteAt13:
		return kLastDataByte;
	}
	return kFirstDataByte;
}

// An answer's data runs from byte 10 up to its terminator; a layout reaching the terminator or beyond reads bytes
// the camera did not send as data.
bool holdsLayout(const QByteArray &reply, Layout layout)
{
	const int terminator = reply.indexOf(char(kTerminator), kFirstDataByte);
	return terminator > lastByteOf(layout);
}

} // namespace

int byteAt(const QByteArray &reply, int index)
{
	if (index < 0 || index >= reply.size())
		return 0;
	return uint8_t(reply.at(index));
}

int nibbleAt(const QByteArray &reply, int index)
{
	return byteAt(reply, index) & 0x0F;
}

uint32_t echoedSerial(const QByteArray &reply)
{
	// Only the low nibble of each byte counts, like the framing that sent it.
	uint32_t serial = 0;
	for (int byte = kSerialByte; byte < kSerialByte + kSerialNibbles; ++byte)
		serial = serial << 4 | uint32_t(nibbleAt(reply, byte));
	return serial;
}

void putSerial(uint8_t *header, uint32_t serial)
{
	for (int nibble = 0; nibble < kSerialNibbles; ++nibble)
		header[kSerialByte + nibble] = uint8_t((serial >> (4 * (kSerialNibbles - 1 - nibble))) & 0x0F);
}

bool carriesSerial(const QByteArray &reply, uint32_t serial)
{
	return reply.size() >= kHeaderSize && echoedSerial(reply) == serial;
}

bool isError(const QByteArray &reply)
{
	// An error without its code byte is a truncated datagram, not a classified error.
	return reply.size() > kFirstDataByte && isReplyOfClass(reply, kErrorClass);
}

bool isCompletion(const QByteArray &reply)
{
	return isReplyOfClass(reply, kCompletionClass);
}

bool isAnswer(const QByteArray &reply)
{
	return byteAt(reply, kReplyByte) == kReplyHeader && byteAt(reply, kClassByte) == kAnswerClass;
}

int maxValue(Layout layout)
{
	switch (layout) {
	case Layout::Nibble:
		return 0x0F;
	case Layout::TwoNibbles:
	case Layout::SplitNibbles:
		return 0xFF;
	case Layout::Position:
		return 0xFFFF;
	case Layout::ByteAt13:
	case Layout::ByteAt10:
		// FF would be the terminator.
		return 0xFE;
	}
	return 0;
}

int value(const QByteArray &reply, Layout layout)
{
	if (!isAnswer(reply) || !holdsLayout(reply, layout))
		return -1;
	// The four nibbles a value is read from, named by their reply byte.
	const int n10 = nibbleAt(reply, kFirstDataByte), n11 = nibbleAt(reply, kFirstDataByte + 1),
		  n12 = nibbleAt(reply, kFirstDataByte + 2), n13 = nibbleAt(reply, kLastDataByte);
	switch (layout) {
	case Layout::Nibble:
		return n10;
	case Layout::TwoNibbles:
		return n12 * 16 + n13;
	case Layout::Position:
		return n10 * 4096 + n11 * 256 + n12 * 16 + n13;
	case Layout::SplitNibbles:
		return n11 * 16 + n13;
	case Layout::ByteAt13:
		return byteAt(reply, kLastDataByte);
	case Layout::ByteAt10:
		return byteAt(reply, kFirstDataByte);
	}
	return -1;
}

} // namespace ViscaReply
