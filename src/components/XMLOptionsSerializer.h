#pragma once

#include "components/XMLClass.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QIODevice;

namespace zorvan {

// Why the last Load ended early. Load itself reports nothing (a file that does not fit opens
// as the reset root object); callers that want to tell the user read this.
enum class TXMLReadStatus {
    rsOk,                 // read completely
    rsNoRoot,             // no Root object set: nothing was done
    rsFileMissing,        // no file of that name
    rsFileUnreadable,     // the file exists but could not be opened or read
    rsParseError,         // not well-formed XML (Line and Column set)
    rsForeignRoot,        // the document element is not RootNodeName
    rsForeignApplication, // the Application attribute is missing or not ApplicationName
    rsBadVersion,         // the Version attribute is missing or not a number
    rsBadValue,           // an element's text does not fit its property (Element set)
    rsDocumentType,       // a document type declaration that defines something, refused unread
    rsTooLarge,           // the file is larger than MaxDocumentBytes, refused unread
    rsTooDeep,            // elements nested deeper than MaxDocumentDepth (Line and Column set)
    rsTooManyAttributes,  // an element with more than MaxElementAttributes attributes
};

// What a document may hold at most; a file beyond one of them is refused with its own status,
// in time and memory linear in what was read before. The channel map needs 4 levels and 2
// attributes.
constexpr qint64 MaxDocumentBytes = 64 * 1024 * 1024;
constexpr int MaxDocumentDepth = 32;
constexpr int MaxElementAttributes = 32;

struct TXMLReadError {
    TXMLReadStatus Status = TXMLReadStatus::rsOk;
    QString Element; // path of the offending element, e.g. "config/Map/Item[2]/Channel"
    QString Text;    // the offending text, or the parser's message
    int Line = 0;    // 1-based position in the file when known, else 0
    int Column = 0;
    // One line in English naming the reason; empty for rsOk. Line breaks and other control
    // characters of the file's texts are shown as spaces.
    QString Describe() const;
};

// Stores a TXMLClass graph in an XML file: one element per published property, one element
// named ItemNodeCaption per list item. Load and Save never throw and report nothing.
class TXMLOptionsSerializer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool NodeAutoIndent MEMBER NodeAutoIndent)
    Q_PROPERTY(bool UseVersionControl MEMBER UseVersionControl)
    Q_PROPERTY(QString ApplicationName MEMBER ApplicationName)
    Q_PROPERTY(QString RootNodeName MEMBER RootNodeName)
    Q_PROPERTY(QString XMLFilePath MEMBER XMLFilePath)
    Q_PROPERTY(quint8 Version MEMBER Version)
    Q_PROPERTY(QString ItemNodeCaption MEMBER ItemNodeCaption)
public:
    explicit TXMLOptionsSerializer(QObject* parent = nullptr) : QObject(parent) {}

    bool NodeAutoIndent = true;    // indented, one element per line, CR LF line ends
    bool UseVersionControl = true; // Application and Version attributes written and checked
    QString ApplicationName;
    QString RootNodeName = QStringLiteral("config");
    QString XMLFilePath;
    quint8 Version = 1; // taken over from every file read with version control on
    QString ItemNodeCaption = QStringLiteral("Item");
    // Save replaces a file that its permission bits protect from the user only when set.
    bool ReplaceReadOnly = false;
    // Fired after a successful read.
    std::function<void(TXMLOptionsSerializer& sender)> OnAfterLoad;

    // The object that Save writes and Load fills; not owned.
    TXMLClass* Root = nullptr;

    // Resets Root, then fills it from XMLFilePath. A file that does not fit leaves Root reset.
    // Returns true when the file was read completely; LastReadError tells why not.
    bool Load();
    // Writes Root to XMLFilePath through a temporary file in the same folder that replaces
    // the old file only once it is complete and on disk. On failure the old file is left
    // byte-identical and no temporary file remains. Returns false on failure (LastSaveError),
    // and refuses a write-protected file unless ReplaceReadOnly.
    bool Save();

    // The same, on bytes instead of a file.
    bool LoadFromData(const QByteArray& data);
    QByteArray SaveToData() const;

    const TXMLReadError& LastReadError() const { return m_lastReadError; }
    const QString& LastSaveError() const { return m_lastSaveError; }

    // Clear of the object, then of every object held by its object-valued properties.
    static void ResetObject(TXMLClass* object);

private:
    bool Fail(TXMLReadError error);
    bool ReadDocument(QIODevice& source);

    TXMLReadError m_lastReadError;
    QString m_lastSaveError;
};

} // namespace zorvan
