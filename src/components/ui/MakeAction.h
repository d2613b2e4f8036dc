#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QString>

class QAction;
class QObject;

namespace zorvan {

// How an action looks beyond its caption; every part may stay empty. The "= {}" lets a caller
// name only the parts it sets ({.Icon = ...}) without a missing-initializer warning.
struct TActionLook {
    QIcon Icon = {};
    // A tool button's text, when it differs from the caption.
    QString IconText = {};
    // Works while the owner's window is active, with its menus and tool bars hidden too.
    QKeySequence Shortcut = {};
};

// A new action of the owner, its object name the given one so that it can be looked up.
QAction* makeAction(QObject* owner, const char* name, const QString& caption,
                    const TActionLook& look = {});

} // namespace zorvan
