#pragma once

namespace zorvan {
class TModbusMapExecDlg;
} // namespace zorvan

namespace zorvan::bench {

// Has every space of the window's run read once, from a device that answers every read with
// registers of 0 at once: a row never read shows no value and gets no chart points, so a
// benchmark that then sets values itself measures rows as polling leaves them. The spaces keep
// no transport afterwards.
void readEverySpaceOnce(TModbusMapExecDlg& dlg);

} // namespace zorvan::bench
