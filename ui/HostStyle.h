#pragma once

#include <QString>
#include <QWidget>

// The host applies its theme to every widget of the application, ours included: a theme's paddings and margins
// would squeeze the fixed-size controller window out of shape. Each of our windows sets these neutral values at
// its top, so our own style sheets decide how the controls look. A theme's minimum heights are not restated: a
// style sheet's minimum would replace the minimum sizes of the forms.
inline constexpr const char *kHostStyleShield = R"(
QPushButton, QComboBox, QLineEdit, QLabel, QCheckBox, QSpinBox {
	margin: 0px;
}
QPushButton { padding: 0px; }
QLineEdit { padding: 0px; }
QGroupBox {
	padding: 0px;
	margin-bottom: 0px;
}
QSlider::handle:vertical { margin: 0px; }
)";

// Adds the neutral values to a window's own style sheet. A sheet of bare declarations applies to the window and
// its children alike, which is what "* { ... }" says once rules follow it.
inline void applyHostStyleShield(QWidget *window)
{
	QString sheet = window->styleSheet().trimmed();
	if (!sheet.isEmpty() && !sheet.contains(QLatin1Char('{')))
		sheet = QStringLiteral("* { ") + sheet + QStringLiteral("; }");
	window->setStyleSheet(sheet + QString::fromUtf8(kHostStyleShield));
}
