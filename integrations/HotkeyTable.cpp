#include "integrations/HotkeyTable.h"

#include "settings/ModuleText.h"
#include "settings/SettingsFile.h"

#include <vector>

namespace {

using Row = HotkeyTable::Row;

void add(std::vector<Row> &rows, const char *name, const char *descriptionKey, OperatorAction action, int argument = 0)
{
	Row row;
	row.name = name;
	row.descriptionKey = descriptionKey;
	row.action = action;
	row.argument = argument;
	rows.push_back(row);
}

// One row per number: name "<prefix><n><suffix>", description key with %1.
void addNumbered(std::vector<Row> &rows, const char *prefix, const char *suffix, const char *descriptionKey,
		 OperatorAction action, int first, int last)
{
	for (int number = first; number <= last; ++number) {
		add(rows, "", descriptionKey, action, number);
		rows.back().name = QByteArray(prefix) + QByteArray::number(number) + suffix;
	}
}

std::vector<Row> makeRows()
{
	std::vector<Row> rows;
	add(rows, "TiltUpHotKey", "HotkeyTiltUp", OperatorAction::TiltUp);
	add(rows, "TiltDownHotKey", "HotkeyTiltDown", OperatorAction::TiltDown);
	add(rows, "PanLeftHotKey", "HotkeyPanLeft", OperatorAction::PanLeft);
	add(rows, "PanRightHotKey", "HotkeyPanRight", OperatorAction::PanRight);
	add(rows, "ZoomInHotKey", "HotkeyZoomIn", OperatorAction::ZoomIn);
	add(rows, "ZoomOutHotKey", "HotkeyZoomOut", OperatorAction::ZoomOut);
	addNumbered(rows, "Preset", "HotKey", "HotkeyCallPreset", OperatorAction::CallPreset, 1, 9);
	addNumbered(rows, "SelectCamera", "HotKey", "HotkeySelectCamera", OperatorAction::SelectCamera, 1,
		    SettingsFile::kSlotCount);
	add(rows, "PreviousCameraHotKey", "HotkeyPreviousCamera", OperatorAction::PreviousCamera);
	add(rows, "NextCameraHotKey", "HotkeyNextCamera", OperatorAction::NextCamera);
	add(rows, "HomeHotKey", "HotkeyHome", OperatorAction::Home);
	add(rows, "FocusNearHotKey", "HotkeyFocusNear", OperatorAction::FocusNear);
	add(rows, "FocusFarHotKey", "HotkeyFocusFar", OperatorAction::FocusFar);
	add(rows, "FocusAutoHotKey", "HotkeyFocusAuto", OperatorAction::FocusAuto);
	add(rows, "ZoomStopHotKey", "HotkeyZoomStop", OperatorAction::ZoomStop);
	addNumbered(rows, "Preset", "HotKey", "HotkeyCallPreset", OperatorAction::CallPreset, 10,
		    SettingsFile::kLastPreset);
	addNumbered(rows, "StorePreset", "HotKey", "HotkeyStorePreset", OperatorAction::StorePreset,
		    SettingsFile::kFirstPreset, SettingsFile::kLastPreset);
	add(rows, "SpeedUpHotKey", "HotkeySpeedUp", OperatorAction::SpeedUp);
	add(rows, "SpeedDownHotKey", "HotkeySpeedDown", OperatorAction::SpeedDown);
	return rows;
}

} // namespace

QString HotkeyTable::Row::description() const
{
	const QString text = ModuleText::text(descriptionKey);
	return argument > 0 && text.contains(QLatin1String("%1")) ? text.arg(argument) : text;
}

const HotkeyTable::Row &HotkeyTable::row(int index)
{
	static const std::vector<Row> rows = makeRows();
	Q_ASSERT(int(rows.size()) == kCount);
	return rows.at(size_t(index));
}
