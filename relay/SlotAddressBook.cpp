#include "SlotAddressBook.h"

#include "settings/CameraAddress.h"
#include "settings/SettingsFile.h"

#include <algorithm>
#include <optional>

SlotAddressBook SlotAddressBook::fromSettings(const QJsonObject &settings)
{
	SlotAddressBook book;
	for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
		const QJsonValue value = settings.value(SettingsFile::addressKey(slot));
		if (const std::optional<quint32> address = CameraAddress::ipv4(value.toString()))
			book.addresses.push_back(*address);
	}
	return book;
}

bool SlotAddressBook::contains(uint32_t address) const
{
	return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

bool SlotAddressBook::isLive(uint32_t address) const
{
	return std::find(live.begin(), live.end(), address) != live.end();
}
