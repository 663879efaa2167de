// The one way the tracker management tells the user something: a modal
// message box without title.
#pragma once

#include <QString>

namespace GuiCommon {

// Shows text and returns when the user closed the box.
void showMessage(const QString& text);

}  // namespace GuiCommon
