#pragma once

#include <QByteArray>

#include <initializer_list>

// VISCA messages are written in the code byte by byte as they travel, so each one reads like the camera's
// command list. Every value is kept to its low byte.
inline QByteArray viscaPayload(std::initializer_list<int> bytes)
{
	QByteArray payload;
	payload.reserve(static_cast<int>(bytes.size()));
	for (int b : bytes)
		payload.append(static_cast<char>(b & 0xFF));
	return payload;
}
