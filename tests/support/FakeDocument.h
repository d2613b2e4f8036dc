#pragma once

#include "components/ModelDocumentView.h"

#include <QStringList>

namespace zorvan::test {

// A document of one line of text behind a real TMDVDocumentLink: reads and writes real files,
// records the link's events in order and can be told to fail a read or a write.
class FakeDocument {
public:
    FakeDocument();

    QString Content;
    QStringList Events; // "delete", "new", "open", "save", "read <file>", "write <file>"
    bool FailRead = false;
    bool FailWrite = false;

    // An edit: new content, and the document marked modified.
    void Edit(const QString& text);

    static QString ReadFile(const QString& path); // "<missing>" when absent
    static void WriteFile(const QString& path, const QString& text);

    // Declared last: an active link clears the content while it is destroyed, so everything
    // its handlers touch must still exist then.
    TMDVDocumentLink Link;
};

// Records what the agent asks of its views.
class FakeViews final : public IMDVViewsContainer {
public:
    int Updates = 0;
    int LanguageUpdates = 0;
    QString Active = QStringLiteral("none"); // "none" or "default"
    QStringList Calls;

    void UpdateViews() override;
    void UpdateLanguage() override;
    void ActivateDefaultView() override;
    void DeactivateView() override;
};

} // namespace zorvan::test
