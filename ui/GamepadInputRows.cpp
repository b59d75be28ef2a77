#include "ui/GamepadInputRows.h"

#include "settings/ModuleText.h"
#include "ui/GamepadTexts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

#include <algorithm>

namespace {

constexpr const char *kHatKeys[GamepadMapping::kHatDirections] = {"GamepadHatUp", "GamepadHatRight", "GamepadHatDown",
								  "GamepadHatLeft"};

void selectData(QComboBox *box, const QVariant &data)
{
	box->setCurrentIndex(std::max(0, box->findData(data)));
}

} // namespace

GamepadInputRows::GamepadInputRows(const GamepadLayout &layout, QWidget *parent) : QWidget(parent)
{
	auto *form = new QFormLayout(this);
	// The hat's directions only where there is a hat: a game controller's d-pad is four of its buttons.
	for (int direction = 0; layout.hats > 0 && direction < GamepadMapping::kHatDirections; ++direction)
		addRow(form, hatRows, direction, ModuleText::text(kHatKeys[direction]));
	for (int button : layout.buttons)
		addRow(form, buttonRows, button, GamepadTexts::button(layout, button));
}

QComboBox *GamepadInputRows::newActionBox(QWidget *parent)
{
	auto *box = new QComboBox(parent);
	box->addItem(ModuleText::text("GamepadNone"));
	int group = -1;
	for (const GamepadMapping::ActionBinding &binding : GamepadMapping::allActions()) {
		const int next = GamepadTexts::actionGroup(binding.action);
		if (next != group)
			box->insertSeparator(box->count());
		group = next;
		box->addItem(GamepadTexts::action(binding), GamepadMapping::actionText(binding));
	}
	return box;
}

void GamepadInputRows::addRow(QFormLayout *form, QMap<int, Row> &rows, int number, const QString &name)
{
	Row row{new QLabel(name, this), newActionBox(this)};
	row.name->setAutoFillBackground(true);
	form->addRow(row.name, row.action);
	rows.insert(number, row);
}

void GamepadInputRows::showMapping(const GamepadMapping &mapping)
{
	const auto show = [](const QMap<int, Row> &rows, const QMap<int, GamepadMapping::ActionBinding> &table) {
		for (auto it = rows.begin(); it != rows.end(); ++it)
			selectData(it->action, table.contains(it.key())
						       ? GamepadMapping::actionText(table.value(it.key()))
						       : QVariant());
	};
	show(buttonRows, mapping.buttons);
	show(hatRows, mapping.hat);
}

void GamepadInputRows::readInto(GamepadMapping &mapping) const
{
	const auto read = [](const QMap<int, Row> &rows, QMap<int, GamepadMapping::ActionBinding> &table) {
		for (auto it = rows.begin(); it != rows.end(); ++it) {
			table.remove(it.key());
			if (const auto action = GamepadMapping::actionNamed(it->action->currentData().toString()))
				table.insert(it.key(), *action);
		}
	};
	read(buttonRows, mapping.buttons);
	read(hatRows, mapping.hat);
}

std::optional<GamepadInputRows::Input> GamepadInputRows::showPressed(const QVector<bool> &buttons, int hat)
{
	std::optional<Input> pressed;
	for (auto it = buttonRows.begin(); it != buttonRows.end(); ++it) {
		const bool held = buttons.value(it.key());
		if (held && !heldButtons.value(it.key()) && !pressed)
			pressed = Input{false, it.key()};
		light(*it, held);
	}
	for (auto it = hatRows.begin(); it != hatRows.end(); ++it) {
		const int bit = 1 << it.key(); // SDL_HAT_UP, _RIGHT, _DOWN, _LEFT
		if ((hat & bit) && !(heldHat & bit) && !pressed)
			pressed = Input{true, it.key()};
		light(*it, (hat & bit) != 0);
	}
	heldButtons = buttons;
	heldHat = hat;
	return pressed;
}

void GamepadInputRows::light(const Row &row, bool held)
{
	QFont font = row.name->font();
	font.setBold(held);
	row.name->setFont(font);
	row.name->setBackgroundRole(held ? QPalette::Highlight : QPalette::Window);
	row.name->setForegroundRole(held ? QPalette::HighlightedText : QPalette::WindowText);
}

bool GamepadInputRows::isLit(const Input &input) const
{
	const Row *row = rowOf(input);
	return row && row->name->font().bold();
}

const GamepadInputRows::Row *GamepadInputRows::rowOf(const Input &input) const
{
	const QMap<int, Row> &rows = input.hat ? hatRows : buttonRows;
	const auto it = rows.constFind(input.number);
	return it == rows.cend() ? nullptr : &*it;
}

bool GamepadInputRows::assign(const Input &input, const QString &actionText)
{
	const Row *row = rowOf(input);
	if (!row)
		return false;
	selectData(row->action, actionText);
	row->action->setFocus();
	return true;
}
