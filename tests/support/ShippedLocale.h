#pragma once

// The locale file the module ships, installed the way the host installs its table, so the texts a test checks
// are the ones a user sees.

#include "LocaleTable.h"

#include <QString>

inline LocaleTable &localeTable()
{
	static LocaleTable table;
	return table;
}

inline bool loadLocale()
{
	if (localeTable().isEmpty() && !localeTable().load(QStringLiteral(KAVREN_SOURCE_DIR "/data/locale/en-US.ini")))
		return false;
	localeTable().install();
	return true;
}

inline QString localeText(const char *key)
{
	return localeTable().text(key);
}
