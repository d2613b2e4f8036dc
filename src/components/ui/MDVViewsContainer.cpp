#include "components/ui/MDVViewsContainer.h"

#include <QVBoxLayout>

namespace zorvan {

TMDVViewsContainer::TMDVViewsContainer(QWidget* parent)
    : QScrollArea(parent), m_host(new QWidget), m_layout(new QVBoxLayout(m_host)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    // Hidden views take no room, so the one shown fills the container.
    m_layout->setContentsMargins(0, 0, 0, 0);
    setWidget(m_host);
}

TMDVViewsContainer::~TMDVViewsContainer() {
    for (const QPointer<TCustomView>& view : std::as_const(m_views)) {
        if (view) {
            view->hide();
            view->setParent(nullptr);
        }
    }
}

QList<TCustomView*> TMDVViewsContainer::Views() const {
    QList<TCustomView*> live;
    for (const QPointer<TCustomView>& view : m_views)
        if (view)
            live.append(view.data());
    return live;
}

void TMDVViewsContainer::AddView(TCustomView* view) {
    if (!view)
        return;
    if (Views().isEmpty())
        m_defaultView = view;
    view->setParent(m_host, Qt::Widget); // borderless, inside the container
    m_layout->addWidget(view);
    view->hide();
    m_views.append(view);
}

void TMDVViewsContainer::SetActiveView(TCustomView* view) {
    if (m_activeView)
        m_activeView->hide();
    m_activeView = view;
    if (view)
        view->show();
}

void TMDVViewsContainer::UpdateViews(TCustomView* skip) {
    for (TCustomView* view : Views())
        if (view != skip)
            view->UpdateView();
}

void TMDVViewsContainer::UpdateLanguage() {
    for (TCustomView* view : Views())
        view->UpdateLanguage();
}

} // namespace zorvan
