#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What the controller takes for a camera's address, wherever one comes in: typed into the slot assignment, found in
// a camera's answer to a search, read from a slot of the settings file, named by a relay client. A camera has one
// IPv4 unicast address, written as four decimal parts 0 to 255 without leading zeros ("192.168.1.20"). Refused:
// "this network" with the wildcard 0.0.0.0 (0/8), multicast (224/4), the reserved block with the limited broadcast
// 255.255.255.255 (240/4), leading zeros (some resolvers read them as octal), spaces, host names and IPv6. Loopback
// (127/8) is a camera's address like any other: simulated cameras answer there.
//
// An empty text is never usable; whether an empty field means "no camera" is for the caller to decide.
class CameraAddress {
public:
	CameraAddress() = delete;

	static bool isUsable(const QString &text) { return ipv4(text).has_value(); }
	// The usable address in host order; empty when the text is not one.
	static std::optional<quint32> ipv4(const QString &text);
};
