#pragma once

#include "components/ModelDocumentView.h"
#include "components/ui/CustomView.h"

#include <QList>
#include <QPointer>
#include <QScrollArea>

class QVBoxLayout;

namespace zorvan {

// Hosts the document's views, shows at most one of them and passes refresh and language
// updates on. It refers to its views but does not own them: destroying the container gives
// them back unparented, and a view destroyed by its owner simply drops out.
class TMDVViewsContainer : public QScrollArea, public IMDVViewsContainer {
    Q_OBJECT
public:
    explicit TMDVViewsContainer(QWidget* parent = nullptr);
    ~TMDVViewsContainer() override;

    // Nothing for a null view; the first view registered becomes DefaultView.
    void AddView(TCustomView* view);
    QList<TCustomView*> Views() const;
    TCustomView* DefaultView() const { return m_defaultView.data(); }
    TCustomView* ActiveView() const { return m_activeView.data(); }
    // Hides the previously active view, then shows the new one (either may be null).
    void SetActiveView(TCustomView* view);

    // UpdateView of every registered view but skip, in registration order.
    void UpdateViews(TCustomView* skip);

    // IMDVViewsContainer
    void UpdateViews() override { UpdateViews(nullptr); }
    void UpdateLanguage() override;
    void ActivateDefaultView() override { SetActiveView(DefaultView()); }
    void DeactivateView() override { SetActiveView(nullptr); }

private:
    QWidget* m_host;
    QVBoxLayout* m_layout;
    QList<QPointer<TCustomView>> m_views;
    QPointer<TCustomView> m_defaultView;
    QPointer<TCustomView> m_activeView;
};

} // namespace zorvan
