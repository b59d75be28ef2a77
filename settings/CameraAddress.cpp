#include "settings/CameraAddress.h"

#include <QStringView>

namespace {

// One part of the dotted address: 1 to 3 decimal digits, no leading zero, at most 255.
std::optional<quint32> octet(QStringView part)
{
	if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == QLatin1Char('0')))
		return std::nullopt;
	quint32 value = 0;
	for (const QChar digit : part) {
		if (digit < QLatin1Char('0') || digit > QLatin1Char('9'))
			return std::nullopt;
		value = value * 10 + quint32(digit.unicode() - '0');
	}
	if (value > 255)
		return std::nullopt;
	return value;
}

} // namespace

std::optional<quint32> CameraAddress::ipv4(const QString &text)
{
	const QStringView view(text);
	quint32 address = 0;
	int parts = 0;
	int start = 0;
	for (int end = 0; end <= view.size(); ++end) {
		if (end < view.size() && view.at(end) != QLatin1Char('.'))
			continue;
		const std::optional<quint32> value = octet(view.mid(start, end - start));
		if (!value || ++parts > 4)
			return std::nullopt;
		address = (address << 8) | *value;
		start = end + 1;
	}
	const quint32 firstOctet = address >> 24;
	if (parts != 4 || firstOctet == 0 || firstOctet >= 224)
		return std::nullopt;
	return address;
}
