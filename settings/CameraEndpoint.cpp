#include "settings/CameraEndpoint.h"

#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLog.h"

#include <QJsonValue>

namespace {

QString dialectKey(int slot)
{
	return SettingsFile::slotName(slot) + QStringLiteral("Dialect");
}

QString portKey(int slot)
{
	return SettingsFile::slotName(slot) + QStringLiteral("Port");
}

} // namespace

quint16 CameraEndpoint::defaultPort(CameraDialect dialect)
{
	switch (dialect) {
	case CameraDialect::ViscaOverIp:
		return kViscaOverIpPort;
	case CameraDialect::BareUdp:
		return 1259;
	case CameraDialect::BareTcp:
		return 5678;
	}
	return kViscaOverIpPort;
}

QString CameraEndpoint::dialectName(CameraDialect dialect)
{
	switch (dialect) {
	case CameraDialect::ViscaOverIp:
		return QStringLiteral("visca-ip");
	case CameraDialect::BareUdp:
		return QStringLiteral("visca-udp");
	case CameraDialect::BareTcp:
		return QStringLiteral("visca-tcp");
	}
	return QString();
}

std::optional<CameraDialect> CameraEndpoint::dialectNamed(const QString &name)
{
	for (CameraDialect dialect : allDialects())
		if (dialectName(dialect) == name)
			return dialect;
	return std::nullopt;
}

QList<CameraDialect> CameraEndpoint::allDialects()
{
	return {CameraDialect::ViscaOverIp, CameraDialect::BareUdp, CameraDialect::BareTcp};
}

CameraEndpoint CameraEndpoint::ofSlot(const QJsonObject &settings, int slot)
{
	CameraEndpoint endpoint = at(settings.value(SettingsFile::addressKey(slot)).toString());
	const QJsonValue dialect = settings.value(dialectKey(slot));
	if (!dialect.isUndefined()) {
		const std::optional<CameraDialect> named = dialectNamed(dialect.toString());
		if (named)
			endpoint.dialect = *named;
		else
			qCWarning(lcSettings).noquote()
				<< "Settings:" << dialectKey(slot) << "holds" << OutsideText::shown(dialect).constData()
				<< "- not \"visca-ip\", \"visca-udp\" or \"visca-tcp\"; the slot speaks VISCA over IP";
	}
	endpoint.port = defaultPort(endpoint.dialect);
	const QJsonValue port = settings.value(portKey(slot));
	if (!port.isUndefined()) {
		const double number = port.toDouble(-1);
		if (port.isDouble() && number >= 1 && number <= 65535 && number == int(number))
			endpoint.port = quint16(number);
		else
			qCWarning(lcSettings).noquote()
				<< "Settings:" << portKey(slot) << "holds" << OutsideText::shown(port).constData()
				<< "- not a port 1 to 65535; the slot uses" << endpoint.port;
	}
	return endpoint;
}

void CameraEndpoint::storeDialect(QJsonObject &settings, int slot) const
{
	if (dialect == CameraDialect::ViscaOverIp)
		settings.remove(dialectKey(slot));
	else
		settings.insert(dialectKey(slot), dialectName(dialect));
	if (port == defaultPort(dialect))
		settings.remove(portKey(slot));
	else
		settings.insert(portKey(slot), int(port));
}

QString CameraEndpoint::text() const
{
	if (dialect == CameraDialect::ViscaOverIp && port == kViscaOverIpPort)
		return address;
	return QStringLiteral("%1 (%2, port %3)").arg(address, dialectName(dialect)).arg(int(port));
}
