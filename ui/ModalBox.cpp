#include "ui/ModalBox.h"

#include "settings/OperatorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <utility>

namespace {

struct Seam {
	ModalBox::Answerer answerer;
	QList<QPointer<QMessageBox>> unanswered; // boxes the answerer has not closed yet
};

Seam &seam()
{
	static Seam installed;
	return installed;
}

void present(const OperatorBox::Box &content)
{
	if (!qobject_cast<const QApplication *>(QCoreApplication::instance()))
		return;
	auto *box = new QMessageBox;
	box->setWindowFlags(box->windowFlags() | Qt::WindowStaysOnTopHint);
	box->setWindowTitle(content.title);
	box->setIcon(content.warning ? QMessageBox::Warning : QMessageBox::Information);
	box->setText(content.text);
	if (content.warning)
		box->setStandardButtons(QMessageBox::Ok);
	ModalBox::open(box);
}

} // namespace

void ModalBox::install()
{
	OperatorBox::setPresenter(present);
}

void ModalBox::setAnswerer(Answerer answer)
{
	for (const QPointer<QMessageBox> &box : std::exchange(seam().unanswered, {}))
		delete box.data();
	seam().answerer = std::move(answer);
	install();
}

void ModalBox::open(QMessageBox *box, QObject *caller, Answered answered)
{
	box->setAttribute(Qt::WA_DeleteOnClose);
	// Application modal, as exec() made it, unless the box chose otherwise; QMessageBox::setWindowModality would
	// reset the box's window flags (the stay-on-top hint).
	box->setAttribute(Qt::WA_ShowModal);
	// With the caller as the connection's context, Qt drops the connection when the caller goes.
	if (answered)
		QObject::connect(box, &QDialog::finished, caller ? caller : box, std::move(answered));
	if (!seam().answerer) {
		box->show();
		return;
	}
	seam().unanswered.removeAll(nullptr);
	seam().unanswered << box;
	seam().answerer(*box);
}
