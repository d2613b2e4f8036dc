#include "BenchTable.h"

#include <cstdio>

namespace zorvan::bench {

std::string fmt(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

void row(const std::string& name, const std::string& ours, const std::string& anchor,
         const std::string& ratio, const char* goal) {
    std::printf("| %s | %s | %s | %s | %s |\n", name.c_str(), ours.c_str(), anchor.c_str(),
                ratio.c_str(), goal);
    std::fflush(stdout);
}

} // namespace zorvan::bench
