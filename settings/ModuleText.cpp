#include "settings/ModuleText.h"

#include <utility>

namespace {

ModuleText::Lookup &currentLookup()
{
	static ModuleText::Lookup lookup;
	return lookup;
}

} // namespace

void ModuleText::setLookup(Lookup lookup)
{
	currentLookup() = std::move(lookup);
}

QString ModuleText::text(const char *key)
{
	const char *found = currentLookup() ? currentLookup()(key) : nullptr;
	return QString::fromUtf8(found ? found : key);
}
