// What the main window does with its small windows: the About dialog, the
// additional ports dialog and the FAQ text.
#pragma once

#include <QDialog>
#include <QString>

#include "about_form.h"
#include "additional_ports_form.h"

namespace TrackerConfig {

inline const char* const kVersion = "2.0.2";

// Shows the version and runs the About dialog modally.
void showAbout(QDialog& dialog, Ui::AboutDialog& form);

// Runs the additional ports dialog modally. Cancel empties the port list;
// OK keeps it for the next rescan. Returns the dialog's result.
int runAdditionalPorts(QDialog& dialog, Ui::AdditionalComPortsToScanDialog& form);

// The data folder of an installation: share/quorvane beside the program's
// bin folder, wherever the installation was put.
QString installedDataDir();

// The text of "FAQ.txt" in the working directory or one of its four
// parents, the nearest winning, else in dataDir; "Missing FAQ File" when
// there is none.
QString faqText(const QString& dataDir = installedDataDir());

// Shows faqText() in a modal message box without parent or title.
void showFaq();

}  // namespace TrackerConfig
