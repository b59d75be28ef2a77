#pragma once

#include <QObject>

class QAbstractButton;

// Enter and Return act on the focused button exactly as Space does: a direction held with Enter moves while the
// key is down, a slot or preset button is clicked on release. The buttons are no dialog's "default" button, so
// Return in an edit never clicks some button that once had the focus.
class EnterKeyActs : public QObject {
	Q_OBJECT

public:
	explicit EnterKeyActs(QObject *parent);
	void watch(QAbstractButton *button);

protected:
	bool eventFilter(QObject *watched, QEvent *event) override;
};
