#pragma once

// Reads an options document into the serializer's Root. Used by the serializer's own files only.

#include "components/XMLOptionsSerializer.h"

class QIODevice;

namespace zorvan::xmlstore {

TXMLReadError readFailure(TXMLReadStatus status, const QString& detail = {}, int line = 0,
                          int column = 0);

// Streams source, open for reading, straight into serializer.Root (already reset), after
// checking the root element against RootNodeName, ApplicationName and the Version attribute
// when UseVersionControl is on; Version is taken over from the file as soon as it is read.
// No tree is built: time is linear in the file and memory adds a few chunks to the model.
// Returns the first failure, or rsOk; a file that is not well-formed, or beyond one of the
// limits, reports that rather than what its content broke first.
// Errors other than the file's (out of memory, a throwing property) are thrown.
TXMLReadError readOptionsDocument(QIODevice& source, TXMLOptionsSerializer& serializer);

} // namespace zorvan::xmlstore
