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
                    const QVariant& value, const QVariant& defValue = QVariant(),
                    const QString& floatMask = QString());

    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return m_defValue; }
    bool setVariantValue(const QVariant& v) override;
    QString FloatMask() const override { return m_mask; }

private:
    QVariant m_value;
    QVariant m_defValue;
    QString m_mask;
};

} // namespace zorvan::test
