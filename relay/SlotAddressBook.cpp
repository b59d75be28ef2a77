#include "SlotAddressBook.h"

#include "RelayMessage.h"
#include "settings/UnsavedSettings.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

constexpr int kSlotCount = 8;

std::string readFile(const std::string &path)
{
	std::ifstream file(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

bool SlotAddressBook::contains(uint32_t address)
{
	// Slots assigned while the file cannot be written are in use all the same, as the window shows them.
	std::optional<std::string> unsaved = UnsavedSettings::content(m_path);
	std::string content = unsaved ? std::move(*unsaved) : readFile(m_path);
	if (!m_parsed || content != m_content)
		parse(content);
	m_content = std::move(content);
	return std::find(m_addresses.begin(), m_addresses.end(), address) != m_addresses.end();
}

void SlotAddressBook::parse(const std::string &content)
{
	m_parsed = true;
	m_addresses.clear();
	const nlohmann::json settings = nlohmann::json::parse(content, nullptr, false);
	if (settings.is_discarded() || !settings.is_object())
		return;
	for (int slot = 1; slot <= kSlotCount; ++slot) {
		const auto value = settings.find("Camera" + std::to_string(slot) + "IP");
		if (value == settings.end() || !value->is_string())
			continue;
		if (const std::optional<uint32_t> address = RelayMessage::unicastAddress(value->get<std::string>()))
			m_addresses.push_back(*address);
	}
}
