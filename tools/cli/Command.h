#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace zorvanctl {

// One subcommand of zorvanctl. Each Cmd*.cpp registers its own with a static Registration,
// so subcommands are added without touching main.cpp.
struct Command {
    QString name;
    QString summary; // one line for the command list
    QString usage;   // full help text of the subcommand
    // Gets the arguments after the subcommand's name; returns the process exit status.
    std::function<int(const QStringList& args)> run;
};

struct Registration {
    explicit Registration(Command command);
};

const QList<Command>& commands();

// Standard output and error as UTF-8 text, control characters escaped (PrintableText).
void out(const QString& text);
void err(const QString& text);

} // namespace zorvanctl
