// Feeds arbitrary datagrams to the decoding of identification replies and discovery answers: whatever a device on
// the network sends back must never crash the controller.

#include "FuzzSupport.h"

#include "camera/CameraParse.h"
#include "camera/CameraSelect.h"
#include "discovery/OnvifDiscovery.h"
#include "settings/CameraAddress.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	fuzz::silenceMessages();
	static CameraSelect select;

	const QByteArray reply(reinterpret_cast<const char *>(data), static_cast<int>(size));

	const QString hx7 = CameraParse::modelFromHX7Reply(reply);
	if (!hx7.isEmpty() && hx7 != QLatin1String("NX-HX7"))
		std::abort();

	const std::string codes[] = {CameraParse::codeFromJ57Reply(reply), CameraParse::codeFromD26GReply(reply),
				     CameraParse::codeFromW38BReply(reply), CameraParse::codeFromZQ418Reply(reply)};
	for (const std::string &code : codes) {
		if (code.empty())
			continue;
		// A code is always the three ID bytes, taken back unchanged from the reply.
		if (code.size() != 3)
			std::abort();
		if (select.CamCode2IDname(code).empty())
			std::abort();
	}
	if (!codes[0].empty() && codes[0] != reply.mid(10, 3).toStdString())
		std::abort();

	CameraParse::parseCamName(QString::fromUtf8(reply));

	// A discovery answer yields no address or a camera's address, whatever its XML holds.
	const QString answer = QString::fromLatin1(reply);
	const QString address = OnvifDiscovery::addressFromAnswer(answer);
	if (!address.isEmpty() && !CameraAddress::isUsable(address))
		std::abort();
	OnvifDiscovery::nameFromAnswer(answer);
	return 0;
}
