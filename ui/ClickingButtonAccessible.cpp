#include "ui/ClickingButtonAccessible.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>

namespace {

constexpr const char *kMarker = "accessibleActionClicks";

class ButtonInterface : public QAccessibleWidget {
public:
	explicit ButtonInterface(QAbstractButton *button)
	    : QAccessibleWidget(button, button->isCheckable() ? QAccessible::CheckBox : QAccessible::Button)
	{
	}

	QString text(QAccessible::Text kind) const override
	{
		if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
			return button()->text();
		return QAccessibleWidget::text(kind);
	}

	QAccessible::State state() const override
	{
		QAccessible::State state = QAccessibleWidget::state();
		state.checkable = button()->isCheckable();
		state.checked = button()->isChecked();
		state.pressed = button()->isDown();
		return state;
	}

	QStringList actionNames() const override
	{
		QStringList names{QAccessibleActionInterface::pressAction()};
		if (button()->isCheckable())
			names << QAccessibleActionInterface::toggleAction();
		return names;
	}

	void doAction(const QString &action) override
	{
		if (!widget()->isEnabled())
			return;
		if (action == QAccessibleActionInterface::pressAction() ||
		    action == QAccessibleActionInterface::toggleAction())
			button()->click();
	}

	QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
	QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
};

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
	Q_UNUSED(className)
	auto *button = qobject_cast<QAbstractButton *>(object);
	if (button && button->property(kMarker).toBool())
		return new ButtonInterface(button);
	return nullptr;
}

} // namespace

namespace {

bool factoryInstalled = false; // UI thread only

} // namespace

void ClickingButtonAccessible::mark(QAbstractButton *button)
{
	if (!factoryInstalled) {
		QAccessible::installFactory(interfaceFor);
		factoryInstalled = true;
	}
	button->setProperty(kMarker, true);
	// Setting the button's text already made Qt create and keep its own interface for it; dropping that one
	// lets the next query create ours.
	if (QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(button)) {
		if (!dynamic_cast<ButtonInterface *>(existing))
			QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
	}
}

void ClickingButtonAccessible::uninstall()
{
	if (!factoryInstalled)
		return;
	QAccessible::removeFactory(interfaceFor);
	factoryInstalled = false;
}
