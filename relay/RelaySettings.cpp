#include "RelaySettings.h"

#include "RelayLog.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <optional>

namespace {

const QString kEnabledKey = QStringLiteral("RelayEnabled");
const QString kListenKey = QStringLiteral("RelayListen");
const QString kAnyDestinationKey = QStringLiteral("RelayAnyDestination");
const QString kAllowedOriginsKey = QStringLiteral("RelayAllowedOrigins");
const QString kSecretKey = QStringLiteral("RelaySecret");
const QString kListenAll = QStringLiteral("all");
const QString kListenLocal = QStringLiteral("local");

void logIgnored(const QString &key, const QJsonValue &value, const char *expected, const char *fallback)
{
	qCWarning(lcRelay, "Settings: %s holds %s, not %s; the relay uses %s.", qPrintable(key),
		  OutsideText::shown(value).constData(), expected, fallback);
}

bool readBool(const QJsonObject &settings, const QString &key, bool fallback)
{
	const QJsonValue value = settings.value(key);
	if (value.isUndefined())
		return fallback;
	if (value.isBool())
		return value.toBool();
	logIgnored(key, value, "true or false", fallback ? "true" : "false");
	return fallback;
}

bool readLocalOnly(const QJsonObject &settings)
{
	const QJsonValue value = settings.value(kListenKey);
	if (value.isUndefined() || value.toString() == kListenAll)
		return false;
	if (value.toString() == kListenLocal)
		return true;
	logIgnored(kListenKey, value, "\"all\" or \"local\"", "\"all\"");
	return false;
}

QStringList readOrigins(const QJsonObject &settings)
{
	const QJsonValue value = settings.value(kAllowedOriginsKey);
	if (value.isUndefined())
		return {};
	QStringList origins;
	const QJsonArray array = value.toArray();
	for (const QJsonValue &origin : array) {
		if (!origin.isString())
			break;
		origins << origin.toString();
	}
	if (value.isArray() && origins.size() == array.size())
		return origins;
	logIgnored(kAllowedOriginsKey, value, "an array of strings", "no web page");
	return {};
}

// The secret itself is never logged, whatever its type.
void readSecret(const QJsonObject &settings, RelaySettings &relay)
{
	const QJsonValue value = settings.value(kSecretKey);
	relay.secret = value.toString();
	relay.secretUnreadable = !value.isUndefined() && !value.isString();
	if (relay.secretUnreadable)
		qCWarning(lcRelay, "Settings: %s is not a string; the relay serves no client until it is one.",
			  qPrintable(kSecretKey));
}

} // namespace

RelaySettings RelaySettings::fromJson(const QJsonObject &settings)
{
	RelaySettings relay;
	relay.enabled = readBool(settings, kEnabledKey, relay.enabled);
	relay.localOnly = readLocalOnly(settings);
	relay.anyDestination = readBool(settings, kAnyDestinationKey, relay.anyDestination);
	relay.allowedOrigins = readOrigins(settings);
	readSecret(settings, relay);
	return relay;
}

void RelaySettings::writeTo(QJsonObject &settings) const
{
	settings[kEnabledKey] = enabled;
	settings[kListenKey] = localOnly ? kListenLocal : kListenAll;
	settings[kAnyDestinationKey] = anyDestination;
	settings[kAllowedOriginsKey] = QJsonArray::fromStringList(allowedOrigins);
	// An unreadable secret stays as the file has it, keeping the relay closed until someone mends it.
	if (!secretUnreadable)
		settings[kSecretKey] = secret;
}

RelaySettings RelaySettings::read(const QString &directory)
{
	const std::optional<QJsonObject> settings = SettingsFile::tryRead(directory);
	if (!settings)
		qCDebug(lcRelay, "It's failed to read JSON file.");
	return fromJson(settings.value_or(QJsonObject()));
}

bool RelaySettings::store(const QString &directory) const
{
	return SettingsFile::updateLogged(lcRelay, [this](QJsonObject &settings) { writeTo(settings); }, directory);
}

bool RelaySettings::operator==(const RelaySettings &other) const
{
	return enabled == other.enabled && localOnly == other.localOnly && anyDestination == other.anyDestination &&
	       allowedOrigins == other.allowedOrigins && secret == other.secret &&
	       secretUnreadable == other.secretUnreadable;
}
