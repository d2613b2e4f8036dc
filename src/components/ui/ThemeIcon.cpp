#include "components/ui/ThemeIcon.h"

#include <QDir>
#include <QFileInfo>

// A resource compiled into a static library is linked into a program only when something refers
// to it; this reference does, and it registers the resource once. It must stay outside any
// namespace.
static void registerZorvanIcons() {
    Q_INIT_RESOURCE(zorvan_icons);
}

namespace zorvan {

namespace {

const QString kIconFolder = QStringLiteral(":/icons");

void ensureRegistered() {
    static const bool registered = (registerZorvanIcons(), true);
    (void)registered;
}

QString resourcePath(const QString& nameOrResource) {
    if (nameOrResource.startsWith(u':'))
        return nameOrResource;
    return kIconFolder + u'/' + nameOrResource + QStringLiteral(".svg");
}

} // namespace

QIcon bundledIcon(const QString& nameOrResource) {
    if (nameOrResource.isEmpty())
        return QIcon();
    ensureRegistered();
    const QString path = resourcePath(nameOrResource);
    // QIcon of a missing file is not null, it only paints nothing: check first.
    if (!QFileInfo(path).isFile())
        return QIcon();
    return QIcon(path);
}

QIcon themeIcon(const QString& themeName) {
    return themeIcon(themeName, themeName);
}

QIcon themeIcon(const QString& themeName, const QString& fallbackResource) {
    const QIcon fallback = bundledIcon(fallbackResource);
    if (themeName.isEmpty())
        return fallback;
    return QIcon::fromTheme(themeName, fallback);
}

QIcon applicationIcon() {
    return themeIcon(QStringLiteral("zorvan"));
}

QStringList bundledIconNames() {
    ensureRegistered();
    QStringList names;
    const QStringList files =
        QDir(kIconFolder).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        names.append(file.chopped(4));
    return names;
}

} // namespace zorvan
