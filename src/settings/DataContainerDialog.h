#pragma once

#include "settings/DataContainer.h"

#include <QObject>
#include <QPointer>

namespace zorvan {

// The settings of the options dialog component: which container it shows and the width of its
// category pane. The dialog itself is a window; ExecuteDataContainerDialog (settings/ui) runs it.
class TDataContainerDialog : public QObject {
    Q_OBJECT
public:
    explicit TDataContainerDialog(QObject* owner = nullptr, const QString& name = QString());

    TDataContainer* DataContainer() const { return m_container; }
    void setDataContainer(TDataContainer* c) { m_container = c; }
    int MaxInstrumentalWidth() const { return m_maxInstrumentalWidth; }
    // Values of 0 or less are ignored.
    void setMaxInstrumentalWidth(int w);

private:
    QPointer<TDataContainer> m_container;
    int m_maxInstrumentalWidth = 150;
};

} // namespace zorvan
