#pragma once

#include "components/ModelDocumentView.h"
#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"

#include <memory>

namespace zorvan {

// The document data module: owns the one channel map of the program and connects it to the
// document framework (Link) and to the file format (Serializer). Exactly one instance lives
// at a time, reached through CurrentImage() and MarkModified().
class TDm {
public:
    // DataModuleCreate: a new, empty, untitled document that has no unsaved changes.
    TDm();
    // The link goes first (it may still clear the content of an active document), then the
    // image.
    ~TDm();
    TDm(const TDm&) = delete;
    TDm& operator=(const TDm&) = delete;

    TChannelImage* Image() const { return m_image.get(); }

    // Handlers of the module.
    void LinkDeleteContent(TMDVDocumentLink& sender);
    // Reads or writes aInfo->FileName. A write that fails throws std::runtime_error, so that
    // the document agent keeps the document modified (and shows nothing).
    void LinkSerialize(PSerializeInfo aInfo);

private:
    void DataModuleCreate();

    // Declared before Link so that it is destroyed after it.
    std::unique_ptr<TChannelImage> m_image;

public:
    TXMLOptionsSerializer Serializer;
    TMDVDocumentLink Link;
};

// The document file's settings: "Grelt Administrator", root "config", items "Item", indented,
// with version control. Anything that reads or writes channel map files uses these.
void ConfigureDocumentSerializer(TXMLOptionsSerializer& serializer);

// The running program's data module, or nullptr outside its lifetime.
TDm* Dm();
// Dm's channel map, or nullptr when there is no Dm.
TChannelImage* CurrentImage();
// Marks the current document changed (Dm.Link.SetModified); nothing without a Dm.
void MarkModified();

} // namespace zorvan
