#include "Command.h"

#include "components/PrintableText.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace zorvanctl {

namespace {
QList<Command>& registry() {
    static QList<Command> list;
    return list;
}

void write(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int usage(FILE* stream) {
    write(stream, "Usage: zorvanctl COMMAND [ARGS...]\n"
                  "Command-line companion of Zorvan, the Modbus RTU map tool.\n\nCommands:\n");
    auto list = registry();
    std::sort(list.begin(), list.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const auto& c : list)
        write(stream, QString("  %1%2\n").arg(c.name, -10).arg(c.summary));
    write(stream, "\nRun 'zorvanctl COMMAND --help' for the options of a command.\n");
    return stream == stdout ? 0 : 2;
}
} // namespace

Registration::Registration(Command command) {
    registry().append(std::move(command));
}

const QList<Command>& commands() {
    return registry();
}

// Names come from the device and from files: nothing they hold may steer the terminal.
void out(const QString& text) {
    write(stdout, zorvan::PrintableText(text));
    std::fflush(stdout);
}

void err(const QString& text) {
    write(stderr, zorvan::PrintableText(text));
}

} // namespace zorvanctl

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("zorvanctl");
    using namespace zorvanctl;
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage(stderr);
    const QString name = args.takeFirst();
    if (name == "--help" || name == "-h" || name == "help")
        return usage(stdout);
    for (const auto& c : commands()) {
        if (c.name != name)
            continue;
        if (args.contains("--help") || args.contains("-h")) {
            out(c.usage);
            return 0;
        }
        return c.run(args);
    }
    err(QString("zorvanctl: unknown command '%1'\n").arg(name));
    return usage(stderr);
}
