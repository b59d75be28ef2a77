#include "ViscaCommand.h"

namespace {

// Bits 15..12, 11..8, 7..4 and 3..0, one nibble a byte.
void appendPosition(QByteArray &payload, int v)
{
	for (int shift = 12; shift >= 0; shift -= 4)
		payload.append(char((v >> shift) & 0x0F));
}

// Bits 7..4 and 3..0, one nibble a byte.
void appendTwoNibbles(QByteArray &payload, int v)
{
	payload.append(char((v >> 4) & 0x0F));
	payload.append(char(v & 0x0F));
}

} // namespace

QByteArray ViscaCommand::payload(int value, int extra) const
{
	QByteArray message = QByteArray::fromHex(head);
	if (layout != Layout::None)
		value = field.fit(value, name);
	switch (layout) {
	case Layout::None:
		break;
	case Layout::Byte:
		message.append(char(base + value));
		break;
	case Layout::TwoNibbles:
		appendTwoNibbles(message, value);
		break;
	case Layout::Position:
		appendPosition(message, value);
		break;
	case Layout::PositionByte:
		appendPosition(message, value);
		message.append(char(extra));
		break;
	case Layout::TwoPositions:
		appendPosition(message, value);
		appendPosition(message, extra);
		break;
	case Layout::TwoBytes:
		message.append(char(value));
		message.append(char(extra));
		break;
	}
	message.append(QByteArray::fromHex(tail));
	message.append(char(0xFF));
	return message;
}
