#include "comm/FormatFloat.h"

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
    char text[48];
    std::snprintf(text, sizeof text, "%.17e", value);
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

QString render(const Section& sec, double value, bool minus, const QLocale& locale) {
    const int intCount = int(sec.intZero.size());
    const int fracCount = int(sec.fracZero.size());
    Decimal d = toDecimal(value);
    int exponent = 0;
    std::string integer;
    std::string fraction;
    if (sec.scientific) {
        if (!d.isZero()) {
            roundTo(d, std::max(intCount + fracCount, 1));
            exponent = d.exp - intCount;
            for (int k = 0; k < intCount; ++k)
                integer.push_back(d.at(k));
        }
        for (int k = 0; k < fracCount; ++k)
            fraction.push_back(d.at(intCount + k));
    } else {
        roundTo(d, d.exp + fracCount);
        for (int k = 0; k < d.exp; ++k)
            integer.push_back(d.at(k));
        for (int k = 0; k < fracCount; ++k)
            fraction.push_back(d.at(d.exp + k));
    }

    // Leading zeros down to the leftmost '0' placeholder.
    int firstZero = intCount;
    for (int j = 0; j < intCount; ++j)
        if (sec.intZero[std::size_t(j)]) {
            firstZero = j;
            break;
        }
    while (int(integer.size()) < intCount - firstZero)
        integer.insert(integer.begin(), '0');
    if (!integer.empty() && integer.find_first_not_of('0') == std::string::npos &&
        firstZero == intCount)
        integer.clear(); // only '#' placeholders: a zero integer part is not shown

    // The fraction up to its last significant digit or its last '0' placeholder.
    int lastFraction = -1;
    for (int k = 0; k < fracCount; ++k)
        if (sec.fracZero[std::size_t(k)] || fraction[std::size_t(k)] != '0')
            lastFraction = k;

    const QString decimalPoint = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    const int length = int(integer.size());
    QString out;
    int emitted = 0; // integer digits written so far
    auto emitIntegerDigits = [&](int upTo) {
        for (; emitted < upTo; ++emitted) {
            out += QChar(integer[std::size_t(emitted)]);
            const int right = length - 1 - emitted;
            if (sec.grouping && right > 0 && right % 3 == 0)
                out += group;
        }
    };
    int intPlaceholder = 0;
    int fracPlaceholder = 0;
    for (const Token& t : sec.tokens) {
        switch (t.kind) {
        case Kind::Zero:
        case Kind::Hash:
            if (fracPlaceholder == 0 && intPlaceholder < intCount) {
                // Digits are right-aligned on the placeholders; the first takes any excess.
                ++intPlaceholder;
                emitIntegerDigits(std::max(0, length - (intCount - intPlaceholder)));
            } else {
                emitIntegerDigits(length);
                if (fracPlaceholder <= lastFraction)
                    out += QChar(fraction[std::size_t(fracPlaceholder)]);
                ++fracPlaceholder;
            }
            break;
        case Kind::Point:
            emitIntegerDigits(length);
            intPlaceholder = intCount;
            if (lastFraction >= 0)
                out += decimalPoint;
            break;
        case Kind::Exponent: {
            emitIntegerDigits(length);
            out += t.expChar;
            if (exponent < 0)
                out += u'-';
            else if (t.expPlus)
                out += u'+';
            out += QString::number(std::abs(exponent)).rightJustified(t.expDigits, u'0');
            break;
        }
        case Kind::Literal:
            out += t.text;
            break;
        }
    }
    emitIntegerDigits(length);
    const bool anyDigit =
        integer.find_first_not_of('0') != std::string::npos ||
        fraction.substr(0, std::size_t(lastFraction + 1)).find_first_not_of('0') !=
            std::string::npos;
    if (minus && anyDigit)
        out.prepend(u'-');
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

} // namespace

QString FormatFloat(const QString& mask, double value, const QLocale& locale) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (mask.isEmpty()) {
        char text[48];
        std::snprintf(text, sizeof text, "%.15G", value);
        return QString::fromLatin1(text).replace(u'.', locale.decimalPoint());
    }
    const std::vector<QString> texts = splitSections(mask);
    const Section first = parse(texts[0]);
    const double magnitude = std::fabs(value);
    if (texts.size() >= 3 && !texts[2].isEmpty() && roundsToZero(first, magnitude))
        return render(parse(texts[2]), magnitude, false, locale);
    if (value < 0 && texts.size() >= 2 && !texts[1].isEmpty())
        return render(parse(texts[1]), magnitude, false, locale);
    return render(first, magnitude, value < 0, locale);
}

} // namespace zorvan
