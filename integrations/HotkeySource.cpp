#include "integrations/HotkeySource.h"

#include <utility>

namespace {

HotkeySource::Factory &installedFactory()
{
	static HotkeySource::Factory factory;
	return factory;
}

} // namespace

HotkeySource::HotkeySource(QObject *parent) : QObject(parent) {}

HotkeySource::~HotkeySource() = default;

void HotkeySource::setFactory(Factory factory)
{
	installedFactory() = std::move(factory);
}

HotkeySource *HotkeySource::create(QObject *parent)
{
	if (installedFactory()) {
		if (HotkeySource *source = installedFactory()(parent))
			return source;
	}
	return new HotkeySource(parent);
}
