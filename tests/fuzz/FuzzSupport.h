#pragma once

// Shared by the fuzz targets.

#include <QtGlobal>

namespace fuzz {

// The decoders log what they reject; at the fuzzer's pace, writing those lines would be most of the work.
inline void silenceMessages()
{
	static const bool installed = [] {
		qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
		return true;
	}();
	(void)installed;
}

} // namespace fuzz
