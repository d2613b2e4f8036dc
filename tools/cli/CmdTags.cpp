// zorvanctl tags: reads the device's tag catalogue with the program's own tag-list command.

#include "Command.h"
#include "DeviceLink.h"

#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "document/ChannelMapText.h"

namespace {

using namespace zorvan;
using namespace zorvanctl;

QString usage() {
    return QStringLiteral(
               "Usage: zorvanctl tags [options]\n"
               "\n"
               "Reads the device's tag catalogue and prints it as the editor's Tags list shows\n"
               "it, one tab-separated row per tag: #, Channel, Type, Name. # is the 1-based row\n"
               "(the tag index that 'zorvanctl map add --tag-index' takes is # - 1); Channel is\n"
               "the device's channel number plus one; a type code without a name is shown as\n"
               "its number; Name stops at the first zero byte. After a failed read the tags\n"
               "read so far are printed.\n") +
           deviceCommandHelp();
}

// One table field: the name's visible part, kept on one line.
QString field(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

int run(const QStringList& args) {
    DeviceLink link(QStringLiteral("tags"));
    QCommandLineParser parser;
    if (!link.configure(parser, args))
        return exitUsage;
    if (!parser.positionalArguments().isEmpty())
        return link.usageError(QStringLiteral("tags takes no arguments"));

    TUpdateTagListCmd command(&link.Conn());
    const bool ok = command.Execute();
    const TTagList& list = *command.TagList();
    QString text = QStringLiteral("#\tChannel\tType\tName\n");
    for (int i = 0; i < list.Count(); ++i) {
        const TTagListItem& tag = *list[i];
        const QString type = ParamTypeText(int(tag.DataType));
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(i + 1)
                    .arg(qint64(tag.Channel) + 1)
                    .arg(type.isEmpty() ? QString::number(tag.DataType) : type,
                         field(TagNameText(tag.TagName)));
    }
    out(text);
    return ok ? exitDone : link.noCommunication();
}

static Registration reg({"tags", "read the device's tag catalogue", usage(), run});

} // namespace
