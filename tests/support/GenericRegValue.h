#pragma once

#include "settings/DataContainer.h"

namespace zorvan::test {

// A setting of any kind, holding its value in the kind-neutral form, for the kinds that no
// application setting uses (dates, numbers, texts, folders, addresses). Its setter follows the
// common rule: equal values change nothing, others are stored and marked changed.
class GenericRegValue final : public TRegistryValueShell {
    Q_OBJECT
public:
    GenericRegValue(QObject* owner, const QString& name, TRegistryValueType kind,
                    const QVariant& value, const QString& floatMask = QString())
        : TRegistryValueShell(owner, name, kind, name), m_value(value), m_defValue(value),
          m_mask(floatMask) {}

    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return m_defValue; }
    QString FloatMask() const override { return m_mask; }
    bool setVariantValue(const QVariant& v) override {
        if (v != m_value)
            m_value = v, markChanged();
        return true;
    }

private:
    QVariant m_value;
    QVariant m_defValue;
    QString m_mask;
};

} // namespace zorvan::test
