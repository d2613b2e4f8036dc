#include "execution/CsvRecorder.h"

#include "comm/ModbusParameter.h"
#include "document/ChannelMapText.h"
#include "execution/ValueText.h"

#include <QStringList>

namespace zorvan {

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvHeader(const std::vector<TModbusParameter*>& parameters) {
    QStringList header{QStringLiteral("time")};
    for (const TModbusParameter* parameter : parameters)
        header << CsvField(TagNameText(parameter->Description()));
    return header.join(QLatin1Char(','));
}

QString CsvValues(const std::vector<TModbusParameter*>& parameters, const QDateTime& time) {
    QStringList line{time.toString(Qt::ISODateWithMs)};
    for (const TModbusParameter* parameter : parameters)
        line << CsvField(ValueText(*parameter));
    return line.join(QLatin1Char(','));
}

bool TCsvRecorder::Open(const QString& path, const std::vector<TModbusParameter*>& parameters) {
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = m_file.errorString();
        return false;
    }
    return writeLine(CsvHeader(parameters));
}

bool TCsvRecorder::Record(const std::vector<TModbusParameter*>& parameters) {
    return writeLine(CsvValues(parameters, QDateTime::currentDateTime()));
}

bool TCsvRecorder::writeLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_file.write(bytes) == bytes.size() && m_file.flush())
        return true;
    m_error = m_file.errorString();
    m_file.close();
    return false;
}

} // namespace zorvan
