#include "Cases.h"
#include "components/FormatFloat.h"
#include "components/MDVLocalize.h"

#include <QTest>
#include <cmath>

using namespace zorvan;

namespace {

// A number mask, a value and the text: FormatFloat's rules worked out by hand (grouping,
// sections, exponents and literals are checked through FormatFloatDot with the line's texts).
struct Mask {
    const char* mask;
    double value;
    const char* text;
    const char* locale = "C";
};

} // namespace

// What depends on the language and the locale: the interface language's selection and the
// number masks.
class tst_LocalTexts : public QObject {
    Q_OBJECT
private slots:
    void formatFloat_data() {
        // clang-format off
        test::addCases<Mask>({
            {"shortest of 15 digits",    {"", 1.0 / 3, "0.333333333333333"}},
            {"shortest, exponent",       {"", -1e20, "-1E+20"}},
            {"not a number",             {"0.0", NAN, "NAN"}},
            {"half away from zero",      {"0.00", -0.125, "-0.13"}},
            {"carry into a new digit",   {"0.0", 9.96, "10.0"}},
            {"zero placeholders pad",    {"000.0", 7, "007.0"}},
            {"more digits than room",    {"0", 12345, "12345"}},
            {"optional fraction digits", {"0.0##", 1.23456, "1.235"}},
            {"nothing to show",          {"#", 0, ""}},
            {"minus only when shown",    {"0.00", -0.001, "0.00"}},
            {"empty negative section",   {"0.00;;zero", -2.5, "-2.50"}},
            {"quoted and other text",    {"'#'0 \"kg\" %", 5, "#5 kg %"}},
        });
        // clang-format on
    }
    void formatFloat() {
        QFETCH(Mask, c);
        QCOMPARE(FormatFloat(c.mask, c.value, QLocale(c.locale)), c.text);
    }

    // Selecting needs both identifiers; otherwise the current language stays.
    void select() {
        TMDVLocalization l;
        QCOMPARE(int(l.CurrentID()), 2305); // English first
        const QList<std::pair<int, bool>> steps{
            {6400, true}, {9 * 256, false},     {34 * 256 + 1, false}, {8704, true},
            {0, false},   {1 * 256 + 9, false}, {2305, true},          {25 * 256, true}};
        QString trace;
        for (const auto& [id, selected] : steps) {
            QCOMPARE(l.Select(quint8(id >> 8), quint8(id)), selected);
            trace += QString::number(l.CurrentID()) + ' ';
        }
        QCOMPARE(trace, QString("6400 6400 6400 8704 8704 8704 2305 6400 "));
    }
};

QTEST_GUILESS_MAIN(tst_LocalTexts)
#include "tst_LocalTexts.moc"
