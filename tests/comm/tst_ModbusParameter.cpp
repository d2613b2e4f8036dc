#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "components/FormatFloat.h"

#include <QLocale>
#include <QTest>
#include <cmath>
#include <limits>

using namespace zorvan;

Q_DECLARE_METATYPE(zorvan::TModbusParamByteOrder)
Q_DECLARE_METATYPE(zorvan::TModbusParamType)

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QLocale localeNamed(const QString& name) {
    return name == "C" ? QLocale::c() : QLocale(name);
}

// A parameter at register 1 of a space, so that a stray write before or after it shows.
struct Slot {
    TModbusSpace space;
    TModbusParameter before;
    TModbusParameter param;
    explicit Slot(TModbusParamByteOrder order, TModbusParamType type) {
        space.setReadInterval(0);
        before.setModbusSpace(&space);
        param.setIndex(1);
        param.setByteOrder(order);
        param.setParamType(type);
        param.setModbusSpace(&space);
    }
    QByteArray image(int bytes) const {
        return QByteArray(reinterpret_cast<const char*>(space.Image()) + 2, bytes);
    }
    void setImage(const QByteArray& bytes) {
        std::copy(bytes.begin(), bytes.end(), space.Image() + 2);
    }
};

const auto O3210 = TModbusParamByteOrder::mbo3210;
const auto O0123 = TModbusParamByteOrder::mbo0123;
const auto O1032 = TModbusParamByteOrder::mbo1032;
const auto O2301 = TModbusParamByteOrder::mbo2301;

} // namespace

class tst_ModbusParameter : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void dwordOrders_data();
    void dwordOrders();
    void wordOrders_data();
    void wordOrders();
    void modifiedRules_data();
    void modifiedRules();
    void dwordReachesNextRegister();
    void sortedInsert();
    void replaceAll_data();
    void replaceAll();
    void formatFloatDot_data();
    void formatFloatDot();
    void strToFloatDot_data();
    void strToFloatDot();
    void decimalSeparator_data();
    void decimalSeparator();
};

void tst_ModbusParameter::dwordOrders_data() {
    QTest::addColumn<TModbusParamByteOrder>("order");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QByteArray>("image");
    QTest::newRow("3210") << O3210 << 0x11223344u << hex("11 22 33 44");
    QTest::newRow("0123") << O0123 << 0x11223344u << hex("33 44 11 22");
    QTest::newRow("1032") << O1032 << 0x11223344u << hex("22 11 44 33");
    QTest::newRow("2301") << O2301 << 0x11223344u << hex("44 33 22 11");
    QTest::newRow("0123 one") << O0123 << 1u << hex("00 01 00 00");
    QTest::newRow("1032 one") << O1032 << 1u << hex("00 00 01 00");
    QTest::newRow("2301 max") << O2301 << 0xFFFFFFFEu << hex("FE FF FF FF");
}

void tst_ModbusParameter::dwordOrders() {
    QFETCH(TModbusParamByteOrder, order);
    QFETCH(quint32, value);
    QFETCH(QByteArray, image);
    Slot s(order, TModbusParamType::mptInteger);
    s.param.Data()->setAsDWord(value);
    QCOMPARE(s.image(4), image);
    QCOMPARE(s.param.Data()->AsDWord(), value);
    QCOMPARE(s.space.Image()[0], quint8(0));
    QCOMPARE(s.space.Image()[1], quint8(0));
    QCOMPARE(s.space.Image()[6], quint8(0));
    // Reading an image the device filled gives the same value.
    Slot r(order, TModbusParamType::mptInteger);
    r.setImage(image);
    QCOMPARE(r.param.Data()->AsDWord(), value);
    QVERIFY(!r.param.Modified());
    quint8 raw[4];
    EncodeDWord(order, value, raw);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(raw), 4), image);
    QCOMPARE(DecodeDWord(order, raw), value);
}

void tst_ModbusParameter::wordOrders_data() {
    QTest::addColumn<TModbusParamByteOrder>("order");
    QTest::addColumn<QByteArray>("image");
    QTest::newRow("3210") << O3210 << hex("12 34");
    QTest::newRow("0123") << O0123 << hex("34 12");
    QTest::newRow("1032") << O1032 << hex("34 12");
    QTest::newRow("2301") << O2301 << hex("34 12");
}

void tst_ModbusParameter::wordOrders() {
    QFETCH(TModbusParamByteOrder, order);
    QFETCH(QByteArray, image);
    Slot s(order, TModbusParamType::mptWord);
    s.param.Data()->setAsWord(0x1234);
    QCOMPARE(s.image(3), image + '\0');
    QCOMPARE(int(s.param.Data()->AsWord()), 0x1234);
    Slot r(order, TModbusParamType::mptI16);
    r.setImage(image);
    QCOMPARE(int(r.param.Data()->AsWord()), 0x1234);
}

void tst_ModbusParameter::modifiedRules_data() {
    QTest::addColumn<TModbusParamByteOrder>("order");
    QTest::addColumn<QString>("accessor");
    QTest::addColumn<QByteArray>("start"); // image before
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("image"); // image after
    QTest::addColumn<bool>("modified");
    QTest::newRow("word 0x12345 keeps low 16 bits")
        << O3210 << "word" << hex("00 00") << double(0x12345) << hex("23 45") << true;
    QTest::newRow("word equal") << O0123 << "word" << hex("34 12") << double(0x1234) << hex("34 12")
                                << false;
    QTest::newRow("word equal in low bits")
        << O3210 << "word" << hex("23 45") << double(0x52345) << hex("23 45") << false;
    QTest::newRow("dword equal") << O2301 << "dword" << hex("44 33 22 11") << double(0x11223344)
                                 << hex("44 33 22 11") << false;
    QTest::newRow("dword differs") << O1032 << "dword" << hex("22 11 44 33") << double(0x11223345)
                                   << hex("22 11 45 33") << true;
    QTest::newRow("single 1.5") << O3210 << "single" << hex("00 00 00 00") << 1.5
                                << hex("3F C0 00 00") << true;
    QTest::newRow("single 1.5, 0123")
        << O0123 << "single" << hex("00 00 00 00") << 1.5 << hex("00 00 3F C0") << true;
    QTest::newRow("single -2, 2301")
        << O2301 << "single" << hex("00 00 00 00") << -2.0 << hex("00 00 00 C0") << true;
    QTest::newRow("single equal") << O3210 << "single" << hex("3F C0 00 00") << 1.5
                                  << hex("3F C0 00 00") << false;
}

void tst_ModbusParameter::modifiedRules() {
    QFETCH(TModbusParamByteOrder, order);
    QFETCH(QString, accessor);
    QFETCH(QByteArray, start);
    QFETCH(double, value);
    QFETCH(QByteArray, image);
    QFETCH(bool, modified);
    for (bool wasModified : {false, true}) {
        Slot s(order, accessor == "word" ? TModbusParamType::mptWord : TModbusParamType::mptSingle);
        s.setImage(start);
        s.param.setModified(wasModified);
        if (accessor == "word")
            s.param.Data()->setAsWord(quint32(value));
        else if (accessor == "dword")
            s.param.Data()->setAsDWord(quint32(value));
        else
            s.param.Data()->setAsSingle(float(value));
        QCOMPARE(s.image(int(image.size())), image);
        // An equal value leaves the flag as it was.
        QCOMPARE(s.param.Modified(), modified || wasModified);
        if (accessor == "single")
            QCOMPARE(s.param.Data()->AsSingle(), float(value));
    }
}

void tst_ModbusParameter::dwordReachesNextRegister() {
    Slot s(O3210, TModbusParamType::mptWord);
    TModbusParameter next;
    next.setIndex(2);
    next.setModbusSpace(&s.space);
    s.param.Data()->setAsDWord(0xAABBCCDDu);
    QCOMPARE(int(s.param.Data()->AsWord()), 0xAABB);
    QCOMPARE(int(next.Data()->AsWord()), 0xCCDD);
    // A parameter whose registers would lie past the image reads 0 and takes no value.
    TModbusSpace space;
    std::vector<std::unique_ptr<TModbusParameter>> many;
    for (int i = 0; i < 257; ++i) {
        many.push_back(std::make_unique<TModbusParameter>());
        many.back()->setParamType(TModbusParamType::mptInteger);
        many.back()->setModbusSpace(&space);
    }
    QCOMPARE(int(many.back()->RegisterOffset()), 512);
    many.back()->Data()->setAsDWord(5);
    QCOMPARE(many.back()->Data()->AsDWord(), 0u);
    QVERIFY(!many.back()->Modified());
    QCOMPARE(int(space.RegisterCount()), 255);
    QVERIFY(!space.ReadBlock());
}

void tst_ModbusParameter::sortedInsert() {
    TModbusParamList list;
    TModbusParameter p[5];
    const int indices[] = {4, 1, 4, 0, 1};
    for (int i = 0; i < 5; ++i) {
        p[i].setIndex(quint16(indices[i]));
        p[i].setModified(true);
        list.Add(&p[i]);
    }
    const TModbusParameter* order[] = {&p[3], &p[1], &p[4], &p[0], &p[2]};
    QCOMPARE(list.Count(), 5);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(list.Items(k), order[k]);
    list.ClearModified();
    for (const auto& q : p)
        QVERIFY(!q.Modified());
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(int(p[0].Index()), 4); // parameters untouched
}

void tst_ModbusParameter::replaceAll_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("oldPiece");
    QTest::addColumn<QString>("newPiece");
    QTest::addColumn<QString>("result");
    QTest::newRow("points") << "1.2.3"
                            << "."
                            << ","
                            << "1,2,3";
    QTest::newRow("non-overlapping from the left") << "aaa"
                                                   << "aa"
                                                   << "b"
                                                   << "ba";
    QTest::newRow("new contains old") << "xx"
                                      << "x"
                                      << "xx"
                                      << "xxxx";
    QTest::newRow("empty old") << "abc"
                               << ""
                               << "x"
                               << "abc";
    QTest::newRow("same") << "abc"
                          << "b"
                          << "b"
                          << "abc";
    QTest::newRow("absent") << "abc"
                            << "z"
                            << "y"
                            << "abc";
    QTest::newRow("to nothing") << "a, b, c"
                                << ", "
                                << ""
                                << "abc";
}

void tst_ModbusParameter::replaceAll() {
    QFETCH(QString, text);
    QFETCH(QString, oldPiece);
    QFETCH(QString, newPiece);
    QFETCH(QString, result);
    QCOMPARE(ReplaceAll(text, oldPiece, newPiece), result);
}

void tst_ModbusParameter::formatFloatDot_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    for (const char* loc : {"C", "de_DE", "ru_RU", "fr_FR"}) {
        QTest::addRow("2.5 as 0.000, %s", loc) << loc << "0.000" << 2.5 << "2.500";
        QTest::addRow("12.5 as 0.000, %s", loc) << loc << "0.000" << 12.5 << "12.500";
        QTest::addRow("-0.25 as 0.00, %s", loc) << loc << "0.00" << -0.25 << "-0.25";
    }
    QTest::newRow("half away from zero") << "C"
                                         << "0.00" << 0.125 << "0.13";
    QTest::newRow("negative half") << "C"
                                   << "0.00" << -0.125 << "-0.13";
    QTest::newRow("single's own digits") << "C"
                                         << "0.00" << double(1.005f) << "1.00";
    QTest::newRow("carry into integer") << "C"
                                        << "0.00" << 9.999 << "10.00";
    QTest::newRow("rounds to zero, no sign") << "C"
                                             << "0.00" << -0.001 << "0.00";
    QTest::newRow("no decimals") << "C"
                                 << "0" << 2.5 << "3";
    QTest::newRow("optional digits") << "C"
                                     << "0.##" << 1.0 << "1";
    QTest::newRow("optional digits used") << "C"
                                          << "0.0#" << 1.25 << "1.25";
    QTest::newRow("optional trailing zero") << "C"
                                            << "0.0#" << 1.2 << "1.2";
    QTest::newRow("hash integer") << "C"
                                  << "#.##" << 0.5 << ".5";
    QTest::newRow("leading zeros") << "C"
                                   << "00000" << 42.0 << "00042";
    QTest::newRow("excess integer digits") << "C"
                                           << "0.0" << 123456.0 << "123456.0";
    QTest::newRow("grouping") << "C"
                              << "#,##0.0" << 1234567.0 << "1,234,567.0";
    QTest::newRow("grouping, comma locale") << "de_DE"
                                            << "#,##0.00" << 1234.5 << "1.234.50";
    QTest::newRow("scientific") << "C"
                                << "0.00E+00" << 12345.0 << "1.23E+04";
    QTest::newRow("scientific small") << "C"
                                      << "0.0E-0" << 0.00123 << "1.2E-3";
    QTest::newRow("scientific sign") << "C"
                                     << "0.0E-00" << 1500.0 << "1.5E03";
    QTest::newRow("negative section") << "C"
                                      << "0.0;(0.0);zero" << -2.0 << "(2.0)";
    QTest::newRow("zero section") << "C"
                                  << "0.0;(0.0);'zero'" << 0.0 << "zero";
    QTest::newRow("zero section after rounding") << "C"
                                                 << "0.0;(0.0);nil" << 0.01 << "nil";
    QTest::newRow("empty negative section") << "C"
                                            << "0.0;;z" << -2.0 << "-2.0";
    QTest::newRow("literals") << "C"
                              << "'x='0.0\" V\"" << 5.0 << "x=5.0 V";
    QTest::newRow("nan") << "C"
                         << "0.00" << std::nan("") << "NAN";
    QTest::newRow("inf") << "C"
                         << "0.00" << -std::numeric_limits<double>::infinity() << "-INF";
    QTest::newRow("general") << "de_DE"
                             << "" << 1.5 << "1.5";
}

void tst_ModbusParameter::formatFloatDot() {
    QFETCH(QString, locale);
    QFETCH(QString, mask);
    QFETCH(double, value);
    QFETCH(QString, text);
    QLocale::setDefault(localeNamed(locale));
    if (value == double(float(value)) || std::isnan(value) || std::isinf(value))
        QCOMPARE(FormatFloatDot(mask, float(value)), text);
    else
        QCOMPARE(ReplaceAll(FormatFloat(mask, value), QLocale().decimalPoint(), "."), text);
}

void tst_ModbusParameter::strToFloatDot_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("value");
    for (const char* loc : {"C", "de_DE", "ru_RU"}) {
        QTest::addRow("1.25, %s", loc) << loc << "1.25" << 1.25f;
        QTest::addRow("abc, %s", loc) << loc << "abc" << 0.0f;
        QTest::addRow("empty, %s", loc) << loc << "" << 0.0f;
        QTest::addRow("-0.5, %s", loc) << loc << "-0.5" << -0.5f;
        QTest::addRow("exponent, %s", loc) << loc << "1e3" << 1000.0f;
        QTest::addRow("blanks, %s", loc) << loc << " 2.5 " << 2.5f;
    }
    QTest::newRow("comma locale takes comma") << "de_DE"
                                              << "12,5" << 12.5f;
    QTest::newRow("no group separators") << "C"
                                         << "1,000" << 0.0f;
    QTest::newRow("two points") << "C"
                                << "1.2.3" << 0.0f;
    QTest::newRow("not finite") << "C"
                                << "inf" << 0.0f;
    QTest::newRow("too large") << "C"
                               << "1e60" << 0.0f;
}

void tst_ModbusParameter::strToFloatDot() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(float, value);
    QLocale::setDefault(localeNamed(locale));
    QCOMPARE(StrToFloatDot(text), value);
}

void tst_ModbusParameter::decimalSeparator_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("separator");
    QTest::newRow("C") << "C"
                       << ".";
    QTest::newRow("en_US") << "en_US"
                           << ".";
    QTest::newRow("de_DE") << "de_DE"
                           << ",";
    QTest::newRow("uk_UA") << "uk_UA"
                           << ",";
}

void tst_ModbusParameter::decimalSeparator() {
    QFETCH(QString, locale);
    QFETCH(QString, separator);
    QLocale::setDefault(localeNamed(locale));
    QCOMPARE(DecimalSeparatorText(), separator);
}

QTEST_GUILESS_MAIN(tst_ModbusParameter)
#include "tst_ModbusParameter.moc"
