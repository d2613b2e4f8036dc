#include "document/Document.h"

#include <stdexcept>

namespace zorvan {

namespace {
TDm* instance = nullptr;
} // namespace

TDm::TDm() {
    Link.OnDeleteContent = [this](TMDVDocumentLink& sender) { LinkDeleteContent(sender); };
    Link.OnSerialize = [this](PSerializeInfo aInfo) { LinkSerialize(aInfo); };
    ConfigureDocumentSerializer(Serializer);
    DataModuleCreate();
    if (!instance)
        instance = this;
}

TDm::~TDm() {
    if (instance == this)
        instance = nullptr;
    // Members go in reverse order: Link (firing OnDeleteContent for an active document while
    // Image still exists), Serializer, then Image.
}

void TDm::DataModuleCreate() {
    m_image = std::make_unique<TChannelImage>();
    Link.NewDocument();
    Serializer.Root = m_image.get();
}

void TDm::LinkDeleteContent(TMDVDocumentLink& /*sender*/) {
    if (m_image)
        m_image->Clear();
}

void TDm::LinkSerialize(PSerializeInfo aInfo) {
    if (!aInfo)
        return;
    Serializer.XMLFilePath = aInfo->FileName;
    if (!aInfo->IsSaving) {
        Serializer.Load();
        return;
    }
    if (!Serializer.Save())
        throw std::runtime_error(Serializer.LastSaveError().toStdString());
}

void ConfigureDocumentSerializer(TXMLOptionsSerializer& serializer) {
    serializer.NodeAutoIndent = true;
    serializer.UseVersionControl = true;
    serializer.ApplicationName = QStringLiteral("Grelt Administrator");
    serializer.RootNodeName = QStringLiteral("config");
    serializer.ItemNodeCaption = QStringLiteral("Item");
}

TDm* Dm() {
    return instance;
}

TChannelImage* CurrentImage() {
    return instance ? instance->Image() : nullptr;
}

void MarkModified() {
    if (instance)
        instance->Link.SetModified();
}

} // namespace zorvan
