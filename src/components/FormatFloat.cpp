#include "components/FormatFloat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zorvan {

namespace {

// A non-negative number as 0.d1d2d3... x 10^exp; no digits for zero.
struct Decimal {
    std::string digits;
    int exp = 0;

    char at(int position) const {
        return position < 0 || position >= int(digits.size()) ? '0' : digits[std::size_t(position)];
    }
    bool isZero() const { return digits.empty(); }
};

// 18 significant digits of the binary value, correctly rounded: enough to round a single or
// a double half away from zero at any position the masks ask for.
Decimal toDecimal(double value) {
    Decimal d;
    if (value == 0.0)
        return d;
    // As printf's "%.17e", at a fraction of its cost: values are shown every poll cycle.
    char text[48];
    *std::to_chars(text, text + sizeof text - 1, value, std::chars_format::scientific, 17).ptr =
        '\0';
    const char* p = text;
    for (; *p != '\0' && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits.push_back(*p);
    d.exp = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Keeps the first `keep` digits, rounding half away from zero.
void roundTo(Decimal& d, int keep) {
    if (keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d = Decimal{};
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9')
            d.digits[std::size_t(i--)] = '0';
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            d.exp += 1;
        } else {
            ++d.digits[std::size_t(i)];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.exp = 0;
}

enum class Kind { Zero, Hash, Point, Exponent, Literal };

struct Token {
    Kind kind;
    QString text;         // Literal
    QChar expChar;        // Exponent: 'E' or 'e'
    bool expPlus = false; // Exponent: sign always shown
    int expDigits = 0;    // Exponent: minimum digits
};

struct Section {
    std::vector<Token> tokens;
    std::vector<bool> intZero; // per integer placeholder: '0' (true) or '#'
    std::vector<bool> fracZero;
    bool grouping = false;
    bool scientific = false;
};

Section parse(const QString& s) {
    Section sec;
    bool point = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"') {
            qsizetype j = s.indexOf(c, i + 1);
            if (j < 0)
                j = s.size();
            sec.tokens.push_back({Kind::Literal, s.mid(i + 1, j - i - 1), {}, false, 0});
            i = j;
        } else if ((c == u'0' || c == u'#') && !sec.scientific) {
            const bool zero = c == u'0';
            (point ? sec.fracZero : sec.intZero).push_back(zero);
            sec.tokens.push_back({zero ? Kind::Zero : Kind::Hash, {}, {}, false, 0});
        } else if (c == u'.') {
            if (!point && !sec.scientific) {
                point = true;
                sec.tokens.push_back({Kind::Point, {}, {}, false, 0});
            }
        } else if (c == u',') {
            sec.grouping = true;
        } else if ((c == u'E' || c == u'e') && !sec.scientific && i + 1 < s.size() &&
                   (s[i + 1] == u'+' || s[i + 1] == u'-')) {
            sec.scientific = true;
            Token t{Kind::Exponent, {}, c, s[i + 1] == u'+', 0};
            i += 2;
            while (i < s.size() && s[i] == u'0' && t.expDigits < 4) {
                ++t.expDigits;
                ++i;
            }
            --i;
            sec.tokens.push_back(t);
        } else {
            sec.tokens.push_back({Kind::Literal, QString(c), {}, false, 0});
        }
    }
    return sec;
}

bool roundsToZero(const Section& sec, double value) {
    if (value == 0.0 || sec.scientific)
        return value == 0.0;
    Decimal d = toDecimal(value);
    roundTo(d, d.exp + int(sec.fracZero.size()));
    return d.isZero();
}

// The digits a section shows: every integer digit (however few the placeholders), the
// fraction as long as its placeholders, and the exponent of scientific notation.
struct Digits {
    std::string integer;
    std::string fraction;
    int exponent = 0;
    int lastFraction = -1; // the last fraction digit shown; -1 for none

    bool anyShown() const {
        return integer.find_first_not_of('0') != std::string::npos ||
               fraction.substr(0, std::size_t(lastFraction + 1)).find_first_not_of('0') !=
                   std::string::npos;
    }
};

Digits scientificDigits(const Section& sec, Decimal d) {
    const int intCount = int(sec.intZero.size());
    const int fracCount = int(sec.fracZero.size());
    Digits out;
    if (!d.isZero()) {
        roundTo(d, std::max(intCount + fracCount, 1));
        out.exponent = d.exp - intCount;
        for (int k = 0; k < intCount; ++k)
            out.integer.push_back(d.at(k));
    }
    for (int k = 0; k < fracCount; ++k)
        out.fraction.push_back(d.at(intCount + k));
    return out;
}

Digits fixedDigits(const Section& sec, Decimal d) {
    const int fracCount = int(sec.fracZero.size());
    roundTo(d, d.exp + fracCount);
    Digits out;
    for (int k = 0; k < d.exp; ++k)
        out.integer.push_back(d.at(k));
    for (int k = 0; k < fracCount; ++k)
        out.fraction.push_back(d.at(d.exp + k));
    return out;
}

// Leading zeros down to the leftmost '0' placeholder; with '#' placeholders only, a zero
// integer part is not shown at all.
void padInteger(const Section& sec, std::string& integer) {
    const auto zero = std::find(sec.intZero.begin(), sec.intZero.end(), true);
    const int shown = int(sec.intZero.end() - zero);
    while (int(integer.size()) < shown)
        integer.insert(integer.begin(), '0');
    if (shown == 0 && integer.find_first_not_of('0') == std::string::npos)
        integer.clear();
}

// The fraction runs up to its last significant digit or its last '0' placeholder.
int lastShownFraction(const Section& sec, const std::string& fraction) {
    int last = -1;
    for (int k = 0; k < int(fraction.size()); ++k)
        if (sec.fracZero[std::size_t(k)] || fraction[std::size_t(k)] != '0')
            last = k;
    return last;
}

Digits digitsOf(const Section& sec, double value) {
    Digits digits = sec.scientific ? scientificDigits(sec, toDecimal(value))
                                   : fixedDigits(sec, toDecimal(value));
    padInteger(sec, digits.integer);
    digits.lastFraction = lastShownFraction(sec, digits.fraction);
    return digits;
}

// Writes a section's tokens with its digits in place of the placeholders.
class Layout {
public:
    Layout(const Section& sec, const Digits& digits, const QLocale& locale)
        : m_sec(sec), m_digits(digits), m_intCount(int(sec.intZero.size())),
          m_length(int(digits.integer.size())), m_decimalPoint(locale.decimalPoint()),
          m_group(locale.groupSeparator()) {}

    QString text() {
        for (const Token& t : m_sec.tokens) {
            switch (t.kind) {
            case Kind::Zero:
            case Kind::Hash:
                placeholder();
                break;
            case Kind::Point:
                point();
                break;
            case Kind::Exponent:
                exponent(t);
                break;
            case Kind::Literal:
                m_out += t.text;
                break;
            }
        }
        integerDigits(m_length);
        return m_out;
    }

private:
    // Integer digits up to position upTo, with the group separators among them.
    void integerDigits(int upTo) {
        for (; m_emitted < upTo; ++m_emitted) {
            m_out += QChar(m_digits.integer[std::size_t(m_emitted)]);
            const int right = m_length - 1 - m_emitted;
            if (m_sec.grouping && right > 0 && right % 3 == 0)
                m_out += m_group;
        }
    }

    void placeholder() {
        if (m_fracPlaceholder == 0 && m_intPlaceholder < m_intCount) {
            // Digits are right-aligned on the placeholders; the first takes any excess.
            ++m_intPlaceholder;
            integerDigits(std::max(0, m_length - (m_intCount - m_intPlaceholder)));
            return;
        }
        integerDigits(m_length);
        if (m_fracPlaceholder <= m_digits.lastFraction)
            m_out += QChar(m_digits.fraction[std::size_t(m_fracPlaceholder)]);
        ++m_fracPlaceholder;
    }

    void point() {
        integerDigits(m_length);
        m_intPlaceholder = m_intCount;
        if (m_digits.lastFraction >= 0)
            m_out += m_decimalPoint;
    }

    void exponent(const Token& t) {
        integerDigits(m_length);
        m_out += t.expChar;
        if (m_digits.exponent < 0)
            m_out += u'-';
        else if (t.expPlus)
            m_out += u'+';
        m_out += QString::number(std::abs(m_digits.exponent)).rightJustified(t.expDigits, u'0');
    }

    const Section& m_sec;
    const Digits& m_digits;
    const int m_intCount;
    const int m_length;
    const QString m_decimalPoint;
    const QString m_group;
    QString m_out;
    int m_emitted = 0; // integer digits written so far
    int m_intPlaceholder = 0;
    int m_fracPlaceholder = 0;
};

QString render(const Section& sec, double value, bool minus, const QLocale& locale,
               QStringView minusSign) {
    const Digits digits = digitsOf(sec, value);
    QString out = Layout(sec, digits, locale).text();
    if (minus && digits.anyShown())
        out.prepend(minusSign);
    return out;
}

std::vector<QString> splitSections(const QString& mask) {
    std::vector<QString> sections(1);
    QChar quote;
    for (const QChar c : mask) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';' && sections.size() < 3) {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

struct MaskSection {
    Section section;
    bool empty = true;
};

// A mask's sections, parsed once while the same mask comes again: a value list formats every
// value with its own mask every poll cycle.
const std::vector<MaskSection>& parsedMask(const QString& mask) {
    thread_local QString cachedMask;
    thread_local std::vector<MaskSection> cached;
    if (cached.empty() || mask != cachedMask) {
        cached.clear();
        for (const QString& text : splitSections(mask))
            cached.push_back({parse(text), text.isEmpty()});
        cachedMask = mask;
    }
    return cached;
}

} // namespace

QString FormatFloat(const QString& mask, double value, const QLocale& locale,
                    QStringView minusSign) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (mask.isEmpty()) {
        char text[48];
        std::snprintf(text, sizeof text, "%.15G", value);
        return QString::fromLatin1(text).replace(u'.', locale.decimalPoint());
    }
    const std::vector<MaskSection>& sections = parsedMask(mask);
    const Section& first = sections[0].section;
    const double magnitude = std::fabs(value);
    if (sections.size() >= 3 && !sections[2].empty && roundsToZero(first, magnitude))
        return render(sections[2].section, magnitude, false, locale, minusSign);
    if (value < 0 && sections.size() >= 2 && !sections[1].empty)
        return render(sections[1].section, magnitude, false, locale, minusSign);
    return render(first, magnitude, value < 0, locale, minusSign);
}

} // namespace zorvan
