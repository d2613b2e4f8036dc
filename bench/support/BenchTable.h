#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace zorvan::bench {

// A number as printf formats it, for a table cell.
std::string fmt(const char* format, double value);

// One row of the benchmarks' table: name, our figure, the anchor, the ratio and the goal;
// flushed at once so that scripts/bench sees a row even if a later one hangs.
void row(const std::string& name, const std::string& ours, const std::string& anchor,
         const std::string& ratio, const char* goal);

} // namespace zorvan::bench
