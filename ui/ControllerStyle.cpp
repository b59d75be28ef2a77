#include "ui/ControllerStyle.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <utility>

namespace {

// The framed buttons' box, in the host palette's roles; each kind adds its font and its states.
QString framedButton(int fontPixels, const char *more, const char *states)
{
	return QStringLiteral(R"(QPushButton {
	background-color: palette(button);
	border: 1px solid palette(dark);
	border-radius: 4px;
	font: normal %1px "Arial";%2
}
%3)")
		.arg(fontPixels)
		.arg(QLatin1String(more), QLatin1String(states));
}

constexpr const char *kMenuButtonStates = R"(QPushButton:pressed, QPushButton:open {
	background-color: palette(base);
	border-bottom-left-radius: 0px;
	border-bottom-right-radius: 0px;
}
QPushButton::menu-indicator {
	subcontrol-origin: padding;
	subcontrol-position: right center;
	right: 10px;
})";

// A slot shows whether its camera is in use (checked), being connected, silent or live on program.
constexpr const char *kSlotButtonStates = R"(QPushButton:checked, QPushButton:pressed {
	background-color: palette(highlight);
	border-color: palette(highlight);
	color: palette(highlighted-text);
}
QPushButton[connecting="true"] {
	border-color: palette(highlight);
	border-style: dashed;
	color: palette(highlight);
}
QPushButton[silent="true"] {
	border-color: #e0a030;
	border-style: dotted;
}
QPushButton[live="true"] {
	border-color: #d9342b;
	background-color: #7a1d18;
	color: #ffffff;
})";

constexpr const char *kPresetButtonStates = R"(QPushButton:checked, QPushButton:pressed {
	background-color: palette(highlight);
	color: palette(highlighted-text);
})";

constexpr const char *kActionButtonStates = R"(QPushButton:pressed {
	background-color: palette(highlight);
	color: palette(highlighted-text);
})";

constexpr const char *kGroupBox = R"(QGroupBox {
	font: bold 14px "Arial";
	border: 1px solid palette(dark);
	border-radius: 5px;
	margin-top: 14px;
}
QGroupBox[compact="true"] {
	margin-top: 0px;
}
QGroupBox::title {
	subcontrol-origin: margin;
	subcontrol-position: top left;
	left: 8px;
	padding: 0px 3px;
})";

constexpr const char *kStatusFrame = R"(QFrame#StatusFrame {
	background-color: palette(base);
	border-radius: 4px;
}
QLabel {
	font: normal 12px "Arial";
	background: transparent;
	border-left: 3px solid transparent;
	padding-left: 5px;
}
QLabel#MessageLabel[severity="warning"] {
	border-left-color: #E08A00;
	font-weight: bold;
})";

constexpr const char *kFieldLabel = R"(QLabel {
	font: normal 14px "Arial";
	background: transparent;
})";

constexpr const char *kEdit = R"(QLineEdit {
	background-color: palette(base);
	border: none;
	border-radius: 2px;
	font: normal 12px "Arial";
})";

constexpr const char *kComboBox = R"(QComboBox {
	background-color: palette(base);
	border: none;
	border-radius: 2px;
	font: normal 12px "Arial";
	padding-left: 5px;
}
QComboBox QAbstractItemView {
	background-color: palette(base);
	selection-background-color: palette(highlight);
	selection-color: palette(highlighted-text);
})";

// An artwork button: the picture of its folder's set, pressed and disabled variants beside it ("_p", "_d").
QString artwork(const char *folder, const char *picture)
{
	const QString base =
		QStringLiteral(":/resource/images/%1/%2").arg(QLatin1String(folder), QLatin1String(picture));
	return QStringLiteral(R"(QPushButton {
	border: none;
	background: transparent;
	image: url("%1.svg");
}
QPushButton:pressed {
	image: url("%1_p.svg");
}
QPushButton:disabled {
	image: url("%1_d.svg");
})")
		.arg(base);
}

void style(QWidget *window, const QString &name, const QString &sheet)
{
	if (QWidget *control = window->findChild<QWidget *>(name))
		control->setStyleSheet(sheet);
}

// The fields of a panel: its boxes' own controls, not those inside the custom widgets, which have their own looks.
template <typename Control>
void styleFieldsOf(QWidget *area, const char *sheet)
{
	for (Control *control : area->findChildren<Control *>())
		if (qobject_cast<QGroupBox *>(control->parentWidget()))
			control->setStyleSheet(QLatin1String(sheet));
}

} // namespace

namespace ControllerStyle {

void apply(QWidget *window)
{
	style(window, QStringLiteral("LogoLabel"), QStringLiteral("background: transparent;"));
	for (const char *menu : {"SettingsButton", "ViewButton", "HelpButton"})
		style(window, QLatin1String(menu),
		      framedButton(14, "\n\ttext-align: left;\n\tpadding-left: 10px;", kMenuButtonStates));
	for (QGroupBox *box : window->findChildren<QGroupBox *>())
		box->setStyleSheet(QLatin1String(kGroupBox));
	const QString slotButton = framedButton(14, "", kSlotButtonStates);
	for (int slot = 1; slot <= 8; ++slot)
		style(window, QStringLiteral("Camera%1Button").arg(slot), slotButton);
	const std::pair<const char *, const char *> pad[] = {{"UpperLeftButton", "UpperLeft"},
							     {"UpButton", "Up"},
							     {"UpperRightButton", "UpperRight"},
							     {"LefButton", "Left"},
							     {"HomeButton", "Home"},
							     {"RightButton", "Right"},
							     {"LowerLeftButton", "LowerLeft"},
							     {"DownButton", "Down"},
							     {"LowerRightButton", "LowerRight"}};
	for (const auto &[name, picture] : pad)
		style(window, QLatin1String(name), artwork("Simple Mode", picture));
	const QString presetButton = framedButton(14, "", kPresetButtonStates);
	for (int preset = 1; preset <= 9; ++preset)
		style(window, QStringLiteral("Preset%1Button").arg(preset), presetButton);
	style(window, QStringLiteral("TenButton"), presetButton);
	for (const char *action : {"StoreButton", "CallButton", "OnePushButton"})
		style(window, QLatin1String(action), framedButton(13, "", kActionButtonStates));
	style(window, QStringLiteral("StatusFrame"), QLatin1String(kStatusFrame));

	QWidget *advanced = window->findChild<QWidget *>(QStringLiteral("AdvanceFrame"));
	if (!advanced)
		return;
	advanced->setStyleSheet(QStringLiteral("QFrame#AdvanceFrame { background: transparent; }"));
	styleFieldsOf<QLabel>(advanced, kFieldLabel);
	styleFieldsOf<QLineEdit>(advanced, kEdit);
	styleFieldsOf<QComboBox>(advanced, kComboBox);
	const std::pair<const char *, const char *> scenes[] = {{"IndoorButton", "Indoor"},
								{"MotionButton", "Motion"},
								{"LowLightButton", "Low Light"},
								{"BackLightButton", "Back Light"}};
	for (const auto &[name, picture] : scenes)
		style(window, QLatin1String(name), artwork("Advanced Mode", picture));
}

} // namespace ControllerStyle
