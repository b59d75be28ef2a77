#include "ui/CompactLayout.h"

#include "ui/HostStyle.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLayout>
#include <QSize>
#include <QString>
#include <QStyle>
#include <QVariant>
#include <QWidget>

#include <utility>

namespace {

constexpr const char *kDesignedSize = "kavrenDesignedSize";
constexpr const char *kDesignedRoom = "kavrenDesignedRoom";
constexpr const char *kTitle = "kavrenTitle";

// Each control's compact minimum; its designed one is kept on it while compact.
void setMinimum(QWidget *control, const QSize &compactSize, bool compact)
{
	if (!control)
		return;
	if (!control->property(kDesignedSize).isValid())
		control->setProperty(kDesignedSize, control->minimumSize());
	const QSize size = compact ? compactSize : control->property(kDesignedSize).toSize();
	setShieldedMinimumSize(control, size);
}

// A layout's margins and spacing: the compact ones, or the form's (a grid's across and down apart).
void setRoom(QLayout *layout, int compactMargin, int compactSpacing, bool compact)
{
	if (!layout)
		return;
	auto *grid = qobject_cast<QGridLayout *>(layout);
	if (!layout->property(kDesignedRoom).isValid()) {
		const QMargins margins = layout->contentsMargins();
		layout->setProperty(kDesignedRoom,
				    QVariantList{margins.left(), margins.top(), margins.right(), margins.bottom(),
						 grid ? grid->horizontalSpacing() : layout->spacing(),
						 grid ? grid->verticalSpacing() : layout->spacing()});
	}
	const QVariantList designed = layout->property(kDesignedRoom).toList();
	const auto at = [&designed, compact](int index, int compactValue) {
		return compact ? compactValue : designed.at(index).toInt();
	};
	layout->setContentsMargins(at(0, compactMargin), at(1, compactMargin), at(2, compactMargin),
				   at(3, compactMargin));
	if (grid) {
		grid->setHorizontalSpacing(at(4, compactSpacing));
		grid->setVerticalSpacing(at(5, compactSpacing));
	} else {
		layout->setSpacing(at(4, compactSpacing));
	}
}

void setTitled(QGroupBox *box, bool compact)
{
	if (!box)
		return;
	if (!box->property(kTitle).isValid())
		box->setProperty(kTitle, box->title());
	box->setTitle(compact ? QString() : box->property(kTitle).toString());
	// The style's [compact="true"] rule takes the title's room away.
	box->setProperty("compact", compact);
	box->style()->unpolish(box);
	box->style()->polish(box);
	setMinimum(box, QSize(box->minimumWidth(), 0), compact);
}

// Presets 1-9, 10+, Store and Call: three rows of four when compact, the form's rows of three otherwise.
void placePresets(QWidget *window, bool compact)
{
	auto *grid = window->findChild<QGridLayout *>(QStringLiteral("PresetGridLayout"));
	if (!grid)
		return;
	QStringList names;
	for (int preset = 1; preset <= 9; ++preset)
		names << QStringLiteral("Preset%1Button").arg(preset);
	names << (compact ? QStringList{QStringLiteral("TenButton"), QStringLiteral("StoreButton"),
					QStringLiteral("CallButton")}
			  : QStringList{QStringLiteral("StoreButton"), QStringLiteral("TenButton"),
					QStringLiteral("CallButton")});
	const int columns = compact ? 4 : 3;
	for (int index = 0; index < names.size(); ++index)
		if (QWidget *button = window->findChild<QWidget *>(names.at(index)))
			grid->addWidget(button, index / columns, index % columns);
}

} // namespace

namespace CompactLayout {

void apply(QWidget *window, bool compact)
{
	if (QWidget *logo = window->findChild<QWidget *>(QStringLiteral("LogoLabel")))
		logo->setVisible(!compact);
	for (const char *box : {"SelectCameraBox", "CameraControlBox"})
		setTitled(window->findChild<QGroupBox *>(QLatin1String(box)), compact);
	for (const char *menu : {"SettingsButton", "ViewButton", "HelpButton"})
		setMinimum(window->findChild<QWidget *>(QLatin1String(menu)), QSize(130, 26), compact);
	for (int slot = 1; slot <= 8; ++slot)
		setMinimum(window->findChild<QWidget *>(QStringLiteral("Camera%1Button").arg(slot)), QSize(80, 24),
			   compact);
	for (const char *pad : {"UpperLeftButton", "UpButton", "UpperRightButton", "LefButton", "HomeButton",
				"RightButton", "LowerLeftButton", "DownButton", "LowerRightButton"})
		setMinimum(window->findChild<QWidget *>(QLatin1String(pad)), QSize(48, 46), compact);
	// The lens columns as tall as the pad: their buttons and a short slider.
	for (const char *lens : {"ZoomWidget", "FocusWidget"})
		setMinimum(window->findChild<QWidget *>(QLatin1String(lens)), QSize(66, 146), compact);
	for (int preset = 1; preset <= 9; ++preset)
		setMinimum(window->findChild<QWidget *>(QStringLiteral("Preset%1Button").arg(preset)), QSize(80, 24),
			   compact);
	for (const char *action : {"TenButton", "StoreButton", "CallButton"})
		setMinimum(window->findChild<QWidget *>(QLatin1String(action)), QSize(80, 24), compact);
	setMinimum(window->findChild<QWidget *>(QStringLiteral("StatusFrame")), QSize(0, 36), compact);
	// The advanced panel takes the controls' place, in their width.
	setMinimum(window->findChild<QWidget *>(QStringLiteral("AdvanceFrame")), QSize(0, 0), compact);
	placePresets(window, compact);
	for (const char *layout : {"CameraSlotLayout", "CameraControlLayout"})
		setRoom(window->findChild<QLayout *>(QLatin1String(layout)), 4, 4, compact);
	for (const char *layout : {"PresetGridLayout", "SimpleColumn"})
		setRoom(window->findChild<QLayout *>(QLatin1String(layout)), 0, 4, compact);
	setRoom(window->layout(), 4, 4, compact);
	// The room a dock has beyond the minimum goes to the pad and the lens columns, not to the status line.
	const std::pair<const char *, const char *> growing[] = {{"SimpleColumn", "CameraControlBox"},
								 {"CameraControlLayout", "MotionPanel"}};
	for (const auto &[layoutName, partName] : growing) {
		auto *layout = window->findChild<QBoxLayout *>(QLatin1String(layoutName));
		QWidget *part = window->findChild<QWidget *>(QLatin1String(partName));
		if (layout && part)
			layout->setStretchFactor(part, compact ? 1 : 0);
	}
}

} // namespace CompactLayout
