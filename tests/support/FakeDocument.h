#pragma once

#include "Files.h"
#include "components/ModelDocumentView.h"

#include <QStringList>
#include <stdexcept>

namespace zorvan::test {

// A document of one line of text behind a real TMDVDocumentLink: reads and writes real files,
// records the link's events in order and can be told to fail a read or a write.
class FakeDocument {
public:
    FakeDocument() {
        Link.OnDeleteContent = [this](TMDVDocumentLink&) { Events << "delete", Content.clear(); };
        Link.OnNewDocument = [this](TMDVDocumentLink&) { Events << "new"; };
        Link.OnOpenDocument = [this](TMDVDocumentLink&) { Events << "open"; };
        Link.OnSaveDocument = [this](TMDVDocumentLink&) { Events << "save"; };
        Link.OnSerialize = [this](PSerializeInfo info) {
            Events << (info->IsSaving ? "write " : "read ") + info->FileName;
            if (info->IsSaving ? FailWrite : FailRead)
                throw std::runtime_error("fault");
            if (info->IsSaving)
                WriteFile(info->FileName, Content);
            else // a missing file reads as an empty document, as the real reader does
                Content = QFile::exists(info->FileName) ? ReadFile(info->FileName) : QString();
        };
    }

    QString Content;
    QStringList Events; // "delete", "new", "open", "save", "read <file>", "write <file>"
    bool FailRead = false;
    bool FailWrite = false;

    // An edit: new content, and the document marked modified.
    void Edit(const QString& text) { Content = text, Link.SetModified(); }

    static QString ReadFile(const QString& path) { return QString::fromUtf8(readFile(path)); }
    static void WriteFile(const QString& path, const QString& text) {
        if (!writeFile(path, text.toUtf8()))
            throw std::runtime_error("cannot write " + path.toStdString());
    }

    // Declared last: an active link clears the content while it is destroyed, so everything
    // its handlers touch must still exist then.
    TMDVDocumentLink Link;
};

} // namespace zorvan::test
