#include "settings/DataContainerDialog.h"

namespace zorvan {

TDataContainerDialog::TDataContainerDialog(QObject* owner, const QString& name) : QObject(owner) {
    setObjectName(name);
}

void TDataContainerDialog::setMaxInstrumentalWidth(int w) {
    if (w > 0)
        m_maxInstrumentalWidth = w;
}

} // namespace zorvan
