#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The camera addresses assigned to the eight slots of the settings file ("Camera1IP" ... "Camera8IP"), as the file
// is at the moment of asking: the relay asks at each request, so a slot assigned while it runs is usable at once.
// The file is read at each question and parsed again only when its content changed; while the settings cannot be
// written, what the controller last tried to write stands for the file. A missing or unreadable file assigns
// nothing. It never writes or creates the file.
//
// It touches nothing of the UI thread's but the settings kept in memory, which are shared under a lock. One thread
// asks.
class SlotAddressBook {
public:
	explicit SlotAddressBook(std::string settingsFilePath) : m_path(std::move(settingsFilePath)) {}

	// Whether `address` (host order) is assigned to one of the slots.
	bool contains(uint32_t address);

private:
	void parse(const std::string &content);

	const std::string m_path;
	std::string m_content;
	bool m_parsed = false;
	std::vector<uint32_t> m_addresses;
};
