#include "components/ConfigPaths.h"

#include <QDir>

namespace zorvan {

namespace {
QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty())
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}
} // namespace

QString configFolder() {
    return configHome();
}

QString firmFolder(const QString& firm) {
    return configHome() + QLatin1Char('/') + firm;
}

QString applicationFolder(const QString& firm, const QString& application) {
    return firmFolder(firm) + QLatin1Char('/') + application;
}

QString portsFolder() {
    return applicationFolder() + QStringLiteral("/ports");
}

} // namespace zorvan
