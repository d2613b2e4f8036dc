#pragma once

#include <QWidget>

namespace zorvan {

// Base of every document view hosted by TMDVViewsContainer.
class TCustomView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Refresh everything shown from the document.
    virtual void UpdateView() = 0;
    // Re-apply all texts in the current interface language.
    virtual void UpdateLanguage() = 0;
};

} // namespace zorvan
