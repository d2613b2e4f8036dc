#pragma once

// Writes the serializer's Root as an options document. Used by the serializer's own files only.

#include "components/XMLOptionsSerializer.h"

#include <QByteArray>

namespace zorvan::xmlstore {

// The document for a serializer with a Root: indented with CR LF line ends when NodeAutoIndent
// is on, the Application and Version attributes when UseVersionControl is on.
QByteArray writeOptionsDocument(const TXMLOptionsSerializer& serializer);

} // namespace zorvan::xmlstore
