// Feeds arbitrary bytes to the profile reader as a profile file, then asks every capability question the
// control panels ask. Whatever the file holds, nothing may throw, crash or read out of bounds.
#include "camera/iniParser.h"
#include "camera/viscaGeneralOps.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

std::string profilePath;

void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

template <typename Map>
size_t touch(const Map &map)
{
	size_t sum = 0;
	for (auto it = map.cbegin(); it != map.cend(); ++it)
		sum += it.key().size() + size_t(it.value());
	return sum;
}

size_t touchList(const cam_list &list)
{
	size_t sum = 0;
	for (const auto &element : list) {
		for (const auto &[label, value] : element)
			sum += label.size() + value.size();
	}
	return sum;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	// The reader logs every refused profile and every range; millions of runs do not need to see them.
	qInstallMessageHandler(quietMessages);

	char pattern[] = "/tmp/fuzz_profile_XXXXXX";
	const int fd = mkstemp(pattern);
	if (fd < 0)
		std::abort();
	close(fd);
	profilePath = pattern;
	std::atexit([] { std::remove(profilePath.c_str()); });
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	{
		std::ofstream out(profilePath, std::ios::binary | std::ios::trunc);
		out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
	}

	// Odd translations make the rewritten labels collide and grow.
	viscaGeneralOps::setTextLookup(
		size % 2 ? viscaGeneralOps::TextLookup([](const std::string &key) { return key.substr(0, 1); })
			 : viscaGeneralOps::TextLookup());

	volatile size_t sink = 0;
	viscaGeneralOps ops("NX-FUZZ", profilePath);
	sink = sink + ops.isValid() + ops.profileError().size() + ops.getNAME().size();
	sink = sink + ops.zoomMax() + ops.zoomMin() + ops.focusMax() + ops.focusMin();
	sink = sink + ops.zoomSpeedMax() + ops.zoomSpeedMin() + ops.focusSpeedMax() + ops.focusSpeedMin();
	sink = sink + ops.RgainMax() + ops.RgainMin() + ops.BgainMax() + ops.BgainMin();
	sink = sink + ops.sharpeessMax() + ops.sharpeessMin() + ops.saturationMax() + ops.saturationMin();
	sink = sink + ops.hueMax() + ops.hueMin() + ops.panSpeedMax() + ops.panSpeedMin();
	sink = sink + ops.tiltSpeedMax() + ops.tiltSpeedMin();
	sink = sink + ops.panRightMax() + ops.panRightMin() + ops.panLeftMax() + ops.panLeftMin();
	sink = sink + ops.tiltUpMax() + ops.tiltUpMin() + ops.tiltDownMax() + ops.tiltDownMin();
	sink = sink + ops.GammaMax() + ops.GammaMin() + ops.gammaValues.size();
	for (const auto *map : {&ops.wbModeMap, &ops.aeModeMap, &ops.gainMap, &ops.shutterMap, &ops.irisMap,
				&ops.mirrorFlipMap, &ops.imageModeMap, &ops.memorySpeedMap, &ops.gammaMap})
		sink = sink + touch(*map);
	for (const auto *list : {&ops.irisList, &ops.gainList, &ops.gammaList, &ops.shutterList, &ops.wbList,
				 &ops.aeList, &ops.imageModeList, &ops.mirrorList, &ops.flipList, &ops.memory.list})
		sink = sink + touchList(*list);

	// The readers on their own, also over sections of the wrong shape and keys that are no section.
	iniParser &parser = *ops.parser;
	for (const char *key : {"cam_zoom", "cam_iris", "pan_tiltlimitset", "cam_memory", "unknown", ""}) {
		sink = sink + parser.getDirectRange(key).max.size() + parser.getSpeedRange(key).min.size();
		sink = sink + parser.getPanTilt(key, "up").max.size() + touchList(parser.getList(key));
	}
	sink = sink + parser.getCamMemory().directMax.size();

	// The input itself as one profile value.
	const std::string text(reinterpret_cast<const char *>(data), size);
	sink = sink + viscaGeneralOps::hexValue(text);
	(void)sink;
	return 0;
}
