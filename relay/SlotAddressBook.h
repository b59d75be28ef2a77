#pragma once

#include <QJsonObject>

#include <cstdint>
#include <vector>

// The camera addresses assigned to the eight slots ("Camera1IP" ... "Camera8IP"): where the relay may send unless
// it may send anywhere. A value, made on the UI thread from the settings and handed whole to the relay's thread
// (ViscaTransfer::setSlotAddresses), so that the relay never reads or parses the settings itself.
class SlotAddressBook {
public:
	SlotAddressBook() = default;

	// The slots of `settings`; a slot whose value is not a usable camera address assigns nothing.
	static SlotAddressBook fromSettings(const QJsonObject &settings);

	// Whether `address` (host order) is assigned to one of the slots.
	bool contains(uint32_t address) const;

	// The cameras live on program in Studio Mode (host order): they take no command that changes the shot.
	void setLive(std::vector<uint32_t> cameras) { live = std::move(cameras); }
	bool isLive(uint32_t address) const;

private:
	std::vector<uint32_t> addresses;
	std::vector<uint32_t> live;
};
