#include "ui/EnterKeyActs.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

EnterKeyActs::EnterKeyActs(QObject *parent) : QObject(parent) {}

void EnterKeyActs::watch(QAbstractButton *button)
{
	if (auto *pushButton = qobject_cast<QPushButton *>(button))
		pushButton->setAutoDefault(false);
	button->installEventFilter(this);
}

bool EnterKeyActs::eventFilter(QObject *watched, QEvent *event)
{
	if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
		return QObject::eventFilter(watched, event);
	auto *key = static_cast<QKeyEvent *>(event);
	if ((key->key() != Qt::Key_Enter && key->key() != Qt::Key_Return) || key->modifiers() != Qt::NoModifier)
		return QObject::eventFilter(watched, event);
	QKeyEvent space(key->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), key->isAutoRepeat());
	QCoreApplication::sendEvent(watched, &space);
	return true;
}
