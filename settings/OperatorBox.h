#pragma once

#include <QString>

#include <functional>

// A modal box for the operator. The widgets layer shows it (ui/ModalBox installs the presenter), so the core
// libraries need no widgets; without a presenter, as for command-line users, the log alone tells.
namespace OperatorBox {

struct Box {
	QString title;
	QString text;
	bool warning = false; // a warning icon and an explicit OK button
};

using Presenter = std::function<void(const Box &box)>;
void setPresenter(Presenter presenter);
void present(const Box &box);
// The shared warning box: modal, no parent, stays on top, warning icon, the product name as title, default OK
// button.
void warn(const QString &text);

} // namespace OperatorBox
