#pragma once

#include "components/MDVLocalize.h"
#include "components/Prompter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zorvan {

// A breach of the link's "a document is active" precondition: a programming error, never a
// user's. Carries the message and the unit that detected it.
class EAssertionFailed : public std::logic_error {
public:
    EAssertionFailed(const QString& message, const QString& unitName)
        : std::logic_error((message + " (" + unitName + ")").toStdString()), Message(message),
          UnitName(unitName) {}
    QString Message;
    QString UnitName;
};

// A read (IsSaving false) or write request for one file.
struct TSerializeInfo {
    QString FileName;
    bool IsSaving = false;
};
using PSerializeInfo = TSerializeInfo*;

using TOnSerialize = std::function<void(PSerializeInfo aInfo)>;

// A reader/writer of document files that the link may offer a request to.
class TMDVSerializer {
public:
    virtual ~TMDVSerializer() = default;
    // True when the request has been handled.
    virtual bool Accept(PSerializeInfo aInfo) = 0;
};

// Ordered serializers; referenced, not owned.
class TMDVSerializerList {
public:
    void Add(TMDVSerializer* serializer) {
        if (serializer)
            m_items.push_back(serializer);
    }
    int Count() const { return static_cast<int>(m_items.size()); }
    TMDVSerializer* operator[](int index) const { return m_items.at(static_cast<size_t>(index)); }

private:
    std::vector<TMDVSerializer*> m_items;
};

class TMDVDocumentLink;
using TLinkNotifyEvent = std::function<void(TMDVDocumentLink& sender)>;

// Lives in the document's data module: whether a document is open and changed, and the events
// through which the module clears, reads and writes its content.
class TMDVDocumentLink {
public:
    TMDVDocumentLink();
    // Fires OnDeleteContent when a document is still active.
    ~TMDVDocumentLink();
    TMDVDocumentLink(const TMDVDocumentLink&) = delete;
    TMDVDocumentLink& operator=(const TMDVDocumentLink&) = delete;

    TLinkNotifyEvent OnDeleteContent;
    TLinkNotifyEvent OnSaveDocument;
    TLinkNotifyEvent OnOpenDocument;
    TLinkNotifyEvent OnNewDocument;
    TOnSerialize OnSerialize;
    // Fired each time Modified changes; set by the main window at run time.
    TLinkNotifyEvent OnModifiedChange;

    bool Modified() const { return m_modified; }
    bool Active() const { return m_active; }
    TMDVLocalization& Localization() { return *m_localization; }
    const TMDVLocalization& Localization() const { return *m_localization; }
    TMDVSerializerList& Serializers() { return m_serializers; }

    void DeleteContent();
    // Active, content cleared, OnNewDocument; Modified untouched.
    void NewDocument();
    // Requires Active: Modified cleared, content deleted, not active.
    void CloseDocument();
    // Both require Active; each fires OnModifiedChange only on a real change.
    void SetModified();
    void ClearModified();
    void Serialize(PSerializeInfo aInfo);

private:
    void RequireActive() const;
    void Fire(const TLinkNotifyEvent& event);

    bool m_modified = false;
    bool m_active = false;
    std::unique_ptr<TMDVLocalization> m_localization;
    TMDVSerializerList m_serializers;
};

// What the agent needs of the window that hosts the document's views; the widget
// TMDVViewsContainer implements it.
class IMDVViewsContainer {
public:
    virtual ~IMDVViewsContainer() = default;
    // UpdateView of every registered view, in registration order.
    virtual void UpdateViews() = 0;
    // UpdateLanguage of every registered view, in registration order.
    virtual void UpdateLanguage() = 0;
    // ActiveView becomes DefaultView.
    virtual void ActivateDefaultView() = 0;
    // ActiveView becomes none.
    virtual void DeactivateView() = 0;
};

class TMDVAgent;
using TAgentNotifyEvent = std::function<void(TMDVAgent& sender)>;

// Sits in the main window: the user-level New, Open, Save, Save As and Close with their
// prompts and dialogs, the current file name and the window caption. Save and Save As answer
// Yes only when the document was written; when writing fails they tell the file and the reason,
// and the document stays modified.
class TMDVAgent {
public:
    TMDVAgent() = default;
    TMDVAgent(const TMDVAgent&) = delete;
    TMDVAgent& operator=(const TMDVAgent&) = delete;

    TAgentNotifyEvent OnUpdateLanguage;

    TMDVDocumentLink* Document() const { return m_document; }
    void SetDocument(TMDVDocumentLink* link) { m_document = link; }
    QString FileExtention = QStringLiteral("mdv");

    const QString& FileName() const { return m_fileName; }
    // The window is reached through its "windowTitle" property so that the agent needs no
    // widget library.
    QObject* MainForm() const { return m_mainForm.data(); }
    const QString& MainCaption() const { return m_mainCaption; }
    IMDVViewsContainer* ViewsContainer = nullptr;

    void AttachMainForm(QObject* window);
    void UpdateCaption();

    void NewDocument();
    bool OpenWithDialog();
    bool OpenDocument(const QString& fileName);
    PromptAnswer Save();
    PromptAnswer SaveAs();
    bool CloseDocument();
    void UpdateLanguage();

    // "Document (*.<FileExtention>)", the filter of both file dialogs.
    QString DocumentFilter() const;

private:
    // The unsaved-changes question; false when the operation must stop.
    bool CheckSaveChanges();
    PromptAnswer SaveDocument(const QString& name);
    bool ReadDocument(const QString& name);
    void ShowOpenedDocument();
    const TMDVLanguage* Language() const;

    TMDVDocumentLink* m_document = nullptr;
    QString m_fileName;
    QPointer<QObject> m_mainForm;
    QString m_mainCaption;
};

} // namespace zorvan
