#include "editor/GlobalData.h"

namespace zorvan {

namespace {
TGD* instance = nullptr;
} // namespace

TGD::TGD() : m_dragDropController(std::make_unique<TDragDropController>()) {
    if (!instance)
        instance = this;
}

TGD::~TGD() {
    if (instance == this)
        instance = nullptr;
}

TGD* GD() {
    return instance;
}

} // namespace zorvan
