#pragma once

#include <QPointer>
#include <QWidget>

// A clear keyboard focus indicator for one of our windows: a ring around the control that has the focus, in the
// palette's text colour, which stands out against the window under a light theme and a dark one alike (the
// styles' own focus frames are faint, and our style sheets hide them on most controls). The ring is a child of
// the window, drawn above the controls and a little outside the focused one, so a container's edge never cuts it
// off; it lets every mouse event through.
class FocusRing : public QWidget {
	Q_OBJECT

public:
	static void install(QWidget *window);

	// The control the ring is around, or null when it is hidden.
	QWidget *target() const { return focused; }

protected:
	bool eventFilter(QObject *watched, QEvent *event) override;
	void paintEvent(QPaintEvent *event) override;

private:
	explicit FocusRing(QWidget *window);
	void follow(QWidget *now);
	void place();

	QPointer<QWidget> focused;
};
