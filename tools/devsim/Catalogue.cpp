#include "Catalogue.h"

#include "Windows1251.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace zorvan::devsim {

int registerCount(std::uint16_t type) {
    switch (type) {
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

Tag makeTag(std::uint16_t channel, std::uint16_t type, const QString& name, QString* error) {
    Tag tag;
    tag.channel = channel;
    tag.type = type;
    error->clear();
    const auto bytes = toWindows1251(name);
    if (!bytes) {
        *error = QStringLiteral("name \"%1\" has a character outside Windows-1251").arg(name);
        return tag;
    }
    if (bytes->size() > qsizetype(tag.name.size())) {
        *error = QStringLiteral("name \"%1\" is longer than 12 bytes").arg(name);
        return tag;
    }
    for (qsizetype i = 0; i < bytes->size(); ++i) {
        tag.name[i] = static_cast<std::uint8_t>(bytes->at(i));
    }
    return tag;
}

QString tagNameText(const Tag& tag) {
    return fromWindows1251(
        QByteArray(reinterpret_cast<const char*>(tag.name.data()), qsizetype(tag.name.size())));
}

Catalogue builtInCatalogue() {
    struct Entry {
        std::uint16_t channel;
        std::uint16_t type;
        const char16_t* name;
    };
    // A small plant: temperatures and pressures as floats, counters as 32-bit values, states
    // and set points as 16-bit ones. Several names fill all 12 bytes, most are shorter.
    static const Entry entries[] = {
        {0, 4, u"TEMP1"},         {1, 4, u"TEMP2"},        {2, 4, u"PRESSURE_IN"},
        {3, 4, u"PRESSURE_OUT"},  {4, 4, u"FLOW"},         {5, 0, u"DELTA_T"},
        {6, 0, u"OFFSET"},        {7, 1, u"STATE"},        {8, 1, u"MODE"},
        {9, 1, u"SETPOINT"},      {10, 2, u"ENERGY"},      {11, 2, u"BALANCE"},
        {12, 3, u"PULSES"},       {13, 3, u"RUN_SECONDS"}, {14, 3, u"SERIAL_NO"},
        {15, 4, u"LEVEL"},        {16, 0, u"TRIM"},        {17, 1, u"ALARMS"},
        {18, 2, u"POSITION"},     {19, 4, u"VOLTAGE"},     {20, 4, u"CURRENT"},
        {21, 4, u"POWER_FACTOR"}, {22, 1, u"VALVE"},       {23, 3, u"UPTIME"},
        {24, 4, u"Давление"},     {25, 4, u"Температура"}, {26, 3, u"Счётчик"},
        {27, 0, u"Уровень"},      {28, 1, u"Режим"},       {29, 2, u"Ток"},
    };
    Catalogue catalogue;
    for (const auto& entry : entries) {
        QString error;
        catalogue.push_back(
            makeTag(entry.channel, entry.type, QString::fromUtf16(entry.name), &error));
        Q_ASSERT(error.isEmpty());
    }
    return catalogue;
}

Catalogue loadCatalogue(const QString& path, QString* error) {
    error->clear();
    // A device node or a FIFO would never end (or never start): only a regular file is read,
    // and no more of it than a catalogue can use.
    constexpr qint64 maxBytes = 16 * 1024 * 1024;
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("cannot read catalogue %1: not a regular file").arg(path);
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read catalogue %1: %2").arg(path, file.errorString());
        return {};
    }
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        *error = QStringLiteral("cannot read catalogue %1: larger than 16 MiB").arg(path);
        return {};
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QLatin1Char('\n'));
    static const QRegularExpression fields(QStringLiteral("^(\\S+)\\s+(\\S+)\\s+(.+)$"));
    Catalogue catalogue;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0) {
            line.truncate(hash);
        }
        line = line.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const auto where = [&](const QString& what) {
            return QStringLiteral("%1:%2: %3").arg(path).arg(i + 1).arg(what);
        };
        const auto match = fields.match(line);
        if (!match.hasMatch()) {
            *error = where(QStringLiteral("expected \"channel type name\""));
            return {};
        }
        bool channelOk = false;
        bool typeOk = false;
        const uint channel = match.captured(1).toUInt(&channelOk);
        const uint type = match.captured(2).toUInt(&typeOk);
        if (!channelOk || channel > 0xFFFF) {
            *error = where(QStringLiteral("channel must be a number from 0 to 65535"));
            return {};
        }
        if (!typeOk || type > 0xFFFF) {
            *error = where(QStringLiteral("type must be a number from 0 to 65535"));
            return {};
        }
        if (catalogue.size() >= 0xFFFF) {
            *error = where(QStringLiteral("more tags than a 16-bit tag index can address"));
            return {};
        }
        QString nameError;
        catalogue.push_back(
            makeTag(std::uint16_t(channel), std::uint16_t(type), match.captured(3), &nameError));
        if (!nameError.isEmpty()) {
            *error = where(nameError);
            return {};
        }
    }
    return catalogue;
}

} // namespace zorvan::devsim
