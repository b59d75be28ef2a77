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
			book.m_addresses.push_back(*address);
	}
	return book;
}

bool SlotAddressBook::contains(uint32_t address) const
{
	return std::find(m_addresses.begin(), m_addresses.end(), address) != m_addresses.end();
}

bool SlotAddressBook::isLive(uint32_t address) const
{
	return std::find(m_live.begin(), m_live.end(), address) != m_live.end();
}
