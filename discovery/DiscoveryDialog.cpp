#include "discovery/DiscoveryDialog.h"

#include "discovery/DiscoveryLog.h"
#include "settings/Utils.h"
#include "ui/HostStyle.h"
#include "ui/ModuleText.h"
#include "ui_DiscoveryDialog.h"

#include <QHeaderView>
#include <QJsonObject>
#include <QRegExp>
#include <QTableWidgetItem>

#include <memory>

namespace {

// A dotted IPv4 address, matched against the whole text.
const QString kAddressPattern = QStringLiteral(
	"\\b(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b");

QString ipKey(const QString &slotText)
{
	return slotText + QStringLiteral("IP");
}

QString nickNameKey(const QString &slotText)
{
	return slotText + QStringLiteral("NickName");
}

CameraSearch::Options &searchOptions()
{
	static CameraSearch::Options options;
	return options;
}

} // namespace

DiscoveryDialog::DiscoveryDialog(QWidget *parent) : QDialog(parent), ui(new Ui::DiscoveryDialog)
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	setFixedSize(425, 327);
	setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

	setWindowTitle(ModuleText::text("CameraAssign"));
	ui->ListLabel->setText(ModuleText::text("IPCameraList"));
	ui->SearchButton->setText(ModuleText::text("Search"));
	ui->ApplyButton->setText(ModuleText::text("Apply"));
	ui->IPTableWidget->setColumnCount(2);
	ui->IPTableWidget->setHorizontalHeaderLabels({ModuleText::text("IPAddress"), ModuleText::text("CameraID")});
	ui->IPTableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
	ui->IPTableWidget->verticalHeader()->setVisible(false);
	ui->IPTableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
	ui->IPTableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);

	connect(ui->IPTableWidget, &QTableWidget::cellClicked, this, &DiscoveryDialog::rowPressed);
	connect(ui->CameraComboBox, &QComboBox::currentTextChanged, this, &DiscoveryDialog::updateIPAndName);
	updateIPAndName(ui->CameraComboBox->currentText());
}

DiscoveryDialog::~DiscoveryDialog()
{
	// A search still running ends here: its threads stop waiting at once and are joined.
	delete search;
	delete ui;
}

void DiscoveryDialog::setSearchOptions(const CameraSearch::Options &options)
{
	searchOptions() = options;
}

void DiscoveryDialog::updateIPAndName(QString slotText)
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		qCDebug(lcDiscovery) << "It's failed to read JSON file.";
		return;
	}
	const QString ip = ipKey(slotText);
	const QString nickName = nickNameKey(slotText);
	ui->IPEidt->setText(settings.contains(ip) ? settings.value(ip).toString() : QString());
	ui->NameEdit->setText(settings.contains(nickName) ? settings.value(nickName).toString() : slotText);
}

void DiscoveryDialog::createItemsInARow(int row, QString ip, QString name)
{
	ui->IPTableWidget->insertRow(row);
	ui->IPTableWidget->setItem(row, 0, new QTableWidgetItem(ip));
	ui->IPTableWidget->setItem(row, 1, new QTableWidgetItem(name));
}

void DiscoveryDialog::on_SearchButton_pressed()
{
	if (search)
		return;
	ui->IPTableWidget->clearContents();
	ui->IPTableWidget->setRowCount(0);
	ui->ListLabel->setText(ModuleText::text("IPCameraList"));
	answered = 0;

	search = new CameraSearch(searchOptions(), this);
	connect(search, &CameraSearch::cameraFound, this, [this]() {
		++answered;
		showSearchProgress();
	});
	connect(search, &CameraSearch::cameraIdentified, this,
		[this](const QString &address, const QString &name) { onCameraIdentified(address, name); });
	connect(search, &CameraSearch::finished, this, &DiscoveryDialog::onSearchFinished);
	ui->SearchButton->setEnabled(false);
	showSearchProgress();
	search->start();
}

void DiscoveryDialog::showSearchProgress()
{
	ui->SearchButton->setText(ModuleText::text("Searching").arg(answered));
}

void DiscoveryDialog::onCameraIdentified(const QString &address, const QString &name)
{
	createItemsInARow(ui->IPTableWidget->rowCount(), address, name);
}

void DiscoveryDialog::onSearchFinished(int identified)
{
	search->deleteLater();
	search = nullptr;
	ui->SearchButton->setText(ModuleText::text("Search"));
	ui->SearchButton->setEnabled(true);
	if (identified == 0)
		ui->ListLabel->setText(ModuleText::text("NoCamerasFound"));
}

void DiscoveryDialog::rowPressed(int row, int column)
{
	Q_UNUSED(column)
	const QTableWidgetItem *address = ui->IPTableWidget->item(row, 0);
	if (address)
		ui->IPEidt->setText(address->text());
}

void DiscoveryDialog::on_ApplyButton_released()
{
	const int index = ui->CameraComboBox->currentIndex();
	const QString slotText = ui->CameraComboBox->currentText();
	const QString name = ui->NameEdit->text();
	const QString ip = ui->IPEidt->text();

	QRegExp address(kAddressPattern);
	if (name.isEmpty() || !address.exactMatch(ip)) {
		Utils::showErrorMessage(ModuleText::text("CameraAssignError"));
		return;
	}

	QJsonObject settings;
	if (Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		settings.insert(ipKey(slotText), ip);
		settings.insert(nickNameKey(slotText), name);
		if (!Utils::writeJSONToFile(settings, Utils::getAppDataPath()))
			qCDebug(lcDiscovery) << "It's failed to write JSON file.";
	} else {
		qCDebug(lcDiscovery) << "It's failed to read JSON file.";
	}
	// The main dialog refreshes its slot captions even when the file could not be read.
	emit ipAssigned(index, ip, name);
}
