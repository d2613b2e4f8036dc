#include "settings/ui/IntValuesListDlg.h"

#include "settings/StandartStoreObjects.h"
#include "settings/ui/SettingsIcons.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zorvan {

namespace {
constexpr int ValueColumnWidth = 250;
} // namespace

TIntValuesListDialog::TIntValuesListDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool), m_list(new QTableWidget(this)) {
    setObjectName(QStringLiteral("IntValuesListDialog"));
    setWindowTitle(QStringLiteral("Data List"));
    resize(345, 198);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setObjectName(QStringLiteral("List"));
    m_list->setColumnCount(2);
    m_list->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("Value")});
    m_list->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignCenter);
    m_list->setColumnWidth(0, 40);
    m_list->setColumnWidth(1, ValueColumnWidth);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &TIntValuesListDialog::rowSelected);
}

void TIntValuesListDialog::Fill(const TRegInteger& value) {
    Fill(value.ValuesList(), value.Value());
}

void TIntValuesListDialog::Fill(const TIntValuesList& values, int currentValue) {
    const QSignalBlocker block(m_list);
    m_list->clearContents();
    m_values.clear();
    m_list->setRowCount(values.Count());
    const QIcon icon = changedSettingIcon();
    int row = 0;
    QTableWidgetItem* current = nullptr;
    for (const TIntValueItem& item : values) {
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        if (item.Value == currentValue) {
            number->setIcon(icon);
            current = number;
        }
        auto* caption = new QTableWidgetItem(item.Caption);
        caption->setTextAlignment(Qt::AlignCenter);
        m_list->setItem(row, 0, number);
        m_list->setItem(row, 1, caption);
        m_values.push_back(item.Value);
        ++row;
    }
    // Long names (a port's adapter) are shown whole: the column and the window grow for them.
    const QAbstractItemView& view = *m_list; // sizeHintForColumn is public only there
    const int wanted = std::max(ValueColumnWidth, view.sizeHintForColumn(1));
    resize(width() + wanted - m_list->columnWidth(1), height());
    m_list->setColumnWidth(1, wanted);
    m_list->clearSelection();
    if (current)
        m_list->scrollToItem(current, QAbstractItemView::PositionAtCenter);
}

void TIntValuesListDialog::rowSelected() {
    const auto rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const int row = rows.front().row();
    if (row < 0 || row >= static_cast<int>(m_values.size()))
        return;
    m_chosen = m_values[static_cast<size_t>(row)];
    accept();
}

std::optional<int> TIntValuesListDialog::Choose(const TRegInteger& value, QWidget* parent) {
    return Choose(value.ValuesList(), value.Value(), parent);
}

std::optional<int> TIntValuesListDialog::Choose(const TIntValuesList& values, int current,
                                                QWidget* parent) {
    TIntValuesListDialog dialog(parent);
    dialog.Fill(values, current);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.ChosenValue();
}

} // namespace zorvan
