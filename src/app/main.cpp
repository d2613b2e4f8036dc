#include "app/ui/CompositionRoot.h"
#include "components/ui/ThemeIcon.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Qt aborts without a display; say so plainly instead.
    const bool hasPlatform =
        std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!hasPlatform) {
        std::fprintf(stderr, "zorvan: no display found (DISPLAY is not set); run it in a desktop "
                             "session or under xvfb-run\n");
        return 1;
    }
    QApplication app(argc, argv);
    // The desktop matches the windows to zorvan.desktop (its icon in the task bar, its name).
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvan"));
    QApplication::setWindowIcon(zorvan::applicationIcon());
    zorvan::CompositionRoot root;
    return root.Run();
}
