#include "ui/ScenePresetDialog.h"
#include "ui_ScenePresetDialog.h"

#include "control/CameraPool.h"
#include "settings/PresetNames.h"
#include "scenes/SceneLog.h"
#include "scenes/SceneSource.h"
#include "settings/SettingsFile.h"
#include "ui/HostStyle.h"
#include "settings/ModuleText.h"

#include <QComboBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

constexpr int kSceneRole = Qt::UserRole;      // the scene's name, on the scene column's item
constexpr int kExistsRole = Qt::UserRole + 1; // whether the scene is in OBS's scene collection
constexpr int kEntryRole = Qt::UserRole;      // an unusable entry as it stands in the file

const char *const kColumnKeys[] = {"ScenePresetsScene", "ScenePresetsProgramCamera", "ScenePresetsProgramPreset",
				   "ScenePresetsPreviewCamera", "ScenePresetsPreviewPreset"};

QString entryText(const QJsonValue &entry)
{
	const QByteArray text = QJsonDocument(QJsonArray{entry}).toJson(QJsonDocument::Compact);
	return QString::fromUtf8(text.mid(1, text.size() - 2));
}

} // namespace

ScenePresetDialog::ScenePresetDialog(CameraPool *pool, SceneSource *scenes, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ScenePresetDialog>()), pool(pool), scenes(scenes)
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	setTexts();
	ui->SceneTable->horizontalHeader()->setSectionResizeMode(SceneColumn, QHeaderView::Stretch);
	for (int column = ProgramCameraColumn; column <= PreviewPresetColumn; ++column)
		ui->SceneTable->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
	ui->SceneTable->verticalHeader()->hide();

	connect(ui->RemoveButton, &QPushButton::clicked, this, &ScenePresetDialog::removeSelected);
	connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
	connect(ui->SceneTable, &QTableWidget::itemSelectionChanged, this, &ScenePresetDialog::enableRemove);
	connect(ui->UnusableList, &QListWidget::itemSelectionChanged, this, &ScenePresetDialog::enableRemove);
	if (scenes) {
		connect(scenes, &SceneSource::scenesChanged, this, &ScenePresetDialog::refresh);
		// The links follow a rename before this is told of it, so the table shows them under the new name.
		connect(scenes, &SceneSource::sceneRenamed, this, &ScenePresetDialog::refresh);
	}
	refresh();
}

ScenePresetDialog::~ScenePresetDialog() = default;

void ScenePresetDialog::setTexts()
{
	// Opened long after the host's translation scope of the main window has closed: the texts are looked up here.
	setWindowTitle(ModuleText::text("ScenePresetsTitle"));
	ui->IntroLabel->setText(ModuleText::text("ScenePresetsIntro"));
	QStringList headers;
	for (const char *key : kColumnKeys)
		headers << ModuleText::text(key);
	ui->SceneTable->setColumnCount(headers.size());
	ui->SceneTable->setHorizontalHeaderLabels(headers);
	ui->SceneTable->setAccessibleName(ModuleText::text("ScenePresetsTitle"));
	ui->UnusableLabel->setText(ModuleText::text("ScenePresetsUnusable"));
	ui->UnusableList->setAccessibleName(ui->UnusableLabel->text());
	ui->UnusableLabel->setBuddy(ui->UnusableList);
	for (const auto &[button, key] :
	     {std::pair<QPushButton *, const char *>{ui->RemoveButton, "ScenePresetsRemove"},
	      {ui->CloseButton, "Close"}}) {
		button->setText(ModuleText::text(key));
		button->setAccessibleName(button->text());
	}
}

void ScenePresetDialog::refresh()
{
	const ScenePresetTable table = ScenePresetTable::fromSettings(SettingsFile::read(), collection());

	const QStringList present = scenes ? scenes->sceneNames() : QStringList();
	const QSet<QString> presentSet(present.cbegin(), present.cend());
	QSet<QString> listed;
	QStringList missing;
	for (const ScenePresetTable::Link &link : table.links()) {
		if (!presentSet.contains(link.scene) && !listed.contains(link.scene)) {
			listed.insert(link.scene);
			missing << link.scene;
		}
	}

	const int selectedRow = ui->SceneTable->currentRow();
	ui->SceneTable->setRowCount(0);
	for (const QString &scene : present)
		addSceneRow(scene, true, table);
	for (const QString &scene : std::as_const(missing))
		addSceneRow(scene, false, table);
	if (selectedRow >= 0 && selectedRow < ui->SceneTable->rowCount())
		ui->SceneTable->selectRow(selectedRow);
	showUnusable(table);
	enableRemove();
}

void ScenePresetDialog::addSceneRow(const QString &scene, bool exists, const ScenePresetTable &table)
{
	const int row = ui->SceneTable->rowCount();
	ui->SceneTable->insertRow(row);
	auto *name = new QTableWidgetItem(exists ? scene : ModuleText::text("ScenePresetsMissing").arg(scene));
	name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
	name->setData(kSceneRole, scene);
	name->setData(kExistsRole, exists);
	if (!exists) {
		QFont font = name->font();
		font.setItalic(true);
		name->setFont(font);
	}
	ui->SceneTable->setItem(row, SceneColumn, name);
	addLinkCells(row, scene, Moment::Program, table.find(scene, Moment::Program));
	addLinkCells(row, scene, Moment::Preview, table.find(scene, Moment::Preview));
}

void ScenePresetDialog::addLinkCells(int row, const QString &scene, Moment on, const ScenePresetTable::Link *link)
{
	const int cameraColumn = on == Moment::Program ? ProgramCameraColumn : PreviewCameraColumn;
	const int presetColumn = cameraColumn + 1;

	auto *camera = new QComboBox;
	camera->addItem(ModuleText::text("ScenePresetsNoCamera"), 0);
	for (const CameraDoor::Info &info : pool->cameras())
		camera->addItem(ModuleText::text("ScenePresetsCamera").arg(info.slot).arg(info.name), info.slot);
	camera->setCurrentIndex(link ? camera->findData(link->slot) : 0);
	// The presets by name, as the chosen camera calls them.
	auto *preset = new QComboBox;
	fillPresets(preset, link ? link->slot : 0, link ? link->preset : 1);
	preset->setEnabled(link != nullptr);
	// A screen reader names each cell by its scene and its column.
	for (const auto &[widget, column] : {std::pair<QWidget *, int>{camera, cameraColumn}, {preset, presetColumn}}) {
		widget->setAccessibleName(
			ModuleText::text("ScenePresetsCellName").arg(scene, ModuleText::text(kColumnKeys[column])));
		widget->setFocusPolicy(Qt::StrongFocus);
	}
	ui->SceneTable->setCellWidget(row, cameraColumn, camera);
	ui->SceneTable->setCellWidget(row, presetColumn, preset);

	auto store = [this, scene, on, camera, preset]() { storeLink(scene, on, camera, preset); };
	connect(camera, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [camera, preset, store]() {
		const int slot = camera->currentData().toInt();
		const QSignalBlocker quiet(preset);
		fillPresets(preset, slot, preset->currentData().toInt());
		preset->setEnabled(slot != 0);
		store();
	});
	connect(preset, QOverload<int>::of(&QComboBox::currentIndexChanged), this, store);
}

void ScenePresetDialog::showUnusable(const ScenePresetTable &table)
{
	ui->UnusableList->clear();
	for (int index = 0; index < table.unusable().size(); ++index) {
		auto *item = new QListWidgetItem(
			QStringLiteral("%1\n%2").arg(entryText(table.unusable().at(index)), table.problems().at(index)),
			ui->UnusableList);
		item->setData(kEntryRole, QVariant::fromValue(table.unusable().at(index)));
	}
	const bool any = ui->UnusableList->count() > 0;
	ui->UnusableLabel->setVisible(any);
	ui->UnusableList->setVisible(any);
}

void ScenePresetDialog::fillPresets(QComboBox *box, int slot, int chosen)
{
	const QStringList names = PresetNames::read(SettingsFile::read(), slot);
	box->clear();
	for (int preset = PresetNames::kFirstPreset; preset <= PresetNames::kLastPreset; ++preset) {
		const QString name = names.value(preset - PresetNames::kFirstPreset);
		box->addItem(name.isEmpty() ? QString::number(preset) : QStringLiteral("%1 · %2").arg(preset).arg(name),
			     preset);
	}
	box->setCurrentIndex(std::max(0, box->findData(chosen)));
}

void ScenePresetDialog::storeLink(const QString &scene, Moment on, const QComboBox *camera, const QComboBox *preset)
{
	const int slot = camera->currentData().toInt();
	updateLinks([&](ScenePresetTable &table) {
		if (slot == 0)
			table.clearLink(scene, on);
		else
			table.setLink(ScenePresetTable::Link{scene, slot, preset->currentData().toInt(), on});
	});
}

void ScenePresetDialog::removeSelected()
{
	if (QListWidgetItem *entry = ui->UnusableList->currentItem(); entry && entry->isSelected()) {
		const QJsonValue value = entry->data(kEntryRole).value<QJsonValue>();
		updateLinks([&](ScenePresetTable &table) {
			const int index = table.unusable().toVariantList().indexOf(value.toVariant());
			table.dropUnusable(index);
		});
	} else if (QTableWidgetItem *scene = ui->SceneTable->item(ui->SceneTable->currentRow(), SceneColumn);
		   scene && !scene->data(kExistsRole).toBool()) {
		const QString name = scene->data(kSceneRole).toString();
		updateLinks([&](ScenePresetTable &table) { table.removeScene(name); });
	}
	refresh();
}

void ScenePresetDialog::enableRemove()
{
	const QTableWidgetItem *scene = ui->SceneTable->item(ui->SceneTable->currentRow(), SceneColumn);
	const bool missingScene = scene && scene->isSelected() && !scene->data(kExistsRole).toBool();
	const QListWidgetItem *entry = ui->UnusableList->currentItem();
	ui->RemoveButton->setEnabled(missingScene || (entry && entry->isSelected()));
}

QString ScenePresetDialog::collection() const
{
	return scenes ? scenes->collection() : QString();
}

bool ScenePresetDialog::updateLinks(const std::function<void(ScenePresetTable &)> &change)
{
	const QString current = collection();
	const SettingsFile::Outcome outcome = SettingsFile::update([&change, &current](QJsonObject &settings) {
		ScenePresetTable table = ScenePresetTable::fromSettings(settings, current);
		change(table);
		settings[QLatin1String(ScenePresetTable::kKey)] = table.toJson();
		return true;
	});
	if (outcome == SettingsFile::Outcome::NotRead)
		qCWarning(lcScenes, "The scene presets were not changed: the settings file cannot be read");
	return outcome == SettingsFile::Outcome::Written;
}
