#include "camera/iniParser.h"

#include "camera/CameraLog.h"
#include "settings/OutsideText.h"

#include <filesystem>
#include <fstream>

using json = nlohmann::json;

namespace {

const char *const kNotSupported = "NOT_SUPPORT";

// The shapes a sub-entry may take, and which sub-entries each section must carry.
enum class Shape { Range, List };

struct SubEntry {
	const char *key;
	Shape shape;
};

struct SectionShape {
	const char *key;
	std::vector<SubEntry> entries;
};

// Sections in the order they are read.
const std::vector<SectionShape> &sectionShapes()
{
	static const std::vector<SectionShape> shapes = {
		{"cam_zoom", {{"direct", Shape::Range}, {"speed", Shape::Range}}},
		{"cam_focus", {{"direct", Shape::Range}, {"speed", Shape::Range}}},
		{"cam_iris", {{"list", Shape::List}}},
		{"cam_gain", {{"list", Shape::List}}},
		{"cam_wb_bgain", {{"direct", Shape::Range}}},
		{"cam_wb_rgain", {{"direct", Shape::Range}}},
		{"cam_aperture", {{"direct", Shape::Range}}},
		{"cam_colorgain", {{"direct", Shape::Range}}},
		{"cam_gamma", {{"list", Shape::List}}},
		{"cam_colorhue", {{"direct", Shape::Range}}},
		{"pan_tiltdrive", {{"pan_speed", Shape::Range}, {"tilt_speed", Shape::Range}}},
		{"pan_tiltlimitset",
		 {{"right", Shape::Range}, {"left", Shape::Range}, {"up", Shape::Range}, {"down", Shape::Range}}},
		{"cam_memory", {{"list", Shape::List}, {"direct", Shape::Range}}},
		{"cam_shutter", {{"list", Shape::List}}},
		{"cam_wb", {{"list", Shape::List}}},
		{"cam_ae", {{"list", Shape::List}}},
		{"cam_mirror", {{"list", Shape::List}}},
		{"cam_flip", {{"list", Shape::List}}},
		{"cam_image_mode", {{"list", Shape::List}}},
	};
	return shapes;
}

bool isEmptyString(const json &value)
{
	return value.is_string() && value.get_ref<const json::string_t &>().empty();
}

// Empty string, or an object whose "min" and "max" are strings.
bool isRange(const json &value)
{
	if (isEmptyString(value))
		return true;
	if (!value.is_object())
		return false;
	const auto min = value.find("min");
	const auto max = value.find("max");
	return min != value.end() && min->is_string() && max != value.end() && max->is_string();
}

// Empty string, or an array of objects whose every member is a string.
bool isList(const json &value)
{
	if (isEmptyString(value))
		return true;
	if (!value.is_array())
		return false;
	for (const json &element : value) {
		if (!element.is_object())
			return false;
		for (const json &member : element) {
			if (!member.is_string())
				return false;
		}
	}
	return true;
}

// The sub-entry of a section, or null when either is missing or the section is not an object.
const json *findEntry(const json &document, const std::string &sectionKey, const std::string &subKey)
{
	if (!document.is_object())
		return nullptr;
	const auto section = document.find(sectionKey);
	if (section == document.end() || !section->is_object())
		return nullptr;
	const auto entry = section->find(subKey);
	if (entry == section->end())
		return nullptr;
	return &*entry;
}

cam_range readRange(const json &document, const std::string &sectionKey, const std::string &subKey)
{
	cam_range range;
	const json *entry = findEntry(document, sectionKey, subKey);
	if (!entry || !isRange(*entry))
		return range;
	if (entry->is_string()) {
		range.max = kNotSupported;
		range.min = kNotSupported;
		return range;
	}
	range.min = entry->at("min").get<std::string>();
	range.max = entry->at("max").get<std::string>();
	return range;
}

} // namespace

iniParser::iniParser(const std::string &filePath)
{
	if (!load(filePath) || !checkShapes()) {
		qCWarning(lcCamera).noquote() << "Capability profile" << QString::fromStdString(filePath)
					      << "is refused:" << QString::fromStdString(fault);
		document = json();
		return;
	}
	fillSections();
	valid = true;
}

bool iniParser::load(const std::string &filePath)
{
	std::error_code ec;
	if (std::filesystem::is_directory(filePath, ec)) {
		fault = "it is a directory";
		return false;
	}
	std::ifstream stream(filePath);
	if (!stream.is_open()) {
		fault = "it cannot be opened for reading";
		return false;
	}
	// The stream extraction reads one value and leaves whatever follows it unread, so text after the root
	// object does not spoil a profile; comments are refused.
	try {
		stream >> document;
	} catch (const json::exception &e) {
		fault = stream.bad() ? "it cannot be read" : std::string("it is not valid JSON (") + e.what() + ")";
		return false;
	} catch (const std::exception &e) {
		fault = std::string("it cannot be read (") + e.what() + ")";
		return false;
	}
	if (!document.is_object()) {
		fault = "its root is not a JSON object";
		return false;
	}
	return true;
}

// Every present section must have every sub-entry in its shape before anything is taken from it; a profile
// that fails here is refused as a whole rather than read in part.
bool iniParser::checkShapes()
{
	for (const SectionShape &shape : sectionShapes()) {
		const auto section = document.find(shape.key);
		if (section == document.end())
			continue;
		if (!section->is_object()) {
			fault = std::string("section \"") + shape.key + "\" is not an object";
			return false;
		}
		for (const SubEntry &sub : shape.entries) {
			const auto entry = section->find(sub.key);
			if (entry == section->end()) {
				fault = std::string("section \"") + shape.key + "\" has no \"" + sub.key + "\"";
				return false;
			}
			const bool ok = sub.shape == Shape::Range ? isRange(*entry) : isList(*entry);
			if (!ok) {
				fault = std::string("\"") + sub.key + "\" of section \"" + shape.key + "\" is not " +
					(sub.shape == Shape::Range ? "a range (an empty string or an object with "
								     "string \"min\" and \"max\")"
								   : "a list (an empty string or an array of objects "
								     "with string members)");
				return false;
			}
		}
	}
	return true;
}

void iniParser::fillSections()
{
	const auto has = [this](const char *key) { return document.contains(key); };

	if (has("cam_zoom")) {
		const cam_range direct = getDirectRange("cam_zoom");
		const cam_range speed = getSpeedRange("cam_zoom");
		cam_zoom = {direct.max, direct.min, speed.max, speed.min};
	}
	if (has("cam_focus")) {
		const cam_range direct = getDirectRange("cam_focus");
		const cam_range speed = getSpeedRange("cam_focus");
		cam_focus = {direct.max, direct.min, speed.max, speed.min};
	}
	if (has("cam_iris"))
		cam_iris = getList("cam_iris");
	if (has("cam_gain"))
		cam_gain = getList("cam_gain");
	if (has("cam_wb_bgain"))
		cam_wb_bgain = getDirectRange("cam_wb_bgain");
	if (has("cam_wb_rgain"))
		cam_wb_rgain = getDirectRange("cam_wb_rgain");
	if (has("cam_aperture"))
		cam_aperture = getDirectRange("cam_aperture");
	if (has("cam_colorgain"))
		cam_colorgain = getDirectRange("cam_colorgain");
	if (has("cam_gamma"))
		cam_gamma = getList("cam_gamma");
	if (has("cam_colorhue"))
		cam_colorhue = getDirectRange("cam_colorhue");
	if (has("pan_tiltdrive")) {
		const cam_range pan = getPanTilt("pan_tiltdrive", "pan_speed");
		const cam_range tilt = getPanTilt("pan_tiltdrive", "tilt_speed");
		pan_tiltdrive = {pan.max, pan.min, tilt.max, tilt.min};
	}
	if (has("pan_tiltlimitset")) {
		const cam_range right = getPanTilt("pan_tiltlimitset", "right");
		const cam_range left = getPanTilt("pan_tiltlimitset", "left");
		const cam_range up = getPanTilt("pan_tiltlimitset", "up");
		const cam_range down = getPanTilt("pan_tiltlimitset", "down");
		pan_tiltlimitset = {right.max, right.min, left.max, left.min, up.max, up.min, down.max, down.min};
	}
	if (has("cam_memory")) {
		cam_memory.list = getList("cam_memory");
		const cam_range direct = getDirectRange("cam_memory");
		cam_memory.directMax = direct.max;
		cam_memory.directMin = direct.min;
	}
	if (has("cam_shutter"))
		cam_shutter = getList("cam_shutter");
	if (has("cam_wb"))
		cam_wb = getList("cam_wb");
	if (has("cam_ae"))
		cam_ae = getList("cam_ae");
	if (has("cam_mirror"))
		cam_mirror = getList("cam_mirror");
	if (has("cam_flip"))
		cam_flip = getList("cam_flip");
	if (has("cam_image_mode"))
		cam_image_mode = getList("cam_image_mode");
}

cam_range iniParser::getDirectRange(const std::string &sectionKey)
{
	const cam_range range = readRange(document, sectionKey, "direct");
	// A profile may be the operator's own file: its text reaches the log escaped, as all text from outside does.
	qCDebug(lcCamera).noquote().nospace()
		<< QString::fromStdString(sectionKey)
		<< " Direct: " << OutsideText::escaped(QString::fromStdString(range.min), OutsideText::kLoggedLength)
		<< OutsideText::escaped(QString::fromStdString(range.max), OutsideText::kLoggedLength);
	return range;
}

cam_range iniParser::getSpeedRange(const std::string &sectionKey)
{
	return readRange(document, sectionKey, "speed");
}

cam_range iniParser::getPanTilt(const std::string &sectionKey, const std::string &subKey)
{
	return readRange(document, sectionKey, subKey);
}

cam_list iniParser::getList(const std::string &sectionKey)
{
	cam_list list;
	const json *entry = findEntry(document, sectionKey, "list");
	if (!entry || !isList(*entry) || entry->is_string())
		return list;
	list.reserve(entry->size());
	for (const json &element : *entry) {
		std::map<std::string, std::string> labels;
		for (auto member = element.begin(); member != element.end(); ++member)
			labels[member.key()] = member.value().get<std::string>();
		list.push_back(std::move(labels));
	}
	return list;
}

::cam_memory iniParser::getCamMemory() const
{
	return cam_memory;
}
