#pragma once

// Reads an options document into the serializer's Root. Used by the serializer's own files only.

#include "components/XMLOptionsSerializer.h"

#include <QByteArray>

namespace zorvan::xmlstore {

TXMLReadError readFailure(TXMLReadStatus status, const QString& detail = {}, int line = 0,
                          int column = 0);

// Fills serializer.Root (already reset) from data, after checking the root element against
// RootNodeName, ApplicationName and the Version attribute when UseVersionControl is on; Version
// is taken over from the file as soon as it is read. Returns the first failure, or rsOk.
// Errors other than the file's (out of memory, a throwing property) are thrown.
TXMLReadError readOptionsDocument(const QByteArray& data, TXMLOptionsSerializer& serializer);

} // namespace zorvan::xmlstore
