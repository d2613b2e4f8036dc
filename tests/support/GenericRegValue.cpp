#include "GenericRegValue.h"

namespace zorvan::test {

GenericRegValue::GenericRegValue(QObject* owner, const QString& name, TRegistryValueType kind,
                                 const QVariant& value, const QVariant& defValue,
                                 const QString& floatMask)
    : TRegistryValueShell(owner, name, kind, QStringLiteral("generic")), m_value(value),
      m_defValue(defValue.isValid() ? defValue : value), m_mask(floatMask) {}

bool GenericRegValue::setVariantValue(const QVariant& v) {
    QVariant converted = v;
    switch (DateType()) {
    case TRegistryValueType::rvtInteger:
        if (!converted.convert(QMetaType::fromType<int>()))
            return false;
        break;
    case TRegistryValueType::rvtBoolean:
        if (!converted.convert(QMetaType::fromType<bool>()))
            return false;
        break;
    case TRegistryValueType::rvtDateTime:
    case TRegistryValueType::rvtDate:
    case TRegistryValueType::rvtTime:
    case TRegistryValueType::rvtFloat:
        if (!converted.convert(QMetaType::fromType<double>()))
            return false;
        break;
    default:
        if (!converted.convert(QMetaType::fromType<QString>()))
            return false;
        break;
    }
    if (converted == m_value)
        return true;
    m_value = converted;
    markChanged();
    return true;
}

} // namespace zorvan::test
