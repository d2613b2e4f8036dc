#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QProcess;

namespace zorvan::bench {

// A number as printf formats it, for a table cell.
std::string fmt(const char* format, double value);

// One row of the benchmarks' table: name, our figure, the anchor, the ratio and the goal;
// flushed at once so that scripts/bench sees a row even if a later one hangs.
void row(const std::string& name, const std::string& ours, const std::string& anchor,
         const std::string& ratio, const char* goal);

// Starts the device simulator in sim with the given arguments; the pseudo-terminal it serves,
// or an empty path (said on standard error) when it did not start.
QString startSimulator(QProcess& sim, const QStringList& arguments = {});

} // namespace zorvan::bench
