#pragma once

// Data-driven tests with one struct per row instead of one column per field:
//
//   void parse_data() {
//       // clang-format off
//       addCases<Parse>({
//           {"empty", {"", false}},
//           {"one",   {"1", true}},
//       });
//       // clang-format on
//   }
//   void parse() { QFETCH(Parse, c); ... c.text ... }

#include <QTest>
#include <initializer_list>
#include <utility>

namespace zorvan::test {

template <typename Case> void addCases(std::initializer_list<std::pair<const char*, Case>> rows) {
    QTest::addColumn<Case>("c");
    for (const auto& [name, c] : rows)
        QTest::newRow(name) << c;
}

} // namespace zorvan::test
