#pragma once

// What a simulated camera was asked, as the tests compare it.

#include "CameraSimulator.h"

#include <QString>
#include <QStringList>

// The VISCA payloads of the commands a camera received, as lower-case hex, oldest first; `prefix` keeps only
// those that start with it.
inline QStringList commandPayloads(const CameraSimulator &camera, const QString &prefix = QString())
{
	QStringList list;
	for (const QByteArray &datagram : camera.received()) {
		if (datagram.size() <= 8 || quint8(datagram.at(1)) != 0x00)
			continue;
		const QString payload = QString::fromLatin1(datagram.mid(8).toHex());
		if (payload.startsWith(prefix))
			list << payload;
	}
	return list;
}
