#include "port_problems.h"

#include <QStringList>
#include <cstdint>
#include <vector>

#include "quorvane.h"

namespace MouseEmulator {

QString portProblemsText() {
    const int count = fenlarkGetPortProblems(nullptr, UINT32_MAX);
    if (count <= 0)
        return QStringLiteral("No serial port looked like a tracker. Is it plugged in?");
    std::vector<FenlarkPortProblem> problems(static_cast<std::size_t>(count));
    const int copied = fenlarkGetPortProblems(problems.data(), static_cast<uint32_t>(count));
    // More may have come from another thread's discovery meanwhile.
    if (copied >= 0) problems.resize(static_cast<std::size_t>(copied));
    QStringList lines;
    for (const FenlarkPortProblem& p : problems)
        lines << QString::fromLocal8Bit(p.port) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(p.message);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace MouseEmulator
