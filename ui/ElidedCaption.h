#pragma once

#include <QObject>
#include <QString>

class QAbstractButton;

// A button caption that may be longer than the button: it is shown cut with "…" to the button's width (again
// whenever the button's size or font changes), and the whole caption stays available as the tool tip, as the
// accessible description and through caption().
class ElidedCaption : public QObject {
	Q_OBJECT

public:
	static void set(QAbstractButton *button, const QString &caption);
	// The whole caption last set (the button's text when none was set through set()).
	static QString caption(const QAbstractButton *button);

protected:
	bool eventFilter(QObject *watched, QEvent *event) override;

private:
	explicit ElidedCaption(QAbstractButton *button);
	static void show(QAbstractButton *button);
};
