// Why discovery left ports out, as text for the "No sensor found!" box.
#pragma once

#include <QString>

namespace MouseEmulator {

// One line per port the last discovery left out: its path and why (the
// library's sentence, which names the udev rule when access was denied).
QString portProblemsText();

}  // namespace MouseEmulator
