// zorvanctl as a user runs it: scenarios of command lines, against the device simulator or
// without one, each step with its exit status, standard output and standard error.

#include "Cases.h"
#include "Scenario.h"

using namespace zorvan::test;

namespace {

// Every type, a channel at the top of the range, a name of all 12 bytes, names in
// Windows-1251 on the wire, one a CSV line must quote, a type code without a name, and a name
// carrying an escape sequence (shown escaped, never sent to the terminal raw).
const char* const Catalogue = "0 4 TEMP1\n1 0 T\n2 1 TWELVE_CHARS\n65535 2 Давление\n40 3 Ёж№\n"
                              "7 1 a \"b\", c\n9 9 ODD\n8 0 E\x1b[1m\n";
// Texts that the expected outputs below are put together from.
#define TAGS_HEADER "#\tChannel\tType\tName\n"
// A regular expression: the catalogue as `tags` lists it.
#define TAGS                                                                                         \
    TAGS_HEADER                                                                                      \
    "1\t1\tFloat\tTEMP1\n2\t2\tInt\tT\n3\t3\tUInt\tTWELVE_CHARS\n4\t65536\tLong\tДавление\n" \
    "5\t41\tULong\tЁж№\n6\t8\tUInt\ta \"b\", c\n7\t10\t9\tODD\n8\t9\tInt\tE\\\\x1b\\[1m\n"
#define NO_DEVICE "No communication with the device\n"
#define NO_REPLY(command) NO_DEVICE "zorvanctl " command ": no reply\n"
#define NO_PORT(why) "Не удалось подключиться к COM-порту\n" why "\n" NO_DEVICE

} // namespace

class tst_Zorvanctl : public QObject {
    Q_OBJECT
private slots:
    void commands_data() {
        // clang-format off
        addCases<Scenario>({
        {"tags, traced, on the stored port", {
            {"device --com 5", 0, "", ""},
            {"options set Port 5", 0, "Port = 5 (COM5)\n", ""},
            // Checksums from the Modbus over serial line guide's algorithm (computed apart).
            {"tags --trace", 0, "~^out 01 03 30 00 00 0E CB 0E \nin 01 03 1C ([0-9A-F]{2} ){30}\n"
                                "out 01 10 30 01 00 01 02 00 00 97 82 \nin 01 10 30 01 00 01 5F 09 \n"
                                "([^\n]+\n){34}" TAGS "$", ""}}},
        {"a port number linked to the simulator", {
            {"device", 0, "", ""},
            {"ports link 5 $P", 0, "COM5 -> $P\n", ""},
            {"ports", 0, "~\nPort links in $H/Belmat/Quillmark/ports:\n  COM5 -> $P\n$", ""},
            {"tags --port 5", 0, "~^" TAGS "$", ""},
            {"ports unlink 5", 0, "", ""},
            {"readlink $H/Belmat/Quillmark/ports/COM5", 1, "", ""},
            {"ports link 5 $D", 1, "", "zorvanctl ports: $D is not a character device, so not a serial port\n"},
            {"ports link 5", 2, "", "~link takes N and DEVICE"},
            {"ports unlink 256", 2, "", "~out of range 1..255: 256"}}},
        {"upload, download, flash", {
            {"device --flash $D/f", 0, "", ""},
            {"mkmap $D/up 6 3 0 6 4", 0, "", ""},
            {"upload $D/up --port $P", 0, "", ""},
            {"cat $D/f", 0, "~^ZDSFLASH", ""},
            {"download $D/down --port $P", 0, "", ""},
            {"map options $D/down 1", 0, "", ""},
            {"download $D/down --port $P --trace", 2, "", "~down exists; use --force"},
            {"download $D/down --port $P --force", 0, "", ""},
            {"map show $D/down", 0, "BaseAdr\t16384\nOptions\t6\tw:01 - dw:1032\nChannels\t4\n"
                                    "Offset\tType\tChannel\tName\tNote\tTagIndex\n0\tLong\t65536\tДавление\t\t3\n"
                                    "2\tFloat\t1\tTEMP1\t\t0\n4\t\t10\tODD\t\t6\n4\tULong\t41\tЁж№\t\t4\n", ""},
            {"mkmap $D/none 0", 0, "", ""},
            {"upload $D/none --port $P", 0, "", ""},
            {"download $D/back --port $P", 0, "", ""},
            {"flash --port $P --address 9 --trace", 1, "out 09 10 00 08 00 02 04 00 00 00 01 19 A9 \n", NO_REPLY("flash")},
            {"flash --port $P --trace", 0, "out 01 10 00 08 00 02 04 00 00 00 01 33 C9 \n"
                                           "in 01 10 00 08 00 02 C0 0A \n", ""}}},
        {"refused maps", {
            {"device --capacity 2 --flash $D/f", 0, "", ""},
            {"mkmap $D/a 0 1 50", 0, "", ""},
            {"upload $D/a --port $P", 3, "", "Tag #50 incorrect!\n"},
            {"mkmap $D/b 0 0 1 2", 0, "", ""},
            {"upload $D/b --port $P", 3, "", "List of parameters is overflow!\n"}}},
        {"failed exchanges", {
            {"device --fail-requests 6,7,8,9,10", 0, "", ""},
            {"tags --port $P --timeout 50", 1, TAGS_HEADER "1\t1\tFloat\tTEMP1\n2\t2\tInt\tT\n", NO_REPLY("tags")},
            {"device --drop-rate 1", 0, "", ""},
            {"mkmap $D/m 0 1", 0, "", ""},
            {"upload $D/m --port $P --timeout 50", 1, "", NO_REPLY("upload")},
            {"download $D/x --port $P --timeout 50", 1, "", NO_REPLY("download")},
            {"flash --port $P --timeout 50", 1, "", NO_REPLY("flash")},
            // One entry: Action 1, 2, options, TagIndex, Action 3, Error, Action 4, then the save.
            {"device --fail-requests 8", 0, "", ""},
            {"upload $D/m --port $P --timeout 50", 1, "", "Ошибка конфигурирования устройства\n" NO_REPLY("upload")}}},
        {"ports that do not open", {
            {"mkmap $D/m 0 1", 0, "", ""},
            {"tags --port $D/tty", 1, TAGS_HEADER, NO_PORT("$D/tty: No such file or directory")},
            {"poll $D/m --port $D/m", 1, "", NO_PORT("$D/m: not a terminal")},
            {"raw read 1 1 --port $D/tty", 1, "", "zorvanctl raw: cannot open the serial port $D/tty: No such file or directory\n"}}},
        {"raw registers, address and port from the settings", {
            {"device --address 3 --com 7", 0, "", ""},
            {"options set regDeviceAddress 3", 0, "regDeviceAddress = 3\n", ""},
            {"options set port com7", 0, "Port = 7 (COM7)\n", ""},
            {"raw read 12288 2 --trace", 0, "out 03 03 30 00 00 02 CA E9 \nin 03 03 04 40 00 00 00 CC 33 \n"
                                            "12288\t16384\t0x4000\n12289\t0\t0x0000\n", ""},
            {"raw write 12289 -2 --baud 19200", 0, "", ""},
            {"raw read 12289 3 --baud 250000", 0, "12289\t65534\t0xFFFE\n12290\t0\t0x0000\n12291\t1\t0x0001\n", ""},
            {"raw write 0x3004 0 6 --trace", 0, "out 03 10 30 04 00 02 04 00 00 00 06 2D E7 \n"
                                                "in 03 10 30 04 00 02 0E EB \n", ""},
            {"raw read 12292 2", 0, "12292\t0\t0x0000\n12293\t6\t0x0006\n", ""},
            {"raw read 12288 1 --port 7 --address 9 --timeout 60", 1, "",
             "zorvanctl raw: no valid reply from device 9 on $P within 60 ms: no reply\n"}}},
        {"poll: values set, flash, two spaces, faults", {
            {"device --flash $D/f", 0, "", ""},
            {"mkmap $D/m 6 0 1 2 3 4 5 0 1 2 3 4 5 0 1 2 3 4 5 0 1 2 3", 0, "", ""},
            {"upload $D/m --port $P", 0, "", ""},
            {"poll $D/m --port $P --cycles 2 --flash --trace --set TEMP1=-2.5 --set T=-300 --set "
             "TWELVE_CHARS=65535 --set Давление=-70000 --set Ёж№=0", 0,
             "~^time(,TEMP1,T,TWELVE_CHARS,Давление,Ёж№,\"a \"\"b\"\", c\"){3},TEMP1,T,TWELVE_CHARS,Давление\n"
             "(\\d{4}-\\d\\d-\\d\\dT[\\d:.]{12}(,-2.500,-300,65535,-70000,0,\\d+){3},-2.500,-300,65535,-70000\n){2}$",
             // -2.5 is C0 20 00 00; byte order 6 sends its bytes 2, 3, 0, 1.
             "~^out 01 10 00 08 00 02 04 00 00 00 01 33 C9 \nin 01 10 00 08 00 02 C0 0A \nДанные сохранены\n"
             "out 01 10 40 00 00 02 04 20 C0 00 00 C9 90 \nin [^\n]+\n(out 01 10 [^\n]+\nin [^\n]+\n){16}"
             "out 01 03 40 00 00 1E D0 02 \nin [^\n]+\n(out 01 10 [^\n]+\nin [^\n]+\n){2}out 01 03 40 1E 00 03 70 0D "
             "\nin [^\n]+\nout 01 03 40 00 00 1E D0 02 \nin [^\n]+\nout 01 03 40 1E 00 03 70 0D \nin [^\n]+\n"
             "requests: 4, errors: 0\n$"},
            {"device --flash $D/f --fail-requests 2,3,4:corrupt,5", 0, "", ""},
            // Five cycles attempted, two of them failed: exit 1.
            {"poll $D/m --port $P --cycles 5 --timeout 60 --set T=5", 1, "~^time,[^\n]+\n(\\S+,5,[^\n]+\n){3}$",
             "requests: 10, errors: 4\n"}}},
        {"poll refusals", {
            {"mkmap $D/m 0 0 1", 0, "", ""},
            {"mkmap $D/odd 0 6 6", 0, "", ""},
            {"put $D/bad hello", 0, "", ""},
            {"poll $D/m --port $D/tty --set NOPE=1", 2, "", "~no channel named NOPE\n"},
            {"poll $D/m --port $D/tty --set T=1.5", 2, "", "~T takes a whole number: 1.5\n"},
            {"poll $D/m --port $D/tty --set T", 2, "", "~--set needs NAME=VALUE: T\n"},
            {"poll $D/m --port $D/tty --cycles 0", 2, "", "~--cycles must be a whole number from 1 on: 0\n"},
            {"poll $D/odd --port $D/tty", 2, "", "~odd has no channel to poll\n"},
            {"poll $D/bad --port $D/tty", 2, "", "~bad: not well-formed XML"},
            {"poll --port $D/tty", 2, "", "~poll takes one FILE"}}},
        {"device command refusals", {
            {"mkmap $D/m 0 1", 0, "", ""},
            {"", 2, "", "~^Usage: zorvanctl COMMAND"},
            {"frob", 2, "", "~^zorvanctl: unknown command 'frob'\nUsage"},
            {"upload $D/none", 2, "", "~none: file not found"},
            {"raw read 1 126", 2, "", "~count out of range 1..125: 126"},
            {"raw read 65535 2", 2, "", "~the registers run past address 65535"},
            {"raw write 1 65536", 2, "", "~value out of range: 65536"},
            {"raw read 1 1 --port 0", 2, "", "~port number out of range 1..255: 0"},
            {"raw read 1 1 --port=", 2, "", "~empty port"},
            {"raw read 1 1 --baud 20", 2, "", "~bad rate: 20"},
            {"raw read 1 1 --address 0", 2, "", "~slave address out of range 1..255: 0"},
            {"raw read 1 1 --timeout x", 2, "", "~time-out out of range 0..600000: x"}}},
        {"map files", {
            {"map new $D/m", 0, "", ""},
            {"map add $D/m --channel 3 --type UInt --tag-index 0 --name T1", 0, "", ""},
            {"map add $D/m --channel 65535 --type 4 --tag-index 3 --name Давление --note \"в цехе\" --at 0", 0, "", ""},
            {"map options $D/m 5", 0, "", ""},
            {"cat $D/m", 0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                            "<config Application=\"Grelt Administrator\" Version=\"1\">\r\n  <Map>\r\n    <Item>\r\n"
                            "      <Channel>65535</Channel>\r\n      <ParamType>4</ParamType>\r\n"
                            "      <TagIndex>3</TagIndex>\r\n      <TagName>Давление</TagName>\r\n"
                            "      <Note>в цехе</Note>\r\n    </Item>\r\n    <Item>\r\n      <Channel>3</Channel>\r\n"
                            "      <ParamType>1</ParamType>\r\n      <TagIndex>0</TagIndex>\r\n"
                            "      <TagName>T1</TagName>\r\n      <Note/>\r\n    </Item>\r\n  </Map>\r\n"
                            "  <BaseAdr>16384</BaseAdr>\r\n  <Options>5</Options>\r\n</config>\r\n", ""},
            {"map show $D/m", 0, "BaseAdr\t16384\nOptions\t5\tw:01 - dw:0123\nChannels\t2\n"
                                 "Offset\tType\tChannel\tName\tNote\tTagIndex\n0\tFloat\t65536\tДавление\tв цехе\t3\n"
                                 "2\tUInt\t4\tT1\t\t0\n", ""},
            {"map new $D/m", 2, "", "~m exists; use --force"},
            {"map add $D/m --channel 1 --type Int --tag-index 0", 2, "", "~add needs --name"},
            {"map add $D/m --channel 1 --type Double --tag-index 0 --name x", 2, "", "~--type wants"},
            {"map add $D/m --channel 2147483648 --type Int --tag-index 0 --name x", 2, "", "~--channel wants"},
            {"map add $D/m --channel 1 --type Int --tag-index x --name x", 2, "", "~--tag-index wants"},
            {"map add $D/m --channel 1 --type Int --tag-index 0 --name x --at 3", 2, "", "~--at wants a position"},
            {"map add $D/m --colour red", 2, "", "~Unknown option 'colour'"},
            {"map options $D/m 4294967296", 2, "", "~options wants a number"},
            {"map drop $D/m", 2, "", "~unknown subcommand 'drop'"},
            {"map options $D/m 4294967295", 0, "", "zorvanctl map: note: option 4294967295 names no byte order\n"},
            {"map show $D/m", 0, "~^BaseAdr\t16384\nOptions\t4294967295\t\n", ""},
            {"map new $D/m --force", 0, "", ""},
            {"map show $D/m", 0, "~\nChannels\t0\n", ""},
            {"map new $D --force", 1, "", "~cannot save"},
            // A file its owner may not write is replaced only when forced.
            {"chmod 466 $D/m", 0, "", ""},
            {"map add $D/m --channel 1 --type Int --tag-index 0 --name x", 1, "", "~m is read-only; use --force"},
            {"map options $D/m 2", 1, "", "~m is read-only; use --force"},
            {"map options $D/m --force 2", 0, "", ""},
            {"map add $D/m --channel 1 --type Int --tag-index 0 --name x --force", 0, "", ""},
            {"map new $D/m --force", 0, "", ""},
            // A file that cannot be read is never taken for an empty map.
            {"map show $D/none", 2, "", "~none: file not found\n$"},
            {"map add $D/none --channel 1 --type Int --tag-index 0 --name x", 2, "", "~none: file not found"},
            {"map options $D/none 1", 2, "", "~none: file not found"}}},
        {"options", {
            {"options set Port 3", 0, "Port = 3 (COM3)\n", ""},
            {"options set Port 300", 2, "", "zorvanctl options: Port: 300 refused; allowed 1 to 255\n"},
            {"options set regDeviceAddress abc", 2, "", "~regDeviceAddress: 'abc' is not a number\n"},
            {"options set Nope 1", 2, "", "~no setting named 'Nope'\n"},
            {"options set viewtoolbar OFF", 0, "ViewToolBar = false\n", ""},
            {"options set ViewToolBar maybe", 2, "", "~ViewToolBar: 'maybe' is not true or false\n"},
            {"options set MainFrmLeft -5", 0, "MainFrmLeft = -5\n", ""},
            {"options set LastDocument \"/a b\\c.zorvan\"", 0, "LastDocument = \"/a b\\c.zorvan\"\n", ""},
            {"options", 0, "~\nViewToolBar +false +true +- [^\n]+\nMainFrmLeft +-5 +0 +none [^\n]+\\(hidden\\)\n.*"
                           "\nPort +3 \\(COM3\\) +1 \\(COM1\\) +1\\.\\.255 +Подключение +Номер COM-порта\n", ""},
            {"options reset", 0, "", ""},
            {"options", 0, "~\nPort +1 \\(COM1\\) +1 \\(COM1\\) ", ""}}},
        {"settings that cannot be written", {
            {"put $H/Belmat x", 0, "", ""},
            {"options set Port 4", 1, "", "~could not write"}}},
        });
        // clang-format on
    }
    void commands() {
        QFETCH(Scenario, c);
        runScenario(c, Catalogue);
    }
};

QTEST_GUILESS_MAIN(tst_Zorvanctl)
#include "tst_Zorvanctl.moc"
