// Any bytes as the file given to `zorvanctl map show`: what it prints is either the one-line
// reason the read ended or the map's report, whose rows read back as the map's own values
// whatever the names and notes hold.

#include "FuzzCheck.h"

#include "components/XMLOptionsSerializer.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QStringList>
#include <cstddef>
#include <cstdint>

namespace {

using namespace zorvan;

bool oneLine(const QString& text) {
    return !text.contains(u'\n') && !text.contains(u'\r');
}

// The registers a type code takes, and its text, as the file format defines them.
int registersOf(int code) {
    return code == 0 || code == 1 ? 1 : code >= 2 && code <= 4 ? 2 : 0;
}

QString typeOf(int code) {
    static const char* const names[] = {"Int", "UInt", "Long", "ULong", "Float"};
    return code >= 0 && code <= 4 ? QString::fromLatin1(names[code]) : QString();
}

// A name or note as a row shows it: up to the first zero character for names, tabs and line
// breaks as spaces.
QString shown(QString text, bool cutAtZero) {
    if (cutAtZero && text.contains(QChar(0)))
        text.truncate(text.indexOf(QChar(0)));
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TChannelImage image;
    TXMLOptionsSerializer serializer;
    ConfigureDocumentSerializer(serializer);
    serializer.Root = &image;
    if (!serializer.LoadFromData(bytes)) {
        const QString why = serializer.LastReadError().Describe();
        FUZZ_CHECK(!why.isEmpty());
        FUZZ_CHECK(oneLine(why));
        return 0;
    }

    const QString report = ChannelMapReport(image);
    FUZZ_CHECK(report.endsWith(u'\n'));
    QStringList lines = report.split(u'\n');
    lines.removeLast();
    const TChannelList& map = *image.Map();
    FUZZ_CHECK(lines.size() == 4 + map.Count());
    FUZZ_CHECK(lines[0] == QStringLiteral("BaseAdr\t%1").arg(image.BaseAdr));
    const QStringList options = lines[1].split(u'\t');
    FUZZ_CHECK(options.size() == 3 && options[0] == u"Options" &&
               options[1] == QString::number(image.Options));
    FUZZ_CHECK(options[2].isEmpty() == (image.Options > 7));
    FUZZ_CHECK(lines[2] == QStringLiteral("Channels\t%1").arg(map.Count()));
    FUZZ_CHECK(lines[3] == QStringLiteral("Offset\tType\tChannel\tName\tNote\tTagIndex"));
    quint16 offset = 0;
    for (int i = 0; i < map.Count(); ++i) {
        const TChannelItem& c = *map.Items(i);
        const QStringList row = lines[4 + i].split(u'\t');
        FUZZ_CHECK(row.size() == 6);
        FUZZ_CHECK(row[0] == QString::number(offset));
        FUZZ_CHECK(row[1] == typeOf(c.ParamType));
        FUZZ_CHECK(row[2] == QString::number(qint64(c.Channel) + 1));
        FUZZ_CHECK(row[3] == shown(c.TagName, true));
        FUZZ_CHECK(row[4] == shown(c.Note, false));
        FUZZ_CHECK(row[5] == QString::number(c.TagIndex));
        offset = static_cast<quint16>(offset + registersOf(c.ParamType));
    }
    return 0;
}
