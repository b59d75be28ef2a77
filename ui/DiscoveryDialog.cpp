#include "ui/DiscoveryDialog.h"

#include "discovery/DiscoveryLog.h"
#include "scenes/SceneSource.h"
#include "settings/CameraAddress.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"
#include "ui/HostStyle.h"
#include "settings/ModuleText.h"
#include "ui_DiscoveryDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QJsonObject>
#include <QSignalBlocker>
#include <QTableWidgetItem>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr int kSlots = SettingsFile::kSlotCount;
// How wide a source name is shown, in pixels; the list is no wider than the dialog.
constexpr int kSourceNameWidth = 240;
// Where a found camera's row keeps the dialect and port it answered in.
constexpr int kDialectRole = Qt::UserRole + 1;
constexpr int kPortRole = Qt::UserRole + 2;

const char *dialectTextKey(CameraDialect dialect)
{
	switch (dialect) {
	case CameraDialect::ViscaOverIp:
		return "DialectViscaOverIp";
	case CameraDialect::BareUdp:
		return "DialectBareUdp";
	case CameraDialect::BareTcp:
		return "DialectBareTcp";
	}
	return "DialectViscaOverIp";
}

} // namespace

DiscoveryDialog::DiscoveryDialog(SceneSource *sources, QWidget *parent, int slot)
    : QDialog(parent), ui(std::make_unique<Ui::DiscoveryDialog>()), sources(sources)
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	setFixedSize(425, 460);
	setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

	setWindowTitle(ModuleText::text("CameraAssign"));
	ui->ListLabel->setText(ModuleText::text("IPCameraList"));
	ui->SearchButton->setText(ModuleText::text("Search"));
	ui->ApplyButton->setText(ModuleText::text("Apply"));
	ui->CloseButton->setText(ModuleText::text("Close"));
	ui->SlotLabel->setText(ModuleText::text("AssignSlot"));
	ui->AddressLabel->setText(ModuleText::text("AssignAddress"));
	ui->NameLabel->setText(ModuleText::text("AssignName"));
	ui->SourceLabel->setText(ModuleText::text("AssignSource"));
	ui->SourceComboBox->setAccessibleName(ui->SourceLabel->text());
	// Screen readers name each field by the label beside it.
	ui->CameraComboBox->setAccessibleName(ui->SlotLabel->text());
	ui->IPEidt->setAccessibleName(ui->AddressLabel->text());
	ui->NameEdit->setAccessibleName(ui->NameLabel->text());
	ui->IPTableWidget->setAccessibleName(ui->ListLabel->text());
	ui->IPEidt->setPlaceholderText(ModuleText::text("AssignAddressHint"));
	ui->NameEdit->setPlaceholderText(ModuleText::text("AssignNameHint"));
	addDialectRow();
	fillSlotList();
	ui->CameraComboBox->setCurrentIndex(std::clamp(slot, 1, kSlots) - 1);
	ui->IPTableWidget->setColumnCount(2);
	ui->IPTableWidget->setHorizontalHeaderLabels({ModuleText::text("IPAddress"), ModuleText::text("CameraID")});
	ui->IPTableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
	ui->IPTableWidget->verticalHeader()->setVisible(false);
	ui->IPTableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
	ui->IPTableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);

	connect(ui->IPTableWidget, &QTableWidget::cellClicked, this, &DiscoveryDialog::rowPressed);
	connect(ui->CameraComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
		[this](int index) { updateIPAndName(slotKey(index)); });
	// What the status line says holds for the slot and the address it was said for.
	connect(ui->CameraComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
		[this]() { showStatus(QString()); });
	connect(ui->IPEidt, &QLineEdit::textChanged, this, [this]() { showStatus(QString()); });
	connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
	if (sources)
		connect(sources, &SceneSource::sourceRenamed, this, [this](const QString &from, const QString &to) {
			const QString chosen = ui->SourceComboBox->currentData().toString();
			showSources(chosen == from ? to : chosen);
		});
	updateIPAndName(slotKey(ui->CameraComboBox->currentIndex()));
}

DiscoveryDialog::~DiscoveryDialog()
{
	// A search still running ends here: its threads stop waiting at once and are joined.
	delete search;
}

QString DiscoveryDialog::slotKey(int index)
{
	return SettingsFile::slotName(index + 1);
}

void DiscoveryDialog::fillSlotList()
{
	// The operator knows the slots by their captions; the settings keys stay the slot's own.
	const QJsonObject settings = SettingsFile::read();
	const QSignalBlocker blocked(ui->CameraComboBox);
	const int current = std::max(0, ui->CameraComboBox->currentIndex());
	ui->CameraComboBox->clear();
	for (int index = 0; index < kSlots; ++index)
		ui->CameraComboBox->addItem(slotCaption(settings, slotKey(index)));
	ui->CameraComboBox->setCurrentIndex(current);
}

QString DiscoveryDialog::slotCaption(const QJsonObject &settings, const QString &slot)
{
	const QString nickName = settings.value(SettingsFile::nickNameKey(slot)).toString();
	return nickName.isEmpty() ? ModuleText::text(slot.toUtf8().constData()) : nickName;
}

void DiscoveryDialog::updateIPAndName(QString slotText)
{
	const std::optional<QJsonObject> settings = SettingsFile::tryRead();
	if (!settings) {
		qCDebug(lcDiscovery) << "It's failed to read JSON file.";
		return;
	}
	ui->IPEidt->setText(settings->value(SettingsFile::addressKey(slotText)).toString());
	ui->NameEdit->setText(slotCaption(*settings, slotText));
	showEndpoint(CameraEndpoint::ofSlot(*settings, ui->CameraComboBox->currentIndex() + 1));
	showSources(settings->value(SettingsFile::sourceKey(ui->CameraComboBox->currentIndex() + 1)).toString());
}

void DiscoveryDialog::showSources(const QString &linked)
{
	QComboBox *list = ui->SourceComboBox;
	list->clear();
	list->addItem(ModuleText::text("AssignSourceNone"), QString());
	const QStringList names = sources ? sources->videoSourceNames() : QStringList();
	for (const QString &name : names)
		list->addItem(shownSourceName(name), name);
	if (linked.isEmpty())
		return;
	if (!names.contains(linked))
		list->addItem(ModuleText::text("AssignSourceMissing").arg(shownSourceName(linked)), linked);
	list->setCurrentIndex(list->findData(linked));
}

QString DiscoveryDialog::shownSourceName(const QString &name) const
{
	QString shown;
	for (const QChar c : name) {
		if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
		    c.category() == QChar::Separator_Paragraph)
			shown += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
		else
			shown += c;
	}
	return fontMetrics().elidedText(shown, Qt::ElideMiddle, kSourceNameWidth);
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

	search = new CameraSearch(CameraSearch::Options(), this);
	connect(search, &CameraSearch::cameraFound, this, [this]() {
		++answered;
		showSearchProgress();
	});
	connect(search, &CameraSearch::cameraIdentified, this,
		[this](const QString &address, const QString &name, const QString &, const CameraEndpoint &endpoint) {
			onCameraIdentified(address, name, endpoint);
		});
	connect(search, &CameraSearch::finished, this, &DiscoveryDialog::onSearchFinished);
	ui->SearchButton->setEnabled(false);
	showSearchProgress();
	search->start();
}

void DiscoveryDialog::showSearchProgress()
{
	ui->SearchButton->setText(ModuleText::text("Searching").arg(answered));
}

void DiscoveryDialog::onCameraIdentified(const QString &address, const QString &name, const CameraEndpoint &endpoint)
{
	const int row = ui->IPTableWidget->rowCount();
	createItemsInARow(row, address, name);
	// The row keeps the dialect the camera answered in, for the fields when it is chosen.
	if (QTableWidgetItem *item = ui->IPTableWidget->item(row, 0)) {
		item->setData(kDialectRole, int(endpoint.dialect));
		item->setData(kPortRole, int(endpoint.port));
	}
}

void DiscoveryDialog::addDialectRow()
{
	auto *label = new QLabel(ModuleText::text("AssignDialect"), this);
	dialectBox = new QComboBox(this);
	dialectBox->setObjectName(QStringLiteral("DialectComboBox"));
	for (CameraDialect dialect : CameraEndpoint::allDialects())
		dialectBox->addItem(ModuleText::text(dialectTextKey(dialect)), int(dialect));
	portBox = new QSpinBox(this);
	portBox->setObjectName(QStringLiteral("PortSpinBox"));
	portBox->setRange(1, 65535);
	portBox->setPrefix(ModuleText::text("AssignPortPrefix"));
	label->setBuddy(dialectBox);
	dialectBox->setAccessibleName(label->text());
	portBox->setAccessibleName(ModuleText::text("AssignPortPrefix").trimmed());
	auto *row = new QHBoxLayout;
	row->addWidget(dialectBox, 1);
	row->addWidget(portBox);
	const int at = ui->assignLayout->rowCount();
	ui->assignLayout->addWidget(label, at, 0);
	ui->assignLayout->addLayout(row, at, 1);
	// A dialect chosen by hand comes with its usual port.
	connect(dialectBox, QOverload<int>::of(&QComboBox::activated), this, [this]() {
		portBox->setValue(CameraEndpoint::defaultPort(CameraDialect(dialectBox->currentData().toInt())));
	});
}

void DiscoveryDialog::showEndpoint(const CameraEndpoint &endpoint)
{
	dialectBox->setCurrentIndex(dialectBox->findData(int(endpoint.dialect)));
	portBox->setValue(endpoint.port);
}

CameraEndpoint DiscoveryDialog::chosenEndpoint(const QString &address) const
{
	return {address, CameraDialect(dialectBox->currentData().toInt()), quint16(portBox->value())};
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
	// A found camera is assigned as it announced itself: its address and its name.
	const QTableWidgetItem *address = ui->IPTableWidget->item(row, 0);
	const QTableWidgetItem *name = ui->IPTableWidget->item(row, 1);
	if (address)
		ui->IPEidt->setText(address->text());
	if (address && address->data(kDialectRole).isValid())
		showEndpoint({address->text(), CameraDialect(address->data(kDialectRole).toInt()),
			      quint16(address->data(kPortRole).toInt())});
	if (name && !name->text().isEmpty())
		ui->NameEdit->setText(name->text());
}

void DiscoveryDialog::on_ApplyButton_released()
{
	const int index = ui->CameraComboBox->currentIndex();
	// A space copied along with an address or a name is no part of it.
	const QString name = ui->NameEdit->text().trimmed();
	const QString ip = ui->IPEidt->text().trimmed();
	ui->NameEdit->setText(name);
	ui->IPEidt->setText(ip);

	if (!ip.isEmpty() && (name.isEmpty() || !CameraAddress::isUsable(ip))) {
		showStatus(QString());
		Utils::showErrorMessage(ModuleText::text("CameraAssignError"));
		return;
	}
	// One camera in two slots is seldom meant: two operators would drive it from different buttons.
	const QJsonObject settings = SettingsFile::read();
	const int other = ip.isEmpty() ? -1 : slotWithAddress(settings, ip, index);
	if (other >= 0 && !duplicateTold) {
		showStatus(ModuleText::text("AssignDuplicate")
				   .arg(ip, QString::number(other + 1), slotCaption(settings, slotKey(other))));
		duplicateTold = true;
		return;
	}
	storeSlot(index, chosenEndpoint(ip), name, ui->SourceComboBox->currentData().toString());
}

int DiscoveryDialog::slotWithAddress(const QJsonObject &settings, const QString &ip, int except)
{
	const std::optional<quint32> camera = CameraAddress::ipv4(ip);
	for (int other = 0; other < kSlots; ++other) {
		const QString stored = settings.value(SettingsFile::addressKey(slotKey(other))).toString();
		if (other != except && camera && CameraAddress::ipv4(stored) == camera)
			return other;
	}
	return -1;
}

void DiscoveryDialog::storeSlot(int index, const CameraEndpoint &endpoint, const QString &name, const QString &source)
{
	const QString &ip = endpoint.address;
	const QString slot = slotKey(index);
	// An empty address clears the slot; its name and source stay unless those were emptied too.
	const bool stored = SettingsFile::updateLogged(lcDiscovery, [&](QJsonObject &settings) {
		for (const auto &[key, value] : {std::make_pair(SettingsFile::addressKey(slot), ip),
						 std::make_pair(SettingsFile::nickNameKey(slot), name),
						 std::make_pair(SettingsFile::sourceKey(index + 1), source)}) {
			if (value.isEmpty())
				settings.remove(key);
			else
				settings.insert(key, value);
		}
		// A cleared slot keeps no dialect of its own.
		(ip.isEmpty() ? CameraEndpoint::at(ip) : endpoint).storeDialect(settings, index + 1);
	});
	fillSlotList();
	showStatus(!stored        ? QString()
		   : ip.isEmpty() ? ModuleText::text("AssignCleared").arg(index + 1)
				  : ModuleText::text("AssignStored").arg(QString::number(index + 1), ip));
	// The main dialog refreshes its slot captions even when the file could not be read.
	emit ipAssigned(index, ip, name);
}

void DiscoveryDialog::showStatus(const QString &text)
{
	ui->StatusLabel->setText(text);
	duplicateTold = false;
}
