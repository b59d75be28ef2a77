#include "camera/viscaGeneralOps.h"

#include "camera/CameraLog.h"
#include "camera/iniParser.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <string_view>
#include <utility>

namespace {

const char *const kNotSupported = "NOT_SUPPORT";

viscaGeneralOps::TextLookup &textLookup()
{
	static viscaGeneralOps::TextLookup lookup;
	return lookup;
}

enum class HexResult { Empty, Value, Fault };

// Profile numbers are hexadecimal text with an optional 0x. The value is kept modulo 2^64, which is all the
// 32- and 8-bit queries need; 'overflow' tells the map conversion that the text does not fit an int.
HexResult parseHex(const std::string &text, uint64_t &value, bool &overflow)
{
	value = 0;
	overflow = false;
	if (text.empty() || text == kNotSupported)
		return HexResult::Empty;
	std::string_view digits(text);
	if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
		digits.remove_prefix(2);
	const char *const last = digits.data() + digits.size();
	const auto [end, error] = std::from_chars(digits.data(), last, value, 16);
	if (digits.empty() || end != last)
		return HexResult::Fault;
	if (error == std::errc::result_out_of_range) {
		// Wider than 64 bits: the low 64 bits are the last sixteen digits.
		std::from_chars(last - 16, last, value, 16);
		overflow = true;
	}
	overflow = overflow || value > uint64_t(INT_MAX);
	return HexResult::Value;
}

// A list value as stored in the maps; text that is no hexadecimal number or does not fit an int reads as 0.
int mapValue(const std::string &label, const std::string &text)
{
	uint64_t value;
	bool overflow;
	const HexResult result = parseHex(text, value, overflow);
	if (result == HexResult::Fault) {
		qCWarning(lcCamera).noquote() << "Profile value of" << QString::fromStdString(label)
					      << "is not hexadecimal:" << QString::fromStdString(text);
		return 0;
	}
	if (overflow) {
		qCWarning(lcCamera).noquote() << "Profile value of" << QString::fromStdString(label)
					      << "is out of range:" << QString::fromStdString(text);
		return 0;
	}
	return int(value);
}

std::string replaceFirst(std::string text, char from, char to)
{
	const size_t pos = text.find(from);
	if (pos != std::string::npos)
		text[pos] = to;
	return text;
}

template <typename T>
CapabilityRange<T> rangeOf(const std::string &max, const std::string &min)
{
	return {T(viscaGeneralOps::hexValue(max)), T(viscaGeneralOps::hexValue(min))};
}

CapabilityNumbers numbersOf(const viscaGeneralOps &ops)
{
	CapabilityNumbers numbers;
	numbers.zoom = rangeOf<uint32_t>(ops.zoom.directMax, ops.zoom.directMin);
	numbers.focus = rangeOf<uint32_t>(ops.focus.directMax, ops.focus.directMin);
	numbers.zoomSpeed = rangeOf<uint8_t>(ops.zoom.speedMax, ops.zoom.speedMin);
	numbers.focusSpeed = rangeOf<uint8_t>(ops.focus.speedMax, ops.focus.speedMin);
	numbers.redGain = rangeOf<uint8_t>(ops.rgain.max, ops.rgain.min);
	numbers.blueGain = rangeOf<uint8_t>(ops.bgain.max, ops.bgain.min);
	numbers.sharpness = rangeOf<uint8_t>(ops.aperture.max, ops.aperture.min);
	numbers.saturation = rangeOf<uint8_t>(ops.colorGain.max, ops.colorGain.min);
	numbers.hue = rangeOf<uint8_t>(ops.colorHue.max, ops.colorHue.min);
	const pan_tiltdrive &drive = ops.panTiltDrive;
	numbers.panSpeed = rangeOf<uint8_t>(drive.panSpeedMax, drive.panSpeedMin);
	numbers.tiltSpeed = rangeOf<uint8_t>(drive.tiltSpeedMax, drive.tiltSpeedMin);
	const pan_tiltlimitset &limit = ops.panTiltLimit;
	numbers.panRight = rangeOf<uint32_t>(limit.rightMax, limit.rightMin);
	numbers.panLeft = rangeOf<uint32_t>(limit.leftMax, limit.leftMin);
	numbers.tiltUp = rangeOf<uint32_t>(limit.upMax, limit.upMin);
	numbers.tiltDown = rangeOf<uint32_t>(limit.downMax, limit.downMin);
	if (!ops.gammaList.empty() && !ops.gammaValues.empty()) {
		const auto [low, high] = std::minmax_element(ops.gammaValues.begin(), ops.gammaValues.end());
		numbers.gamma = {*high, *low};
	}
	return numbers;
}

} // namespace

viscaGeneralOps::viscaGeneralOps(std::string modelName, std::string profilePath)
    : modelName(std::move(modelName)), parser(new iniParser(profilePath))
{
	getParserData();
}

viscaGeneralOps::~viscaGeneralOps()
{
	delete parser;
}

bool viscaGeneralOps::isValid() const
{
	return parser && parser->isValid();
}

std::string viscaGeneralOps::profileError() const
{
	return parser ? parser->error() : std::string("no profile");
}

void viscaGeneralOps::setTextLookup(TextLookup lookup)
{
	textLookup() = std::move(lookup);
}

std::string viscaGeneralOps::translate(const std::string &key)
{
	const TextLookup &lookup = textLookup();
	return lookup ? lookup(key) : key;
}

uint32_t viscaGeneralOps::hexValue(const std::string &text)
{
	uint64_t value;
	bool overflow;
	if (parseHex(text, value, overflow) == HexResult::Fault) {
		qCWarning(lcCamera).noquote() << "Profile value is not hexadecimal:" << QString::fromStdString(text);
		return 0;
	}
	return uint32_t(value);
}

void viscaGeneralOps::getParserData()
{
	zoom = parser->cam_zoom;
	focus = parser->cam_focus;

	irisList = parser->cam_iris;
	for (const auto &element : irisList) {
		for (const auto &[label, value] : element)
			irisMap[replaceFirst(label, '_', '.')] = mapValue(label, value);
	}

	gainList = parser->cam_gain;
	for (const auto &element : gainList) {
		for (const auto &[label, value] : element)
			gainMap[label] = mapValue(label, value);
	}

	rgain = parser->cam_wb_rgain;
	bgain = parser->cam_wb_bgain;
	aperture = parser->cam_aperture;
	colorGain = parser->cam_colorgain;

	gammaList = parser->cam_gamma;
	for (const auto &element : gammaList) {
		for (const auto &[label, value] : element) {
			const int code = mapValue(label, value);
			gammaMap[label] = code;
			gammaValues.push_back(uint8_t(code));
		}
	}

	colorHue = parser->cam_colorhue;
	panTiltDrive = parser->pan_tiltdrive;
	panTiltLimit = parser->pan_tiltlimitset;

	const std::string unit = translate("DegSec");
	memory = parser->getCamMemory();
	for (const auto &element : memory.list) {
		for (const auto &[label, value] : element) {
			std::string name = label;
			const size_t pos = name.find("_DegSec");
			if (pos != std::string::npos)
				name = name.substr(0, pos) + " " + unit;
			memorySpeedMap[name] = mapValue(label, value);
		}
	}

	shutterList = parser->cam_shutter;
	for (const auto &element : shutterList) {
		for (const auto &[label, value] : element)
			shutterMap[replaceFirst(label, '_', '/')] = mapValue(label, value);
	}

	wbList = parser->cam_wb;
	for (const auto &element : wbList) {
		for (const auto &[label, value] : element)
			wbModeMap[translate(label)] = mapValue(label, value);
	}

	// The panel offers only automatic and manual exposure; the other modes a model lists are not offered.
	aeList = parser->cam_ae;
	for (const auto &element : aeList) {
		for (const auto &[label, value] : element) {
			if (label == "Auto" || label == "Manual")
				aeModeMap[translate(label)] = mapValue(label, value);
		}
	}

	mirrorList = parser->cam_mirror;
	flipList = parser->cam_flip;
	if (!mirrorList.empty() && !flipList.empty()) {
		mirrorFlipMap[translate("OFF")] = 0;
		mirrorFlipMap[translate("MIRROR")] = 1;
		mirrorFlipMap[translate("FLIP")] = 2;
		mirrorFlipMap[translate("MirrorFlip")] = 3;
	}

	imageModeList = parser->cam_image_mode;
	for (const auto &element : imageModeList) {
		for (const auto &[label, value] : element)
			imageModeMap[translate(label)] = mapValue(label, value);
	}

	numbers = numbersOf(*this);
}

std::string viscaGeneralOps::getNAME() const
{
	return modelName;
}
