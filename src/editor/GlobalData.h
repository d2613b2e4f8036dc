#pragma once

#include "editor/DragDropController.h"

#include <memory>

namespace zorvan {

// The global data module: owns the program's one drag-and-drop controller and nothing else.
// Created seventh at start-up; the editor view reaches it through GD().
class TGD {
public:
    TGD();
    ~TGD();
    TGD(const TGD&) = delete;
    TGD& operator=(const TGD&) = delete;

    TDragDropController& DragDropController() const { return *m_dragDropController; }

private:
    std::unique_ptr<TDragDropController> m_dragDropController;
};

// The running program's global data module, or nullptr outside its lifetime.
TGD* GD();

} // namespace zorvan
