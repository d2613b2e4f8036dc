// zorvanctl options: lists and changes the program's settings through its own settings module,
// so that limits, named values and the store are the program's.

#include "Command.h"

#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

using namespace zorvan;
using zorvanctl::err;
using zorvanctl::out;

constexpr int exitFailure = 1; // the store could not be written
constexpr int exitUsage = 2;   // bad arguments, or a value the setting refuses

const char* const usageText =
    "Usage: zorvanctl options\n"
    "       zorvanctl options set NAME VALUE\n"
    "       zorvanctl options reset\n"
    "\n"
    "Lists and changes the settings of Zorvan, stored in\n"
    "$XDG_CONFIG_HOME/Belmat/Quillmark/0/MainOptions.reg.\n"
    "\n"
    "  (none)  one row per setting: name, value (with its named caption), default, limits,\n"
    "          category and caption; hidden settings are marked.\n"
    "  set     assigns VALUE through the setting's own setter and saves. Integers take a\n"
    "          decimal number (or a named caption such as COM3); booleans true/false, 1/0,\n"
    "          yes/no or on/off; file names any text. A value outside the limits is refused.\n"
    "  reset   gives every setting its default and saves.\n"
    "\n"
    "Lines of the store that cannot be read are named on standard error (FILE:LINE: reason);\n"
    "they are kept as they are when the store is written.\n"
    "\n"
    "Exit status: 0 done, 1 the store could not be written (the reason follows), 2 bad\n"
    "arguments or a refused value (nothing is changed then).\n";

int usageError(const QString& message) {
    err(QStringLiteral("zorvanctl options: %1\nRun 'zorvanctl options --help' for usage.\n")
            .arg(message));
    return exitUsage;
}

QString withCaption(const TRegInteger& v, int value) {
    const auto caption = v.ValuesList().CaptionOf(value);
    if (!caption || caption->isEmpty())
        return QString::number(value);
    return QStringLiteral("%1 (%2)").arg(value).arg(*caption);
}

QString plainText(const TRegistryValueShell& v, const QVariant& value) {
    if (const auto* i = qobject_cast<const TRegInteger*>(&v))
        return withCaption(*i, value.toInt());
    switch (v.DateType()) {
    case TRegistryValueType::rvtBoolean:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case TRegistryValueType::rvtInteger:
        return QString::number(value.toInt());
    case TRegistryValueType::rvtString:
    case TRegistryValueType::rvtFileName:
    case TRegistryValueType::rvtFolderName:
    case TRegistryValueType::rvtIP:
        return QStringLiteral("\"%1\"").arg(value.toString());
    default:
        return value.toString();
    }
}

QString limitsText(const TRegistryValueShell& v) {
    const auto* i = qobject_cast<const TRegInteger*>(&v);
    if (!i)
        return QStringLiteral("-");
    if (!i->HasLimits())
        return QStringLiteral("none");
    return QStringLiteral("%1..%2").arg(i->MinValue()).arg(i->MaxValue());
}

int list(TOptions& options) {
    QList<QStringList> rows;
    rows << QStringList{"NAME", "VALUE", "DEFAULT", "LIMITS", "CATEGORY", "CAPTION"};
    for (TRegistryValueShell* v : options.DataContainer->Items()) {
        QString caption = v->Caption();
        if (!v->Visible())
            caption += QStringLiteral(" (hidden)");
        rows << QStringList{v->objectName(),
                            plainText(*v, v->variantValue()),
                            plainText(*v, v->variantDefValue()),
                            limitsText(*v),
                            v->Category() ? v->Category()->Caption() : QString(),
                            caption};
    }
    QList<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        text += line + u'\n';
    }
    out(text);
    return 0;
}

// The value a text means for the setting; nullopt with a message when it means none.
std::optional<QVariant> parseFor(const TRegistryValueShell& v, const QString& text,
                                 QString& problem) {
    switch (v.DateType()) {
    case TRegistryValueType::rvtInteger: {
        if (const auto number = ParseIntText(text))
            return QVariant(*number);
        if (const auto* i = qobject_cast<const TRegInteger*>(&v))
            for (const TIntValueItem& item : i->ValuesList())
                if (item.Caption.compare(text.trimmed(), Qt::CaseInsensitive) == 0)
                    return QVariant(item.Value);
        problem = QStringLiteral("'%1' is not a number").arg(text);
        return std::nullopt;
    }
    case TRegistryValueType::rvtBoolean: {
        const QString t = text.trimmed().toLower();
        if (t == "true" || t == "1" || t == "yes" || t == "on")
            return QVariant(true);
        if (t == "false" || t == "0" || t == "no" || t == "off")
            return QVariant(false);
        problem = QStringLiteral("'%1' is not true or false").arg(text);
        return std::nullopt;
    }
    case TRegistryValueType::rvtFloat:
        if (const auto number = ParseFloatText(text))
            return QVariant(*number);
        problem = QStringLiteral("'%1' is not a number").arg(text);
        return std::nullopt;
    case TRegistryValueType::rvtDateTime:
    case TRegistryValueType::rvtDate:
    case TRegistryValueType::rvtTime: {
        const QDateTime dt = QDateTime::fromString(text.trimmed(), Qt::ISODate);
        if (dt.isValid())
            return QVariant(DateTimeToDays(dt));
        problem = QStringLiteral("'%1' is not an ISO date and time").arg(text);
        return std::nullopt;
    }
    default:
        return QVariant(text);
    }
}

TRegistryValueShell* findSetting(const TOptions& options, const QString& name) {
    if (TRegistryValueShell* exact = options.DataContainer->FindItem(name))
        return exact;
    for (TRegistryValueShell* v : options.DataContainer->Items())
        if (v->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return nullptr;
}

// Saves through the container; a value still flagged afterwards did not reach the store.
int save(TOptions& options) {
    options.DataContainer->Save();
    for (TRegistryValueShell* v : options.DataContainer->Items()) {
        if (v->Modified()) {
            err(QStringLiteral("zorvanctl options: could not write %1: %2\n")
                    .arg(RegistryStoreKey::fileOfKey(options.DataContainer->KeyPath()),
                         options.DataContainer->LastSaveError()));
            return exitFailure;
        }
    }
    return 0;
}

// The load skips what it cannot read without a word; here the user is told, line by line.
void reportUnreadable(const TOptions& options) {
    RegistryStoreKey key(options.DataContainer->KeyPath());
    if (!key.openRead()) {
        err(QStringLiteral("zorvanctl options: %1\n").arg(key.error()));
        return;
    }
    QString text; // written in blocks: a hostile store may have millions of such lines
    RegistryText::forEachUnreadableLine(key.contents(), [&](int number, const QString& reason) {
        text +=
            key.fileName() + u':' + QString::number(number) + QStringLiteral(": ") + reason + u'\n';
        if (text.size() > 65536)
            err(std::exchange(text, QString()));
    });
    err(text);
}

int set(TOptions& options, const QString& name, const QString& text) {
    TRegistryValueShell* v = findSetting(options, name);
    if (!v)
        return usageError(QStringLiteral("no setting named '%1'").arg(name));
    QString problem;
    const auto value = parseFor(*v, text, problem);
    if (!value)
        return usageError(QStringLiteral("%1: %2").arg(v->objectName(), problem));
    if (!v->setVariantValue(*value)) {
        const auto* i = qobject_cast<const TRegInteger*>(v);
        if (i && !i->InLimits(value->toInt()))
            err(QStringLiteral("zorvanctl options: %1: %2 refused; allowed %3 to %4\n")
                    .arg(v->objectName(), text.trimmed())
                    .arg(i->MinValue())
                    .arg(i->MaxValue()));
        else
            err(QStringLiteral("zorvanctl options: %1: %2 refused by the setting\n")
                    .arg(v->objectName(), text.trimmed()));
        return exitUsage;
    }
    const int status = save(options);
    if (status == 0)
        out(QStringLiteral("%1 = %2\n").arg(v->objectName(), plainText(*v, v->variantValue())));
    return status;
}

int run(const QStringList& args) {
    if (!args.isEmpty() && args.front() != "set" && args.front() != "reset")
        return usageError(QStringLiteral("unknown action '%1'").arg(args.front()));
    if (!args.isEmpty() && args.front() == "set" && args.size() != 3)
        return usageError(QStringLiteral("set takes a NAME and a VALUE"));
    if (!args.isEmpty() && args.front() == "reset" && args.size() != 1)
        return usageError(QStringLiteral("reset takes no arguments"));

    // Writes happen only through the explicit saves below, never on destruction.
    TOptions options;
    options.setSaveOnDestroy(false);
    reportUnreadable(options);
    if (args.isEmpty())
        return list(options);
    if (args.front() == "set")
        return set(options, args[1], args[2]);
    options.DataContainer->SetDefaults();
    return save(options);
}

zorvanctl::Registration reg({QStringLiteral("options"),
                             QStringLiteral("list and change the program's settings"),
                             QString::fromLatin1(usageText), run});

} // namespace
