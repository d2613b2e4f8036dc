#include "components/ui/MakeAction.h"

#include <QAction>

namespace zorvan {

QAction* makeAction(QObject* owner, const char* name, const QString& caption,
                    const TActionLook& look) {
    auto* action = new QAction(look.Icon, caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!look.IconText.isEmpty())
        action->setIconText(look.IconText);
    if (!look.Shortcut.isEmpty()) {
        action->setShortcut(look.Shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

} // namespace zorvan
