#pragma once

#include <QString>

namespace zorvan {

// Where the program keeps its configuration, below $XDG_CONFIG_HOME (~/.config when the variable
// is unset or empty): the settings store under <config>/Belmat/Quillmark/<Index>/<Key>.reg and
// the serial port links in <config>/Belmat/Quillmark/ports/COMn.
QString configFolder();
QString firmFolder(const QString& firm = QStringLiteral("Belmat"));
QString applicationFolder(const QString& firm = QStringLiteral("Belmat"),
                          const QString& application = QStringLiteral("Quillmark"));
QString portsFolder();

} // namespace zorvan
