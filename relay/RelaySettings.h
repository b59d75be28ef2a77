#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The relay's keys in the settings file. A value of the wrong type is logged and reads as that key's default;
// reading never changes the file.
//
//   "RelayEnabled"         boolean, default true: false binds nothing at all.
//   "RelayListen"          "all" (default: every interface) or "local" (this computer only).
//   "RelayAnyDestination"  boolean, default false: only the addresses of the camera slots receive datagrams.
//   "RelayAllowedOrigins"  array of strings, default empty: the web pages (exact Origin) that may connect.
//   "RelaySecret"          string, default empty: when set, only clients that present it in their handshake are
//                          served. Unlike the other keys, a value of the wrong type does not fall back to the
//                          default (no secret), which would open the relay to everyone: no client is served until
//                          it is a string.
struct RelaySettings {
	bool enabled = true;
	bool localOnly = false;
	bool anyDestination = false;
	QStringList allowedOrigins;
	QString secret;
	bool secretUnreadable = false; // "RelaySecret" holds something other than a string

	// Any machine that reaches the port is served: on, on every interface, and no secret asked.
	bool openToNetwork() const { return enabled && !localOnly && secret.isEmpty() && !secretUnreadable; }

	static RelaySettings fromJson(const QJsonObject &settings);
	void writeTo(QJsonObject &settings) const;

	// The keys of the settings file in `directory`; the defaults when it cannot be read.
	static RelaySettings read(const QString &directory);
	// Stores the keys with the settings file's update pattern, keeping every other key. False when the file
	// could not be read or written.
	bool store(const QString &directory) const;

	bool operator==(const RelaySettings &other) const;
	bool operator!=(const RelaySettings &other) const { return !(*this == other); }
};
