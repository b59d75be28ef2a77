#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// How a camera wants its VISCA messages carried. Most take VISCA over IP: each message behind an eight-byte header
// with a sequence number, in UDP datagrams on port 52381. Some devices (encoders, serial bridges, one large maker's
// own VISCA ports) take the bare VISCA message: alone in a UDP datagram (port 1259), or on a TCP stream (port 5678)
// where each message ends with its FF.
enum class CameraDialect { ViscaOverIp, BareUdp, BareTcp };

// Where and how the controller reaches a camera. A slot keeps it under its keys: "Camera<n>IP" the address,
// "Camera<n>Dialect" ("visca-ip", "visca-udp", "visca-tcp") and "Camera<n>Port". A slot without the last two
// speaks VISCA over IP on 52381, as every file written before there was a choice.
struct CameraEndpoint {
	static constexpr quint16 kViscaOverIpPort = 52381;

	QString address;
	CameraDialect dialect = CameraDialect::ViscaOverIp;
	quint16 port = kViscaOverIpPort;

	static CameraEndpoint at(const QString &address)
	{
		return {address, CameraDialect::ViscaOverIp, kViscaOverIpPort};
	}

	static quint16 defaultPort(CameraDialect dialect);
	static QString dialectName(CameraDialect dialect); // as stored
	static std::optional<CameraDialect> dialectNamed(const QString &name);
	static QList<CameraDialect> allDialects();

	// The slot's endpoint. A dialect or port that cannot be used is read as the default and named in one log line;
	// the file is left as it is.
	static CameraEndpoint ofSlot(const QJsonObject &settings, int slot);
	// Writes the slot's dialect and port; VISCA over IP on its own port leaves no keys, as before.
	void storeDialect(QJsonObject &settings, int slot) const;
	// For the log: the address, and the dialect and port when they are not the usual ones.
	QString text() const;

	bool operator==(const CameraEndpoint &other) const
	{
		return address == other.address && dialect == other.dialect && port == other.port;
	}
	bool operator!=(const CameraEndpoint &other) const { return !(*this == other); }
};
