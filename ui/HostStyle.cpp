#include "ui/HostStyle.h"

#include "ui/FocusRing.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRegularExpression>
#include <QSize>
#include <QString>
#include <QSvgRenderer>
#include <QVariant>
#include <QWidget>

namespace {

constexpr const char *kNeutralBoxModel = R"(
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

// The controls a theme sizes: buttons, drop-down lists, edits and labels.
bool isThemedControl(const QWidget *widget)
{
	return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget) ||
	       qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QLabel *>(widget);
}

// The padding and border widths a control's own sheet gives it, as left + right and top + bottom: a style sheet's
// minimum size counts the content only, so they come off the form's minimum.
QSize ownBoxExtent(const QString &sheet)
{
	static const QRegularExpression side(
		QStringLiteral(R"((padding|border)-(left|right|top|bottom)(?:-width)?\s*:\s*(\d+)px)"));
	static const QRegularExpression all(QStringLiteral(R"((?:padding|border(?:-width)?)\s*:\s*(\d+)px)"));
	int horizontal = 0;
	int vertical = 0;
	for (auto it = all.globalMatch(sheet); it.hasNext();) {
		const int width = it.next().captured(1).toInt();
		horizontal += 2 * width;
		vertical += 2 * width;
	}
	for (auto it = side.globalMatch(sheet); it.hasNext();) {
		const QRegularExpressionMatch match = it.next();
		const bool across =
			match.captured(2) == QLatin1String("left") || match.captured(2) == QLatin1String("right");
		(across ? horizontal : vertical) += match.captured(3).toInt();
	}
	return QSize(horizontal, vertical);
}

// What a theme would otherwise decide for a control: its box model and its minimum size, restated from the form
// as a rule of the control's own style sheet, which Qt prefers to every sheet inherited from the window or the
// application. What the control's own sheet already says of its box model is kept.
QString themeProofRule(const QWidget *control, const QString &own)
{
	QString declarations;
	for (const char *property : {"margin", "padding"}) {
		const QString name = QLatin1String(property);
		if (own.contains(name + QLatin1Char(':')))
			continue;
		for (const char *side : {"top", "right", "bottom", "left"}) {
			const QString longhand = name + QLatin1Char('-') + QLatin1String(side);
			if (!own.contains(longhand))
				declarations += QStringLiteral(" %1: 0px;").arg(longhand);
		}
	}
	const QSize minimum = control->minimumSize() - ownBoxExtent(own);
	if (minimum.width() > 0)
		declarations += QStringLiteral(" min-width: %1px;").arg(minimum.width());
	if (minimum.height() > 0)
		declarations += QStringLiteral(" min-height: %1px;").arg(minimum.height());
	return QStringLiteral("#%1 {%2 }").arg(control->objectName(), declarations);
}

// Where a shielded control keeps the rules of its own sheet, to restate its minimum size when that changes.
constexpr const char *kOwnRules = "kavrenOwnRules";

// Draws a logo again in the colours of its label's palette whenever they change.
class LogoPainter : public QObject {
public:
	LogoPainter(QLabel *label, const QString &path) : QObject(label), label(label), path(path) { paint(); }

protected:
	bool eventFilter(QObject *watched, QEvent *event) override
	{
		if (watched == label &&
		    (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange))
			paint();
		return QObject::eventFilter(watched, event);
	}

private:
	void paint()
	{
		QFile file(path);
		if (!file.open(QIODevice::ReadOnly))
			return;
		const QColor text = label->palette().color(label->foregroundRole());
		QByteArray svg = file.readAll();
		svg.replace("#FFFFFF", text.name().toLatin1());
		QSvgRenderer renderer(svg);
		const qreal ratio = label->devicePixelRatioF();
		QPixmap logo(renderer.defaultSize() * ratio);
		logo.fill(Qt::transparent);
		QPainter painter(&logo);
		renderer.render(&painter);
		painter.end();
		logo.setDevicePixelRatio(ratio);
		label->setPixmap(logo);
	}

	QLabel *label;
	QString path;
};

// Keeps a window's disabled text its enabled colour dimmed towards the window's background, as the palette
// changes (another theme chosen in the host) and as controls are enabled or disabled: Qt 6 polishes a control with a
// style sheet again when it is enabled or disabled, which brings back the palette from before its sheet.
class DisabledTextKeeper : public QObject {
public:
	explicit DisabledTextKeeper(QWidget *window) : QObject(window), window(window)
	{
		window->installEventFilter(this);
		for (QWidget *child : window->findChildren<QWidget *>())
			child->installEventFilter(this);
		apply();
	}

protected:
	bool eventFilter(QObject *watched, QEvent *event) override
	{
		const QEvent::Type type = event->type();
		if (type == QEvent::PaletteChange || type == QEvent::EnabledChange || type == QEvent::StyleChange ||
		    type == QEvent::ApplicationPaletteChange) {
			if (watched == window)
				apply();
			else if (watched->isWidgetType())
				dim(static_cast<QWidget *>(watched));
		}
		return QObject::eventFilter(watched, event);
	}

private:
	void apply()
	{
		// Every widget, not only the window: a widget with a style sheet of its own keeps the palette it had
		// when the sheet was applied.
		dim(window);
		for (QWidget *child : window->findChildren<QWidget *>())
			dim(child);
	}

	// Sets the palette only when it differs, so the change it causes ends here.
	static void dim(QWidget *widget)
	{
		// Two parts text to one part background: dimmed, and at least 3:1 on light and dark themes alike.
		constexpr double kText = 0.62;
		QPalette palette = widget->palette();
		const QColor background = palette.color(QPalette::Active, QPalette::Window);
		bool changed = false;
		for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
			const QColor text = palette.color(QPalette::Active, role);
			const QColor dimmed =
				QColor::fromRgbF(text.redF() * kText + background.redF() * (1 - kText),
						 text.greenF() * kText + background.greenF() * (1 - kText),
						 text.blueF() * kText + background.blueF() * (1 - kText));
			if (palette.color(QPalette::Disabled, role) == dimmed)
				continue;
			palette.setColor(QPalette::Disabled, role, dimmed);
			changed = true;
		}
		if (changed)
			widget->setPalette(palette);
	}

	QWidget *window;
};

} // namespace

void showLogo(QLabel *label, const QString &path)
{
	label->installEventFilter(new LogoPainter(label, path));
}

void applyHostStyleShield(QWidget *window, const QString &windowSheet)
{
	// The controls first: setting the window's sheet repolishes every control that has a sheet of its own, and
	// a control polished under the host's theme has lost its form's minimum size.
	for (QWidget *control : window->findChildren<QWidget *>()) {
		if (!isThemedControl(control) || control->objectName().isEmpty())
			continue;
		const QString own = control->styleSheet().trimmed();
		// Bare declarations in a control's own sheet apply to the control itself.
		const QString rules = own.isEmpty() || own.contains(QLatin1Char('{'))
					      ? own
					      : QStringLiteral("#%1 { %2 }").arg(control->objectName(), own);
		control->setProperty(kOwnRules, rules);
		control->setStyleSheet(rules + QLatin1Char('\n') + themeProofRule(control, rules));
	}

	QString sheet = windowSheet.isEmpty() ? window->styleSheet().trimmed() : windowSheet.trimmed();
	// A sheet of bare declarations applies to the window and its children alike, which is what "* { ... }" says
	// once rules follow it.
	if (!sheet.isEmpty() && !sheet.contains(QLatin1Char('{')))
		sheet = QStringLiteral("* { ") + sheet + QStringLiteral("; }");
	window->setStyleSheet(sheet + QString::fromUtf8(kNeutralBoxModel));
	FocusRing::install(window);
	new DisabledTextKeeper(window);
}

void setShieldedMinimumSize(QWidget *control, const QSize &size)
{
	control->setMinimumSize(size);
	const QVariant own = control->property(kOwnRules);
	if (own.isValid())
		control->setStyleSheet(own.toString() + QLatin1Char('\n') + themeProofRule(control, own.toString()));
}
