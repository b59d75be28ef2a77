#include "ui/ElidedCaption.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFontMetrics>
#include <QVariant>

#include <algorithm>

namespace {

constexpr const char *kCaptionProperty = "elidedCaptionText";
// Room the button's frame and margins take from the text, so the cut text never touches the edges.
constexpr int kTextMargin = 8;

} // namespace

ElidedCaption::ElidedCaption(QAbstractButton *button) : QObject(button)
{
	button->installEventFilter(this);
}

void ElidedCaption::set(QAbstractButton *button, const QString &caption)
{
	if (!button->findChild<ElidedCaption *>(QString(), Qt::FindDirectChildrenOnly))
		new ElidedCaption(button);
	button->setProperty(kCaptionProperty, caption);
	show(button);
}

QString ElidedCaption::caption(const QAbstractButton *button)
{
	const QVariant caption = button->property(kCaptionProperty);
	return caption.isValid() ? caption.toString() : button->text();
}

void ElidedCaption::show(QAbstractButton *button)
{
	const QString caption = ElidedCaption::caption(button);
	const int room = std::max(0, button->width() - kTextMargin);
	const QString shown = button->fontMetrics().elidedText(caption, Qt::ElideRight, room);
	if (button->text() != shown)
		button->setText(shown);
	// The whole caption for screen readers, and for the mouse and as a description when it had to be cut.
	button->setAccessibleName(caption);
	button->setToolTip(shown == caption ? QString() : caption);
	button->setAccessibleDescription(shown == caption ? QString() : caption);
}

bool ElidedCaption::eventFilter(QObject *watched, QEvent *event)
{
	switch (event->type()) {
	case QEvent::Resize:
	case QEvent::FontChange:
	case QEvent::StyleChange:
	case QEvent::Polish:
		show(static_cast<QAbstractButton *>(watched));
		break;
	default:
		break;
	}
	return QObject::eventFilter(watched, event);
}
