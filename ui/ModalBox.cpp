#include "ui/ModalBox.h"

#include "settings/Utils.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace {

ModalBox::Answerer &answerer()
{
	static ModalBox::Answerer installed;
	return installed;
}

void present(const Utils::Box &content)
{
	if (!qobject_cast<const QApplication *>(QCoreApplication::instance()))
		return;
	QMessageBox box;
	box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
	box.setWindowTitle(content.title);
	box.setIcon(content.warning ? QMessageBox::Warning : QMessageBox::Information);
	box.setText(content.text);
	if (content.warning)
		box.setStandardButtons(QMessageBox::Ok);
	ModalBox::exec(box);
}

} // namespace

void ModalBox::install()
{
	Utils::setBoxPresenter(present);
}

void ModalBox::setAnswerer(Answerer answer)
{
	answerer() = std::move(answer);
	install();
}

void ModalBox::exec(QMessageBox &box)
{
	if (answerer()) {
		answerer()(box);
		return;
	}
	box.exec();
}
