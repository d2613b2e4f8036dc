#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

namespace zorvan {

// Formats a number with a digit mask, with the locale's decimal and group separators:
// - `0` a digit that is always shown, `#` a digit shown only when significant;
// - the first `.` places the decimal separator (left out when no fraction digit is shown);
// - `,` anywhere in the mask groups the integer digits by three;
// - `E+`, `E-`, `e+`, `e-` followed by up to four `0`s give scientific notation (`+` shows the
//   exponent's sign always, `-` only when negative);
// - text in single or double quotes, and any other character, is copied as it stands;
// - up to three sections "positive;negative;zero" (the negative one without the minus sign;
//   an empty or missing section falls back to the first).
// Rounding is half away from zero on the value's decimal digits; minusSign goes before a
// negative value's masked text. An empty mask gives the shortest general form of up to 15
// significant digits. NaN and infinities give "NAN", "INF", "-INF".
QString FormatFloat(const QString& mask, double value, const QLocale& locale = QLocale(),
                    QStringView minusSign = u"-");

} // namespace zorvan
