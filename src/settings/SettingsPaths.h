#pragma once

#include <QString>

namespace zorvan {

// $XDG_CONFIG_HOME/Belmat/Quillmark (~/.config/... when the variable is unset or empty).
// The settings of key path Software\<Firm>\<App>\<Index>\<Key> live below it in
// <Index>/<Key>.reg, and serial port links in ports/COMn.
// $XDG_CONFIG_HOME, or ~/.config when the variable is unset or empty.
QString configFolder();
QString firmFolder(const QString& firm = QStringLiteral("Belmat"));
QString applicationFolder(const QString& firm = QStringLiteral("Belmat"),
                          const QString& application = QStringLiteral("Quillmark"));
QString portsFolder();

} // namespace zorvan
