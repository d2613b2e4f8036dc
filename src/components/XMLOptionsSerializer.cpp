#include "components/XMLOptionsSerializer.h"

#include "components/AtomicFile.h"
#include "components/XMLOptionsReader.h"
#include "components/XMLOptionsWriter.h"
#include "components/XMLPropertyText.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <exception>
#include <new>

namespace zorvan {

using namespace xmlstore;

namespace {

// A text of the file as part of a one-line message: line breaks and other control characters
// (C0, DEL, C1, the Unicode line and paragraph separators) become spaces, so that neither the
// line nor a terminal showing it can be taken over by the file.
QString oneLine(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return text;
}

// What a load or save that ended in an exception reports.
QString exceptionText(const std::exception_ptr& exception) {
    try {
        std::rethrow_exception(exception);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("out of memory");
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QStringLiteral("unexpected error");
}

} // namespace

QString TXMLReadError::Describe() const {
    const QString at =
        Line > 0 ? QStringLiteral(" at line %1, column %2").arg(Line).arg(Column) : QString();
    const QString text = oneLine(Text);
    const QString element = oneLine(Element);
    switch (Status) {
    case TXMLReadStatus::rsOk:
        return {};
    case TXMLReadStatus::rsNoRoot:
        return QStringLiteral("nothing to read into");
    case TXMLReadStatus::rsFileMissing:
        return QStringLiteral("file not found");
    case TXMLReadStatus::rsFileUnreadable:
        return QStringLiteral("cannot read the file: %1").arg(text);
    case TXMLReadStatus::rsParseError:
        return QStringLiteral("not well-formed XML%1: %2").arg(at, text);
    case TXMLReadStatus::rsForeignRoot:
        return QStringLiteral("root element is <%1>, not a channel map").arg(text);
    case TXMLReadStatus::rsForeignApplication:
        return Text.isNull() ? QStringLiteral("no Application attribute on the root element")
                             : QStringLiteral("written by another application (\"%1\")").arg(text);
    case TXMLReadStatus::rsBadVersion:
        return Text.isNull() ? QStringLiteral("no Version attribute on the root element")
                             : QStringLiteral("bad Version attribute \"%1\"").arg(text);
    case TXMLReadStatus::rsBadValue:
        return QStringLiteral("bad value \"%1\" in %2%3").arg(text, element, at);
    case TXMLReadStatus::rsDocumentType:
        return QStringLiteral("document type declaration%1 not accepted").arg(at);
    case TXMLReadStatus::rsTooLarge:
        return QStringLiteral("file larger than %1 MiB").arg(MaxDocumentBytes / (1024 * 1024));
    case TXMLReadStatus::rsTooDeep:
        return QStringLiteral("elements nested deeper than %1 levels%2")
            .arg(MaxDocumentDepth)
            .arg(at);
    case TXMLReadStatus::rsTooManyAttributes:
        return QStringLiteral("more than %1 attributes on one element%2")
            .arg(MaxElementAttributes)
            .arg(at);
    }
    return {};
}

void TXMLOptionsSerializer::ResetObject(TXMLClass* object) {
    if (!object)
        return;
    object->Clear();
    PropertyCache cache;
    for (const Property& p : cache.of(object->metaObject()))
        if (p.kind == Kind::Object)
            ResetObject(heldObject(object, p.meta));
}

bool TXMLOptionsSerializer::Fail(TXMLReadError error) {
    m_lastReadError = std::move(error);
    try {
        ResetObject(Root);
    } catch (...) {
        // Load never raises; a Clear that throws leaves what it left.
    }
    return false;
}

bool TXMLOptionsSerializer::Load() {
    m_lastReadError = {};
    if (!Root)
        return Fail(readFailure(TXMLReadStatus::rsNoRoot));
    try {
        ResetObject(Root);
        const QFileInfo info(XMLFilePath);
        if (XMLFilePath.isEmpty() || !info.exists())
            return Fail(readFailure(TXMLReadStatus::rsFileMissing));
        // Devices and pipes could feed the reader without end.
        if (!info.isFile())
            return Fail(readFailure(TXMLReadStatus::rsFileUnreadable,
                                    QStringLiteral("not a regular file")));
        QFile file(XMLFilePath);
        if (!file.open(QIODevice::ReadOnly))
            return Fail(readFailure(TXMLReadStatus::rsFileUnreadable, file.errorString()));
        return ReadDocument(file);
    } catch (...) {
        return Fail(
            readFailure(TXMLReadStatus::rsFileUnreadable, exceptionText(std::current_exception())));
    }
}

bool TXMLOptionsSerializer::LoadFromData(const QByteArray& data) {
    m_lastReadError = {};
    if (!Root)
        return Fail(readFailure(TXMLReadStatus::rsNoRoot));
    try {
        ResetObject(Root);
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        return ReadDocument(buffer);
    } catch (...) {
        return Fail(
            readFailure(TXMLReadStatus::rsFileUnreadable, exceptionText(std::current_exception())));
    }
}

bool TXMLOptionsSerializer::ReadDocument(QIODevice& source) {
    TXMLReadError error = readOptionsDocument(source, *this);
    if (error.Status != TXMLReadStatus::rsOk)
        return Fail(std::move(error));
    if (OnAfterLoad)
        OnAfterLoad(*this);
    return true;
}

QByteArray TXMLOptionsSerializer::SaveToData() const {
    if (!Root)
        return {};
    return writeOptionsDocument(*this);
}

bool TXMLOptionsSerializer::Save() {
    m_lastSaveError.clear();
    if (!Root) {
        m_lastSaveError = QStringLiteral("nothing to write");
        return false;
    }
    // Like an editor: a file the user made read-only is not replaced behind his back.
    if (!ReplaceReadOnly && isWriteProtected(XMLFilePath)) {
        m_lastSaveError = QStringLiteral("the file is read-only");
        return false;
    }
    try {
        const QByteArray data = SaveToData();
        return writeFileAtomically(XMLFilePath, data, &m_lastSaveError);
    } catch (...) {
        m_lastSaveError = exceptionText(std::current_exception());
        return false;
    }
}

} // namespace zorvan
