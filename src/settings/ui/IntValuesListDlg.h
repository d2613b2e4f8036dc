#pragma once

#include <QDialog>
#include <optional>
#include <vector>

class QTableWidget;

namespace zorvan {

class TIntValuesList;
class TRegInteger;

// The named-value picker: one row per named value of an integer setting ("#" the 1-based row,
// "Value" the caption), the current value's row marked. Selecting a row closes it at once.
class TIntValuesListDialog : public QDialog {
    Q_OBJECT
public:
    explicit TIntValuesListDialog(QWidget* parent = nullptr);

    void Fill(const TRegInteger& value);
    // The named values with current's row marked; the value column widens to the longest name.
    void Fill(const TIntValuesList& values, int current);
    // The value of the chosen entry; meaningful after the picker was accepted.
    int ChosenValue() const { return m_chosen; }

    // Runs the picker modally for the setting; the value of the entry the user picked.
    static std::optional<int> Choose(const TRegInteger& value, QWidget* parent = nullptr);
    static std::optional<int> Choose(const TIntValuesList& values, int current,
                                     QWidget* parent = nullptr);

private:
    void rowSelected();

    // Object name "List".
    QTableWidget* m_list;
    std::vector<int> m_values;
    int m_chosen = 0;
};

} // namespace zorvan
