#include "settings/OperatorBox.h"

#include "kavren-version.h"

#include <utility>

namespace {

OperatorBox::Presenter &installed()
{
	static OperatorBox::Presenter presenter;
	return presenter;
}

} // namespace

void OperatorBox::setPresenter(Presenter presenter)
{
	installed() = std::move(presenter);
}

void OperatorBox::present(const Box &box)
{
	if (installed())
		installed()(box);
}

void OperatorBox::warn(const QString &text)
{
	// Screen readers announce a box by its title.
	present({QStringLiteral(KAVREN_DISPLAY_NAME), text, true});
}
