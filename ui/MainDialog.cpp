#include "ui/MainDialog.h"
#include "ui_MainDialog.h"

#include "settings/Utils.h"
#include "ui/ModuleText.h"

#include <QDebug>
#include <QJsonObject>
#include <QMenu>

namespace {

constexpr int kSlotCount = 8;
constexpr QSize kSimpleViewSize(425, 692);
constexpr QSize kAdvancedViewSize(880, 692);

} // namespace

MainDialog::MainDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::MainDialog>())
{
	ui->setupUi(this);
	setupViewUI();

	ui->AdvanceFrame->hide();
	setFixedSize(kSimpleViewSize);
	setStyleSheet(QStringLiteral("background-color: #474747"));

	updateCameraName();
	ui->CameraControlBox->setEnabled(false);
	ui->AdvanceFrame->setEnabled(false);
	setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
}

MainDialog::~MainDialog() = default;

QPushButton *MainDialog::cameraButton(int slot) const
{
	return findChild<QPushButton *>(QStringLiteral("Camera%1Button").arg(slot));
}

void MainDialog::updateCameraName()
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		qDebug() << "It's failed to read JSON file.";
		return;
	}
	for (int slot = 1; slot <= kSlotCount; ++slot) {
		const QString slotName = QStringLiteral("Camera%1").arg(slot);
		const QString nickKey = slotName + QStringLiteral("NickName");
		const QString caption = settings.contains(nickKey) ? settings.value(nickKey).toString()
								   : ModuleText::text(slotName.toUtf8().constData());
		cameraButton(slot)->setText(caption);
	}
}

void MainDialog::setupViewUI()
{
	viewMenu = new QMenu(this);
	viewMenu->addAction(ModuleText::text("SimpleMode"), this, &MainDialog::hideAdvanceView);
	viewMenu->addAction(ModuleText::text("AdvanceMode"), this, &MainDialog::showAdvanceView);
	connect(viewMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	ui->ViewButton->setMenu(viewMenu);
}

void MainDialog::setMenuWidth()
{
	auto *menu = qobject_cast<QMenu *>(sender());
	if (!menu)
		return;
	QPushButton *owner = nullptr;
	for (QPushButton *button : {ui->SettingsButton, ui->ViewButton, ui->HelpButton})
		if (button->menu() == menu)
			owner = button;
	if (!owner)
		return;
	menu->setMinimumWidth(owner->width());
	menu->setMaximumWidth(owner->width());
}

void MainDialog::showAdvanceView()
{
	ui->AdvanceFrame->show();
	setFixedSize(kAdvancedViewSize);
}

void MainDialog::hideAdvanceView()
{
	ui->AdvanceFrame->hide();
	setFixedSize(kSimpleViewSize);
}

void MainDialog::setStatusVisible(bool visible)
{
	ui->StatusFrame->setVisible(visible);
}
