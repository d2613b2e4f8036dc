#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <vector>

namespace zorvan {

class TModbusParameter;

// The CSV of a run's values, shared by `zorvanctl poll` and the execution window's recording:
// a header of "time" and the channel names, then one line per complete cycle of the local time
// (ISO 8601 with milliseconds) and the values as the list shows them. Lines come without their
// line break.

// One CSV field: quoted when it holds a separator, a quote or a line break.
QString CsvField(const QString& text);
QString CsvHeader(const std::vector<TModbusParameter*>& parameters);
QString CsvValues(const std::vector<TModbusParameter*>& parameters, const QDateTime& time);

// Writes the CSV to a file, each line flushed as it is written, so that a crash loses at most
// the line being written.
class TCsvRecorder {
public:
    // Creates or truncates the file and writes the header; false when that failed.
    bool Open(const QString& path, const std::vector<TModbusParameter*>& parameters);
    // Writes the values of now; false, closing the file, when the write failed.
    bool Record(const std::vector<TModbusParameter*>& parameters);
    void Close() { m_file.close(); }
    bool IsOpen() const { return m_file.isOpen(); }
    QString FileName() const { return m_file.fileName(); }
    // Why the last Open or Record failed.
    QString ErrorText() const { return m_error; }

private:
    bool writeLine(const QString& line);

    QFile m_file;
    QString m_error;
};

} // namespace zorvan
