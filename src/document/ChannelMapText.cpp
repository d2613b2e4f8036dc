#include "document/ChannelMapText.h"

#include "document/CnlImage.h"

namespace zorvan {

namespace {
// One field of a tab-separated row: tabs and line breaks would split it.
QString field(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

const QStringList& typeTexts() {
    static const QStringList texts{QStringLiteral("Int"), QStringLiteral("UInt"),
                                   QStringLiteral("Long"), QStringLiteral("ULong"),
                                   QStringLiteral("Float")};
    return texts;
}
} // namespace

QString ParamTypeText(int code) {
    return code >= 0 && code < typeTexts().size() ? typeTexts().at(code) : QString();
}

int ParamTypeRegisters(int code) {
    switch (code) {
    case 0:
    case 1:
        return 1;
    case 2:
    case 3:
    case 4:
        return 2;
    default:
        return 0;
    }
}

std::optional<int> ParamTypeFromText(const QString& text) {
    for (int code = 0; code < typeTexts().size(); ++code)
        if (text.compare(typeTexts().at(code), Qt::CaseInsensitive) == 0)
            return code;
    bool ok = false;
    const int code = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return code;
}

const QStringList& ByteOrderLabels() {
    static const QStringList labels{
        QStringLiteral("w:10 - dw:3210"), QStringLiteral("w:10 - dw:0123"),
        QStringLiteral("w:10 - dw:1032"), QStringLiteral("w:10 - dw:2301"),
        QStringLiteral("w:01 - dw:3210"), QStringLiteral("w:01 - dw:0123"),
        QStringLiteral("w:01 - dw:1032"), QStringLiteral("w:01 - dw:2301")};
    return labels;
}

QString ByteOrderLabel(quint32 options) {
    return options < static_cast<quint32>(ByteOrderLabels().size())
               ? ByteOrderLabels().at(static_cast<qsizetype>(options))
               : QString();
}

std::vector<quint16> ChannelOffsets(const TChannelList& map) {
    std::vector<quint16> offsets;
    offsets.reserve(static_cast<size_t>(map.Count()));
    quint16 counter = 0;
    for (int i = 0; i < map.Count(); ++i) {
        offsets.push_back(counter);
        counter = static_cast<quint16>(counter + ParamTypeRegisters(map.Items(i)->ParamType));
    }
    return offsets;
}

QString ChannelNumberText(int channel) {
    return QString::number(static_cast<qint64>(channel) + 1);
}

QString TagNameText(const QString& tagName) {
    const qsizetype end = tagName.indexOf(QChar(0));
    return end < 0 ? tagName : tagName.left(end);
}

QString ChannelMapReport(const TChannelImage& image) {
    QString text;
    text += QStringLiteral("BaseAdr\t%1\n").arg(image.BaseAdr);
    text +=
        QStringLiteral("Options\t%1\t%2\n").arg(image.Options).arg(ByteOrderLabel(image.Options));
    text += QStringLiteral("Channels\t%1\n").arg(image.Map()->Count());
    text += QStringLiteral("Offset\tType\tChannel\tName\tNote\tTagIndex\n");
    const std::vector<quint16> offsets = ChannelOffsets(*image.Map());
    for (int i = 0; i < image.Map()->Count(); ++i) {
        const TChannelItem* c = image.Map()->Items(i);
        // One substitution for the whole row: a later arg() would also replace a "%1" that a
        // name or a note brought in.
        text +=
            QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                .arg(QString::number(offsets[static_cast<size_t>(i)]), ParamTypeText(c->ParamType),
                     ChannelNumberText(c->Channel), field(TagNameText(c->TagName)), field(c->Note),
                     QString::number(c->TagIndex));
    }
    return text;
}

} // namespace zorvan
