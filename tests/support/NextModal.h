#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <type_traits>

namespace zorvan::test {

// Works on the next modal window of type T once it is shown (its own event loop runs then) and
// closes it if the work left it open, so that a test never waits on a window.
template <typename T = QDialog>
void onNextModal(QObject* scope, std::function<void(std::type_identity_t<T>&)> act) {
    QTimer::singleShot(0, scope, [act] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(*window);
            if (window->isVisible())
                window->reject();
        }
    });
}

} // namespace zorvan::test
