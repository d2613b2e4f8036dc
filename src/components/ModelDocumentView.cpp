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

// The reason carried by the exception being handled; called inside a catch block.
QString currentExceptionReason() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMDVDocumentLink

TMDVDocumentLink::TMDVDocumentLink() : m_localization(std::make_unique<TMDVLocalization>()) {}

TMDVDocumentLink::~TMDVDocumentLink() {
    if (!m_active)
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
    if (!m_active)
        throw EAssertionFailed(QStringLiteral("Assertion failure"), kUnitName);
}

void TMDVDocumentLink::DeleteContent() {
    Fire(OnDeleteContent);
}

void TMDVDocumentLink::NewDocument() {
    m_active = true;
    DeleteContent();
    Fire(OnNewDocument);
}

void TMDVDocumentLink::CloseDocument() {
    RequireActive();
    ClearModified();
    DeleteContent();
    m_active = false;
}

void TMDVDocumentLink::SetModified() {
    RequireActive();
    if (m_modified)
        return;
    m_modified = true;
    Fire(OnModifiedChange);
}

void TMDVDocumentLink::ClearModified() {
    RequireActive();
    if (!m_modified)
        return;
    m_modified = false;
    Fire(OnModifiedChange);
}

void TMDVDocumentLink::Serialize(PSerializeInfo aInfo) {
    if (!aInfo)
        return;
    if (!aInfo->IsSaving) {
        m_active = true;
        Fire(OnOpenDocument);
    } else {
        Fire(OnSaveDocument);
    }
    if (OnSerialize) {
        OnSerialize(aInfo);
        return;
    }
    for (int i = 0; i < m_serializers.Count(); ++i)
        if (m_serializers[i]->Accept(aInfo))
            return;
    prompter().tell(m_localization->Current().FileVersionError, MessageKind::Error);
}

// ---------------------------------------------------------------------------------------------
// TMDVAgent

QString TMDVAgent::DocumentFilter() const {
    return QStringLiteral("Document (*.") + FileExtention + QStringLiteral(")");
}

const TMDVLanguage* TMDVAgent::Language() const {
    return m_document ? &m_document->Localization().Current() : nullptr;
}

void TMDVAgent::AttachMainForm(QObject* window) {
    m_mainForm = window;
    m_mainCaption = window ? window->property("windowTitle").toString() : QString();
}

void TMDVAgent::UpdateCaption() {
    if (!m_mainForm || !m_document)
        return;
    QString caption = m_mainCaption;
    // Qt takes "[*]" in a window title for the modified mark; "[*][*]" shows one as it is.
    if (!m_fileName.isEmpty())
        caption += QStringLiteral(": ") +
                   QString(m_fileName).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    m_mainForm->setProperty("windowTitle", caption);
}

bool TMDVAgent::CheckSaveChanges() {
    if (!m_document || !m_document->Modified())
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
    if (!m_document)
        return;
    if (!CheckSaveChanges())
        return;
    m_document->NewDocument();
    m_fileName.clear();
    UpdateCaption();
    if (ViewsContainer) {
        ViewsContainer->UpdateViews();
        ViewsContainer->ActivateDefaultView();
    }
}

bool TMDVAgent::ReadDocument(const QString& name) {
    try {
        m_document->DeleteContent();
        TSerializeInfo info{name, false};
        m_document->Serialize(&info);
        m_fileName = name;
        return true;
    } catch (...) {
        try {
            m_document->DeleteContent();
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
    if (!m_document)
        return false;
    if (!CheckSaveChanges())
        return false;
    const std::optional<QString> chosen = prompter().openFileName(DocumentFilter());
    if (!chosen || chosen->isEmpty())
        return false;
    if (m_document->Active())
        m_document->ClearModified();
    ReadDocument(*chosen);
    ShowOpenedDocument();
    return true;
}

bool TMDVAgent::OpenDocument(const QString& fileName) {
    if (fileName.isEmpty())
        return CloseDocument();
    if (!m_document)
        return false;
    if (!CheckSaveChanges())
        return false;
    // A freshly read document has no unsaved changes, whatever the one it replaces had.
    if (m_document->Active())
        m_document->ClearModified();
    if (!ReadDocument(fileName))
        return false;
    ShowOpenedDocument();
    return true;
}

PromptAnswer TMDVAgent::SaveDocument(const QString& name) {
    if (!m_document || !m_document->Active())
        return PromptAnswer::No;
    const QString previousName = m_fileName;
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
        m_fileName = target;
    } else {
        if (!m_document->Modified())
            return PromptAnswer::No;
        m_fileName = name;
    }
    try {
        TSerializeInfo info{m_fileName, true};
        m_document->Serialize(&info);
        m_document->ClearModified();
        return PromptAnswer::Yes;
    } catch (...) {
        // Keep the name the caption shows: the document was not written under the new one.
        const QString failed = m_fileName;
        m_fileName = previousName;
        // The user must learn why: a silent refusal at exit looks like a program that hangs.
        prompter().tell(Language()->SaveFailedText.arg(failed, currentExceptionReason()),
                        MessageKind::Error);
        return PromptAnswer::No;
    }
}

PromptAnswer TMDVAgent::Save() {
    const PromptAnswer answer = SaveDocument(m_fileName);
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
    if (m_document && m_document->Active())
        m_document->CloseDocument();
    m_fileName.clear();
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
