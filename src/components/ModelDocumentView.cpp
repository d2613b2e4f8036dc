#include "components/ModelDocumentView.h"

#include <QFileInfo>
#include <QVariant>

namespace zorvan {

namespace {

const QString kUnitName = QStringLiteral("ModelDocumentView");

// The extension as the part of the file name from its last dot ("" without a dot); dots in
// folder names do not count.
QString ExtractFileExt(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return QString();
    return path.mid(dot);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMDVDocumentLink

TMDVDocumentLink::TMDVDocumentLink() : localization_(std::make_unique<TMDVLocalization>()) {}

TMDVDocumentLink::~TMDVDocumentLink() {
    if (!active_)
        return;
    try {
        Fire(OnDeleteContent);
    } catch (...) {
        // A destructor must not throw; the content goes away with its owner anyway.
    }
}

void TMDVDocumentLink::Fire(const TLinkNotifyEvent& event) {
    if (event)
        event(*this);
}

void TMDVDocumentLink::RequireActive() const {
    if (!active_)
        throw EAssertionFailed(QStringLiteral("Assertion failure"), kUnitName);
}

void TMDVDocumentLink::DeleteContent() {
    Fire(OnDeleteContent);
}

void TMDVDocumentLink::NewDocument() {
    active_ = true;
    DeleteContent();
    Fire(OnNewDocument);
}

void TMDVDocumentLink::CloseDocument() {
    RequireActive();
    ClearModified();
    DeleteContent();
    active_ = false;
}

void TMDVDocumentLink::SetModified() {
    RequireActive();
    if (modified_)
        return;
    modified_ = true;
    Fire(OnModifiedChange);
}

void TMDVDocumentLink::ClearModified() {
    RequireActive();
    if (!modified_)
        return;
    modified_ = false;
    Fire(OnModifiedChange);
}

void TMDVDocumentLink::Serialize(PSerializeInfo aInfo) {
    if (!aInfo)
        return;
    if (!aInfo->IsSaving) {
        active_ = true;
        Fire(OnOpenDocument);
    } else {
        Fire(OnSaveDocument);
    }
    if (OnSerialize) {
        OnSerialize(aInfo);
        return;
    }
    for (int i = 0; i < serializers_.Count(); ++i)
        if (serializers_[i]->Accept(aInfo))
            return;
    prompter().tell(localization_->Current().FileVersionError, MessageKind::Error);
}

// ---------------------------------------------------------------------------------------------
// TMDVAgent

QString TMDVAgent::DocumentFilter() const {
    return QStringLiteral("Document (*.") + FileExtention + QStringLiteral(")");
}

const TMDVLanguage* TMDVAgent::Language() const {
    return document_ ? &document_->Localization().Current() : nullptr;
}

void TMDVAgent::AttachMainForm(QObject* window) {
    mainForm_ = window;
    mainCaption_ = window ? window->property("windowTitle").toString() : QString();
}

void TMDVAgent::UpdateCaption() {
    if (!mainForm_ || !document_)
        return;
    QString caption = mainCaption_;
    if (!fileName_.isEmpty())
        caption += QStringLiteral(": ") + fileName_;
    mainForm_->setProperty("windowTitle", caption);
}

bool TMDVAgent::CheckSaveChanges() {
    if (!document_ || !document_->Modified())
        return true;
    switch (prompter().ask(Language()->SaveChangesQuestion, PromptButtons::YesNoCancel)) {
    case PromptAnswer::No:
        return true;
    case PromptAnswer::Yes:
        // Replacing or closing the document must not go on when the changes were not written:
        // they would be lost.
        return Save() == PromptAnswer::Yes;
    default:
        return false;
    }
}

void TMDVAgent::NewDocument() {
    if (!document_)
        return;
    if (!CheckSaveChanges())
        return;
    document_->NewDocument();
    fileName_.clear();
    UpdateCaption();
    if (ViewsContainer) {
        ViewsContainer->UpdateViews();
        ViewsContainer->ActivateDefaultView();
    }
}

bool TMDVAgent::ReadDocument(const QString& name) {
    try {
        document_->DeleteContent();
        TSerializeInfo info{name, false};
        document_->Serialize(&info);
        fileName_ = name;
        return true;
    } catch (...) {
        try {
            document_->DeleteContent();
        } catch (...) {
        }
        return false;
    }
}

void TMDVAgent::ShowOpenedDocument() {
    UpdateCaption();
    if (ViewsContainer) {
        ViewsContainer->UpdateViews();
        ViewsContainer->ActivateDefaultView();
    }
}

bool TMDVAgent::OpenWithDialog() {
    if (!document_)
        return false;
    if (!CheckSaveChanges())
        return false;
    const std::optional<QString> chosen = prompter().openFileName(DocumentFilter());
    if (!chosen || chosen->isEmpty())
        return false;
    if (document_->Active())
        document_->ClearModified();
    ReadDocument(*chosen);
    ShowOpenedDocument();
    return true;
}

bool TMDVAgent::OpenDocument(const QString& fileName) {
    if (fileName.isEmpty())
        return CloseDocument();
    if (!document_)
        return false;
    if (!CheckSaveChanges())
        return false;
    // A freshly read document has no unsaved changes, whatever the one it replaces had.
    if (document_->Active())
        document_->ClearModified();
    if (!ReadDocument(fileName))
        return false;
    ShowOpenedDocument();
    return true;
}

PromptAnswer TMDVAgent::SaveDocument(const QString& name) {
    if (!document_ || !document_->Active())
        return PromptAnswer::No;
    const QString previousName = fileName_;
    if (name.isEmpty()) {
        const std::optional<QString> chosen = prompter().saveFileName(DocumentFilter());
        if (!chosen || chosen->isEmpty())
            return PromptAnswer::No;
        QString target = *chosen;
        const QString extension = QStringLiteral(".") + FileExtention;
        if (ExtractFileExt(target) != extension)
            target += extension;
        if (QFileInfo::exists(target)) {
            const PromptAnswer answer =
                prompter().ask(Language()->FileExistsQuestion, PromptButtons::YesNoCancel);
            if (answer != PromptAnswer::Yes)
                return answer;
        }
        fileName_ = target;
    } else {
        if (!document_->Modified())
            return PromptAnswer::No;
        fileName_ = name;
    }
    try {
        TSerializeInfo info{fileName_, true};
        document_->Serialize(&info);
        document_->ClearModified();
        return PromptAnswer::Yes;
    } catch (...) {
        // Keep the name the caption shows: the document was not written under the new one.
        fileName_ = previousName;
        return PromptAnswer::No;
    }
}

PromptAnswer TMDVAgent::Save() {
    const PromptAnswer answer = SaveDocument(fileName_);
    if (answer == PromptAnswer::Yes)
        UpdateCaption();
    return answer;
}

PromptAnswer TMDVAgent::SaveAs() {
    const PromptAnswer answer = SaveDocument(QString());
    if (answer == PromptAnswer::Yes)
        UpdateCaption();
    return answer;
}

bool TMDVAgent::CloseDocument() {
    if (!CheckSaveChanges())
        return false;
    if (document_ && document_->Active())
        document_->CloseDocument();
    fileName_.clear();
    UpdateCaption();
    if (ViewsContainer)
        ViewsContainer->DeactivateView();
    return true;
}

void TMDVAgent::UpdateLanguage() {
    if (OnUpdateLanguage)
        OnUpdateLanguage(*this);
    if (ViewsContainer)
        ViewsContainer->UpdateLanguage();
}

} // namespace zorvan
