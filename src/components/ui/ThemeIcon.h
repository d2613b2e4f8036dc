#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace zorvan {

// Icons for actions, pages and rows. The desktop's icon theme wins wherever it has the name, so
// the program looks native; drawings bundled in the program (":/icons/<name>.svg") stand in
// where it has not (bare window managers, offscreen runs, themes without that icon).

// The bundled drawing of that name (or of that resource path, when it starts with ':');
// a null icon when nothing of that name is bundled.
QIcon bundledIcon(const QString& nameOrResource);

// The theme's icon of that freedesktop name, else the bundled drawing of the same name. Themes
// shorten a name at its last dash before giving up ("document-save-as" may come back as the
// theme's "document-save"), so names that are only ours, such as the value kinds below, must go
// through bundledIcon(): as theme names they would find the installed "zorvan" icon.
QIcon themeIcon(const QString& themeName);

// The theme's icon of that name, else the bundled drawing `fallbackResource` (a bundled name such
// as "go-up" or a resource path such as ":/icons/go-up.svg").
QIcon themeIcon(const QString& themeName, const QString& fallbackResource);

// The program's own icon ("zorvan", as installed into the hicolor theme), else the bundled copy.
QIcon applicationIcon();

// Every bundled name, sorted.
QStringList bundledIconNames();

// Bundled names of the three row images of the value kinds, in the order of their row icon
// index: 16-bit integers, 32-bit integers, floating point.
inline constexpr const char* kValueKindIconNames[3] = {"zorvan-value-16bit", "zorvan-value-32bit",
                                                       "zorvan-value-float"};

} // namespace zorvan
