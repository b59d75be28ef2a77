// Feeds arbitrary datagrams to the decoding of camera replies: the reply classes, the serial-number match and the
// answer decoder of every inquiry of every model variant. Whatever a device on the network sends back must never
// crash the controller, and a value may only come out of an answer, within what its layout can carry.

#include "FuzzSupport.h"

#include "visca/ViscaInquiry.h"
#include "visca/ViscaReply.h"
#include "visca/viscaIpModule.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Aborts, naming the check, when it does not hold.
void require(bool condition, const char *check)
{
	if (condition)
		return;
	std::fprintf(stderr, "failed: %s\n", check);
	std::abort();
}

void checkClasses(viscaIpModule &link, const QByteArray &reply)
{
	const bool error = ViscaReply::isError(reply);
	require(link.checkViscaError(reply) == error, "the link classifies errors as the decoder does");
	require(!(error && ViscaReply::isCompletion(reply)), "an error is no completion");
	// 90 50 is the completion of socket 0 and an inquiry answer at once.
	require(!ViscaReply::isAnswer(reply) || ViscaReply::isCompletion(reply), "an answer is a completion");
}

void checkSerial(const QByteArray &reply)
{
	const uint32_t serial = ViscaReply::echoedSerial(reply);
	require(serial <= 0xFFFF, "a serial number has 16 bits");
	// Only a reply holding the whole header can match, so an empty one never matches serial number 0.
	require(ViscaReply::carriesSerial(reply, serial) == (reply.size() >= ViscaReply::kHeaderSize),
		"only a whole header carries a serial number");
}

void checkInquiries(const QByteArray &reply)
{
	const bool answer = ViscaReply::isAnswer(reply);
	for (const ViscaInquiry *inquiry : ViscaInquiries::all()) {
		const int value = inquiry->decode(reply);
		if (value == -1)
			continue;
		require(answer, inquiry->name);
		require(value >= 0 && value <= ViscaReply::maxValue(inquiry->layout), inquiry->name);
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	fuzz::silenceMessages();
	static viscaIpModule link;

	const QByteArray reply(reinterpret_cast<const char *>(data), static_cast<int>(size));
	checkClasses(link, reply);
	checkSerial(reply);
	checkInquiries(reply);
	return 0;
}
