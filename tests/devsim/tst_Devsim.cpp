// The device simulator as libmodbus, an independent master, sees it: the catalogue and map
// registers, the value block in every byte order, exceptions, the flash file, fault injection,
// the port link, signals, refused options, the wire pacing and the log.

#include "Cases.h"
#include "Scenario.h"

using namespace zorvan::test;

namespace {

// Every type, a code the host does not know, a name of all 12 bytes and a Cyrillic one.
const char* const Catalogue = "# channel type name\n10 0 INT_TAG\n\n11 1 UINT   # comment\n"
                              "12 2 LONG_VALUE\n13 3 ULONG\n14 4 Давление\n300 9 TWELVE_CHARS\n";
// Registers 12288-12301 (BaseAdr, TagIndex, Action, Error, options, channel, type, the name in
// Windows-1251) for each tag, and past the end.
#define TAG0 "4000 0000 0000 0000 0000 0000 000A 0000 494E 545F 5441 4700 0000 0000\n"
#define TAG4 "000E 0004 C4E0 E2EB E5ED E8E5 0000 0000"
// Int -32767, Float pi, UInt 0xABCD, Long -123456789, ULong 0x12345678, in the plain order.
#define PLAIN "0x8001 0x4049 0x0FDB 0xABCD 0xF8A4 0x32EB 0x1234 0x5678"
#define ADDRESS "Illegal data address\n"
#define TIMEOUT "Connection timed out\n"
#define COM3 "$H/Belmat/Quillmark/ports/COM3"
// A read of the 14 control registers of tag 0 and its reply, with the checksums of the Modbus
// over serial line guide (computed apart).
#define READ14 "send 01 03 30 00 00 0E"
#define REPLY14                                                                                    \
    "03 1C 40 00 00 00 00 00 00 00 00 00 00 00 00 0A 00 00 49 4E 54 5F 54 41 47 00 00 00 00 00"

} // namespace

class tst_Devsim : public QObject {
    Q_OBJECT
private slots:
    void device_data() {
        // clang-format off
        addCases<Scenario>({
        {"catalogue, addresses", {
            {"device --address 17", 0, "", ""},
            {"mb write 12289 0 ; read 12288 14", 0, TAG0, ""},
            {"mb write 12289 4 ; read 12288 14", 0, "4000 0004 0000 0000 0000 0000 " TAG4 "\n", ""},
            {"mb write 12289 5 ; read 12288 14", 0,
             "4000 0005 0000 0000 0000 0000 012C 0009 5457 454C 5645 5F43 4841 5253\n", ""},
            {"mb write 12289 65535 ; read 12288 14", 0,
             "4000 FFFF 0000 0001 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000\n", ""},
            {"mb@18 read 12288 1", 1, "", TIMEOUT},
            // libmodbus as a slave would take the next request for the other slave's reply.
            {"mb post 12 03 30 00 00 01 ; read 12288 1", 0, "4000\n", ""}}},
        {"map upload", {
            {"device --capacity 2", 0, "", ""},
            {"mb upload 0x10005 0 1 2 3 ; map ; read 12290 1 ; read 12292 2", 0, "0 0 2 2\n0 1\n0000\n0001 0005\n", ""},
            {"device --capacity 0", 0, "", ""},
            {"mb upload 0 4 ; map", 0, "2\n\n", ""},
            {"device", 0, "", ""},
            {"mb upload 6 2 0 2 ; map", 0, "0 0 0\n2 0 2\n", ""},
            {"mb upload 6 1 6 0 999 ; map", 0, "0 1 0 1\n1 0\n", ""},
            {"mb write 12303 0 ; read 12291 11 ; write 12303 2 ; read 12291 1", 0,
             "0000 0000 0006 000B 0001 5549 4E54 0000 0000 0000 0000\n0001\n", ""},
            // The count is the device's own; clearing the map keeps the options.
            {"mb write 12302 40 ; read 12302 1 ; write 12290 2 ; map ; read 12292 2", 0, "0002\n\n0000 0006\n", ""},
            {"mb upload 6 ; map", 0, "\n\n", ""}}},
        {"value block in every byte order", {
            {"device", 0, "", ""},
            // Tag 5 is of a type the device serves without a value register.
            {"mb upload 0 0 5 4 1 2 3 ; write 16384 " PLAIN, 0, "0 0 0 0 0 0\n", ""},
            {"mb read 16384 9", 1, "", ADDRESS},
            // Laid out by hand from the byte-order table: 16-bit values swapped from 4 on,
            // 32-bit bytes in the orders 3210, 1032, 2301 and 0123.
            {"mb write 12292 0 0 ; read 16384 8", 0, "8001 4049 0FDB ABCD F8A4 32EB 1234 5678\n", ""},
            {"mb write 12292 0 1 ; read 16384 8", 0, "8001 0FDB 4049 ABCD 32EB F8A4 5678 1234\n", ""},
            {"mb write 12292 0 2 ; read 16384 8", 0, "8001 4940 DB0F ABCD A4F8 EB32 3412 7856\n", ""},
            {"mb write 12292 0 3 ; read 16384 8", 0, "8001 DB0F 4940 ABCD EB32 A4F8 7856 3412\n", ""},
            {"mb write 12292 0 4 ; read 16384 8", 0, "0180 4049 0FDB CDAB F8A4 32EB 1234 5678\n", ""},
            {"mb write 12292 0 5 ; read 16384 8", 0, "0180 0FDB 4049 CDAB 32EB F8A4 5678 1234\n", ""},
            {"mb write 12292 0 6 ; read 16384 8", 0, "0180 4940 DB0F CDAB A4F8 EB32 3412 7856\n", ""},
            {"mb write 12292 0 7 ; read 16384 8", 0, "0180 DB0F 4940 CDAB EB32 A4F8 7856 3412\n", ""},
            // Written in an order (zeros first, so that a lost write shows), read in the plain one.
            {"mb write 16384 0 0 0 0 0 0 0 0 ; write 16384 0x0180 0xDB0F 0x4940 0xCDAB 0xEB32 0xA4F8 0x7856 "
             "0x3412 ; write 12292 0 0 ; read 16384 8", 0, "8001 4049 0FDB ABCD F8A4 32EB 1234 5678\n", ""},
            // One half of a 32-bit value written alone: the other half stays.
            {"mb write 12292 0 2 ; write 16386 0 ; read 16385 2", 0, "4940 0000\n", ""}}},
        {"exceptions", {
            {"device", 0, "", ""},
            {"mb read 8 2", 0, "0000 0000\n", ""},
            {"mb read 9 2", 1, "", ADDRESS},
            {"mb read 12303 2", 1, "", ADDRESS},
            {"mb read 16384 1", 1, "", ADDRESS},
            {"mb send 01 06 30 01 00 05 ; read 12289 1", 0, "01 06 30 01 00 05 17 09\n0005\n", ""},
            {"mb send 01 06 4E 20 00 01", 0, "01 86 02 C3 A1\n", ""},
            {"mb send 01 03 30 00 00 7E", 0, "01 83 03 01 31\n", ""},
            {"mb send 01 10 30 01 00 02 02 00 05", 0, "01 90 03 0C 01\n", ""}}},
        // The map and options SaveToFlash stored come back in the next run, with another catalogue
        // and at most --capacity entries; changes not stored do not. Unreadable flash: the device
        // starts empty and keeps the file; unwritable: exception 4.
        {"flash", {
            {"device --flash $D/f", 0, "", ""},
            {"mb upload 6 4 1 5 ; write 8 0 1 ; upload 2 0 ; write 8 0 2", 0, "0 0 0\n0\n", ""},
            {"put $D/other \"1 1 OTHER\"", 0, "", ""},
            {"device --flash $D/f --catalogue $D/other", 0, "", ""},
            {"mb map ; read 12292 2 ; write 12303 0 ; read 12294 8 ; read 16384 3", 0,
             "~^4 1 5\n0000 0006\n" TAG4 "\n", ""},
            {"mb read 16384 4", 1, "", ADDRESS},
            {"device --flash $D/f --capacity 2", 0, "", ""},
            {"mb map", 0, "4 1\n", ""},
            {"put $D/f ZDSFLASH", 0, "", ""},
            {"device --flash $D/f", 0, "", ""},
            {"mb map", 0, "\n", ""},
            {"cat $D/f", 0, "ZDSFLASH", ""},
            {"device --flash $D/g", 0, "", ""},
            {"put $D/g/x x", 0, "", ""},
            {"mb write 8 0 1", 1, "", "Slave device or server failure\n"}}},
        {"faults by request number and by rate", {
            {"device --fail-requests 2,4,5:corrupt,6:wrong-address,7:delay=200", 0, "", ""},
            {"mb write 12289 1 ; read 12289 1", 1, "", TIMEOUT},
            {"mb write 12289 3 ; read 12289 1", 1, "", TIMEOUT},
            {"mb read 12289 1", 1, "", "Invalid CRC\n"},
            {"mb read 12289 1", 1, "", "Response not from requested slave\n"},
            // Faults hit the replies only: the writes were carried out.
            {"mb read 12289 1", 0, "0003\n", ""},
            // Byte by byte: a corrupted reply differs in its checksum only, one "of another slave"
            // in its address, with a checksum that fits.
            {"device --fail-requests 2:corrupt,3:wrong-address", 0, "", ""},
            {"mb " READ14 " ; " READ14 " ; " READ14, 0,
             "01 " REPLY14 " B1 F3\n01 " REPLY14 " 4E 0C\n02 " REPLY14 " 01 F2\n", ""},
            {"device --drop-rate 1", 0, "", ""},
            {"mb read 12289 1", 1, "", TIMEOUT},
            {"device --corrupt-rate 1", 0, "", ""},
            {"mb read 12289 1", 1, "", "Invalid CRC\n"},
            {"device --wrong-address-rate 1", 0, "", ""},
            {"mb read 12289 1", 1, "", "Response not from requested slave\n"},
            {"device --delay-ms 700 --delay-rate 0 --fail-requests 2:delay", 0, "", ""},
            {"mb read 12289 1 ; read 12289 1", 1, "0000\n", TIMEOUT},
            {"device --delay-ms 700", 0, "", ""},
            {"mb read 12289 1", 1, "", TIMEOUT}}},
        // --com 3 links ports/COM3 of the settings folder to the pseudo-terminal while it runs.
        {"port link, signals", {
            {"device --com 3", 0, "", ""},
            {"readlink " COM3, 0, "$P", ""},
            {"stop HUP", 0, "", ""},
            {"ln /dev/null " COM3, 0, "", ""},
            {"device --com 3", 1, "", "~COM3 links to /dev/null, which is not a simulator's port"},
            {"readlink " COM3, 0, "/dev/null", ""},
            {"put $H/Belmat/Quillmark/ports/COM4 x", 0, "", ""},
            {"device --com 4", 1, "", "~COM4 exists and is not a link"}}},
        // Replies come no sooner than the line would carry request and reply (10 bits a character,
        // 3.5 characters of silence after each frame) and than a delay asked for; the log tells
        // what came and went, and the modelled time of the line.
        {"wire pacing, log", {
            {"device --wire-baud 2400 --log --fail-requests 2,3:delay=200", 0, "", ""},
            {"mb write 12289 5 ; atleast 93", 0, "", ""}, // 11 + 3.5 + 8 characters
            {"mb read 12288 14", 1, "", TIMEOUT},
            {"mb read 12288 1 ; atleast 200", 0, "4000\n", ""},
            // Paced byte by byte: a master waiting 50 ms between characters takes the whole reply.
            {"raw read 12288 14 --port $P --timeout 50", 0, "~^12288\t16384\t0x4000\n", ""},
            {"stop INT", 0, "", ""},
            // Characters on the line: 14.5 + 11.5, 11.5, 11.5 + 10.5, 11.5 + 36.5.
            {"log", 0, "~#1 rx 01 10 30 01 00 01 02 00 05 57 81 \\| write 1 at 12289 \\| TagIndex 5: channel 300, "
                       "type 9, \"TWELVE_CHARS\"\n.*#1 tx 01 10 30 01 00 01 5F 09 .*#2 tx -- \\| reply 01 03 1C "
                       "[0-9A-F ]+ dropped\n.*#3 tx [^\n]+ delayed 200 ms.*: 4 requests, 3 replies, modelled wire "
                       "time 447.917 ms at 2400 baud\n$", ""}}},
        {"refused options", {
            {"device --drop-rate 1.5", 2, "", "~--drop-rate must be a number from 0 to 1"},
            {"device --delay-rate nan", 2, "", "~--delay-rate must be a number from 0 to 1"},
            {"device --catalogue /dev/zero", 2, "", "~/dev/zero: not a regular file"},
            {"device --address 0", 2, "", "~--address must be a whole number from 1 to 247"},
            {"device --fail-requests 0", 2, "", "~\"0\" is not a request number"},
            {"device --fail-requests 3:explode", 2, "", "~unknown fault \"explode\""},
            {"device --fail-requests 3:delay", 2, "", "~3:delay needs --delay-ms"},
            {"device --flash /nonexistent/flash", 2, "", "~folder /nonexistent does not exist"},
            {"device --bogus", 2, "", "~Unknown option 'bogus'"},
            {"put $D/c \"1 0 A\n2 x B\"", 0, "", ""},
            {"device --catalogue $D/c", 2, "", "~c:2: type must be a number"},
            {"put $D/c \"1 4 THIRTEEN_CHAR\"", 0, "", ""},
            {"device --catalogue $D/c", 2, "", "~longer than 12 bytes"},
            {"put $D/c \"1 2 名字\"", 0, "", ""},
            {"device --catalogue $D/c", 2, "", "~outside Windows-1251"}}},
        });
        // clang-format on
    }
    void device() {
        QFETCH(Scenario, c);
        runScenario(c, Catalogue);
    }
};

QTEST_GUILESS_MAIN(tst_Devsim)
#include "tst_Devsim.moc"
