#include "components/ui/MDVViewsContainer.h"

#include <QVBoxLayout>

namespace zorvan {

TMDVViewsContainer::TMDVViewsContainer(QWidget* parent)
    : QScrollArea(parent), host_(new QWidget), layout_(new QVBoxLayout(host_)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    // Hidden views take no room, so the one shown fills the container.
    layout_->setContentsMargins(0, 0, 0, 0);
    setWidget(host_);
}

TMDVViewsContainer::~TMDVViewsContainer() {
    for (const QPointer<TCustomView>& view : std::as_const(views_)) {
        if (view) {
            view->hide();
            view->setParent(nullptr);
        }
    }
}

QList<TCustomView*> TMDVViewsContainer::Views() const {
    QList<TCustomView*> live;
    for (const QPointer<TCustomView>& view : views_)
        if (view)
            live.append(view.data());
    return live;
}

void TMDVViewsContainer::AddView(TCustomView* view) {
    if (!view)
        return;
    if (Views().isEmpty())
        defaultView_ = view;
    view->setParent(host_, Qt::Widget); // borderless, inside the container
    layout_->addWidget(view);
    view->hide();
    views_.append(view);
}

void TMDVViewsContainer::SetActiveView(TCustomView* view) {
    if (activeView_)
        activeView_->hide();
    activeView_ = view;
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
