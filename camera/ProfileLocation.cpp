#include "camera/ProfileLocation.h"

#include <QDir>
#include <QtGlobal>

namespace {

QString &installedDirectory()
{
	static QString dir;
	return dir;
}

QString withTrailingSlash(QString dir)
{
	if (!dir.endsWith(QLatin1Char('/')))
		dir += QLatin1Char('/');
	return dir;
}

QString systemWideDirectory()
{
	return QDir::rootPath() + QStringLiteral("Library/Application Support/obs-studio/ini/");
}

} // namespace

void setInstalledProfileDirectory(const QString &dir)
{
	installedDirectory() = dir;
}

QString profileDirectory()
{
	const QString overridden = qEnvironmentVariable("KAVREN_PROFILE_DIR");
	if (!overridden.isEmpty())
		return withTrailingSlash(QDir(overridden).absolutePath());
#if defined(Q_OS_MACOS)
	return systemWideDirectory();
#else
	if (installedDirectory().isEmpty())
		return systemWideDirectory();
	return withTrailingSlash(QDir(installedDirectory()).absolutePath());
#endif
}
