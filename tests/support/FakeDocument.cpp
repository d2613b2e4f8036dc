#include "FakeDocument.h"

#include <QFile>
#include <stdexcept>

namespace zorvan::test {

FakeDocument::FakeDocument() {
    Link.OnDeleteContent = [this](TMDVDocumentLink&) {
        Events << "delete";
        Content.clear();
    };
    Link.OnNewDocument = [this](TMDVDocumentLink&) { Events << "new"; };
    Link.OnOpenDocument = [this](TMDVDocumentLink&) { Events << "open"; };
    Link.OnSaveDocument = [this](TMDVDocumentLink&) { Events << "save"; };
    Link.OnSerialize = [this](PSerializeInfo info) {
        if (info->IsSaving) {
            Events << "write " + info->FileName;
            if (FailWrite)
                throw std::runtime_error("write failed");
            WriteFile(info->FileName, Content);
        } else {
            Events << "read " + info->FileName;
            if (FailRead)
                throw std::runtime_error("read failed");
            // A missing file reads as an empty document, as the real reader does.
            const QString text = ReadFile(info->FileName);
            Content = text == "<missing>" ? QString() : text;
        }
    };
}

void FakeDocument::Edit(const QString& text) {
    Content = text;
    Link.SetModified();
}

QString FakeDocument::ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void FakeDocument::WriteFile(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    file.write(text.toUtf8());
}

void FakeViews::UpdateViews() {
    ++Updates;
    Calls << "update";
}

void FakeViews::UpdateLanguage() {
    ++LanguageUpdates;
    Calls << "language";
}

void FakeViews::ActivateDefaultView() {
    Active = QStringLiteral("default");
    Calls << "activate";
}

void FakeViews::DeactivateView() {
    Active = QStringLiteral("none");
    Calls << "deactivate";
}

} // namespace zorvan::test
