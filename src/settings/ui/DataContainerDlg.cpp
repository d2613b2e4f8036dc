#include "settings/ui/DataContainerDlg.h"

#include "components/Prompter.h"
#include "components/ui/MakeAction.h"
#include "settings/DataContainerDialog.h"
#include "settings/StandartStoreObjects.h"
#include "settings/ui/DateTimeValueEditor.h"
#include "settings/ui/IPQuery.h"
#include "settings/ui/IntValuesListDlg.h"
#include "settings/ui/SettingsIcons.h"

#include <QAction>
#include <QCollator>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zorvan {

namespace {

const QString AllParameters = QStringLiteral("(All Parameters)");
// The dialog's sky blue.
const QColor SkyBlue(166, 202, 240);
constexpr int CategoryRole = Qt::UserRole;

QCollator textOrder() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

TCategoryToolDlg::TCategoryToolDlg(QWidget* parent)
    : QWidget(parent), m_list(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("CategoryToolDlg"));
    setWindowTitle(QStringLiteral("Категория"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setObjectName(QStringLiteral("List"));
    m_list->setColumnCount(1);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QFont bold = m_list->font();
    bold.setBold(true);
    m_list->setFont(bold);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &TCategoryToolDlg::entrySelected);
}

void TCategoryToolDlg::Fill(const QList<TRegValueCategory*>& categories) {
    const QSignalBlocker block(m_list);
    m_list->clear();
    m_selected = nullptr;
    struct Entry {
        QString text;
        TRegValueCategory* category;
    };
    std::vector<Entry> entries;
    for (TRegValueCategory* c : categories)
        entries.push_back({c->Caption(), c});
    entries.push_back({AllParameters, nullptr});
    const QCollator collator = textOrder();
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return collator.compare(a.text, b.text) < 0;
    });
    for (const Entry& e : entries) {
        auto* item = new QTreeWidgetItem(m_list, QStringList{e.text});
        item->setData(0, CategoryRole, QVariant::fromValue(static_cast<QObject*>(e.category)));
    }
    fitColumn();
}

bool TCategoryToolDlg::SelectEntry(int position) {
    QTreeWidgetItem* item = m_list->topLevelItem(position);
    if (!item)
        return false;
    m_list->setCurrentItem(item);
    item->setSelected(true);
    return true;
}

QStringList TCategoryToolDlg::EntryTexts() const {
    QStringList out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        out << m_list->topLevelItem(i)->text(0);
    return out;
}

void TCategoryToolDlg::entrySelected() {
    const auto items = m_list->selectedItems();
    if (items.isEmpty())
        return;
    m_selected =
        qobject_cast<TRegValueCategory*>(items.front()->data(0, CategoryRole).value<QObject*>());
    if (OnSelect)
        OnSelect(m_selected);
}

void TCategoryToolDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitColumn();
}

void TCategoryToolDlg::fitColumn() {
    m_list->setColumnWidth(0, std::max(0, m_list->width() - 10));
}

TDtContainerDlg::TDtContainerDlg(QWidget* parent)
    : QDialog(parent), m_pane(new QWidget), m_paneTitle(new QLabel(m_pane)),
      m_splitter(new QSplitter(Qt::Horizontal)), m_valueList(new QTableWidget),
      m_ipQuery(new TIPQueryDlg(this)) {
    setObjectName(QStringLiteral("DtContainerDlg"));
    setSizeGripEnabled(true);
    resize(939, 496);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menu = new QMenuBar(this);
    m_actSetDefault = makeAction(this, "actSetDefault", QStringLiteral("&Set default"));
    menu->addAction(m_actSetDefault);
    layout->setMenuBar(menu);
    m_actExit = makeAction(this, "actExit", QStringLiteral("Exit"),
                           {.Shortcut = QKeySequence(Qt::Key_Escape)});
    addAction(m_actExit);
    connect(m_actSetDefault, &QAction::triggered, this, &TDtContainerDlg::setDefaultExecute);
    connect(m_actExit, &QAction::triggered, this, &QDialog::reject);

    m_pane->setObjectName(QStringLiteral("CategoryPane"));
    m_paneTitle->setObjectName(QStringLiteral("PaneTitle"));
    m_splitter->setObjectName(QStringLiteral("Splitter"));
    m_pane->setAutoFillBackground(true);
    QPalette palette = m_pane->palette();
    palette.setColor(QPalette::Window, SkyBlue);
    m_pane->setPalette(palette);
    auto* paneLayout = new QVBoxLayout(m_pane);
    paneLayout->setContentsMargins(2, 2, 2, 2);
    QFont titleFont = m_paneTitle->font();
    titleFont.setBold(true);
    m_paneTitle->setFont(titleFont);
    paneLayout->addWidget(m_paneTitle);

    m_valueList->setObjectName(QStringLiteral("ValueList"));
    m_valueList->verticalHeader()->hide();
    m_valueList->verticalHeader()->setDefaultSectionSize(m_valueList->fontMetrics().height() + 6);
    m_valueList->setShowGrid(true);
    m_valueList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_valueList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_valueList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_valueList->setSortingEnabled(false);
    m_valueList->horizontalHeader()->setSectionsClickable(false);
    m_valueList->installEventFilter(this);
    connect(m_valueList, &QTableWidget::cellDoubleClicked, this, [this] { EditSelected(); });

    m_splitter->addWidget(m_pane);
    m_splitter->addWidget(m_valueList);
    m_splitter->setHandleWidth(4);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(1, 1);
    layout->addWidget(m_splitter);
    setCategoryPaneWidth(250);
}

TDtContainerDlg::~TDtContainerDlg() = default;

void TDtContainerDlg::setCategoryPaneWidth(int width) {
    m_paneWidth = width;
    m_splitter->setSizes({width, std::max(1, this->width() - width - m_splitter->handleWidth())});
}

int TDtContainerDlg::CategoryPaneWidth() const {
    return m_splitter->sizes().value(0, m_paneWidth);
}

int TDtContainerDlg::Execute(TDataContainer* container) {
    m_container = container;
    if (!container)
        return QDialog::Rejected;
    setWindowTitle(container->Description());
    container->Load();
    m_category = nullptr;
    m_allCategories = true;
    setCategoryPaneWidth(250);

    m_categoryWindow = new TCategoryToolDlg(m_pane);
    m_paneTitle->setText(m_categoryWindow->windowTitle());
    m_pane->layout()->addWidget(m_categoryWindow);
    m_categoryWindow->OnSelect = [this](TRegValueCategory* c) { categorySelected(c); };
    const QList<TRegValueCategory*> categories = container->Categories();
    m_categoryWindow->Fill(categories);
    if (!m_categoryWindow->SelectEntry(static_cast<int>(categories.size())))
        fillValueList();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    const QPointer<TDtContainerDlg> self(this);
    const int result = exec();
    // Closed for whatever reason: the category window goes, the settings are written.
    if (self) {
        delete m_categoryWindow;
        m_categoryWindow = nullptr;
        m_rows.clear();
        m_valueList->setRowCount(0);
    }
    if (container)
        container->Save();
    return result;
}

void TDtContainerDlg::categorySelected(TRegValueCategory* category) {
    m_category = category;
    m_allCategories = category == nullptr;
    fillValueList();
}

void TDtContainerDlg::fillValueList() {
    m_valueList->clear();
    m_valueList->setRowCount(0);
    m_rows.clear();
    if (!m_container)
        return;
    const QList<TRegistryValueShell*> items = m_container->Items();
    if (m_allCategories) {
        m_valueList->setColumnCount(3);
        m_valueList->setHorizontalHeaderLabels(
            {QStringLiteral("Category"), QStringLiteral("Parameter"), QStringLiteral("Value")});
        m_valueList->setColumnWidth(0, 200);
        m_valueList->setColumnWidth(1, 250);
        m_valueList->setColumnWidth(2, 130);
        QStringList shownCategories;
        for (TRegValueCategory* category : m_container->Categories()) {
            for (TRegistryValueShell* v : items) {
                if (!v->Visible() || !v->Category() ||
                    v->Category()->Caption() != category->Caption())
                    continue;
                const int row = m_valueList->rowCount();
                m_valueList->insertRow(row);
                QString categoryText;
                if (!shownCategories.contains(category->Caption())) {
                    categoryText = category->Caption();
                    shownCategories << categoryText;
                }
                m_valueList->setItem(row, 0, new QTableWidgetItem(categoryText));
                m_rows << v;
                fillRow(row);
            }
        }
    } else {
        m_valueList->setColumnCount(2);
        m_valueList->setHorizontalHeaderLabels(
            {QStringLiteral("Parameter"), QStringLiteral("Value")});
        m_valueList->setColumnWidth(0, 250);
        m_valueList->setColumnWidth(1, 130);
        QList<TRegistryValueShell*> shown;
        for (TRegistryValueShell* v : items)
            if (v->Visible() && v->Category() == m_category)
                shown << v;
        const QCollator collator = textOrder();
        std::stable_sort(shown.begin(), shown.end(), [&](auto* a, auto* b) {
            return collator.compare(a->Caption(), b->Caption()) < 0;
        });
        for (TRegistryValueShell* v : shown) {
            const int row = m_valueList->rowCount();
            m_valueList->insertRow(row);
            m_rows << v;
            fillRow(row);
        }
    }
    m_valueList->horizontalHeaderItem(m_valueList->columnCount() - 1)
        ->setTextAlignment(Qt::AlignCenter);
    if (m_valueList->rowCount() > 0)
        m_valueList->selectRow(0);
}

void TDtContainerDlg::fillRow(int row) {
    TRegistryValueShell* v = RowValue(row);
    if (!v)
        return;
    const int parameterColumn = m_allCategories ? 1 : 0;
    auto* parameter = new QTableWidgetItem(v->Caption());
    auto* value = new QTableWidgetItem(RegistryValueText(*v));
    value->setTextAlignment(Qt::AlignCenter);
    m_valueList->setItem(row, parameterColumn, parameter);
    m_valueList->setItem(row, parameterColumn + 1, value);
    // A value longer than the column (a port with its adapter's name) widens it.
    const QAbstractItemView& view = *m_valueList; // sizeHintForColumn is public only there
    m_valueList->setColumnWidth(parameterColumn + 1,
                                std::max(m_valueList->columnWidth(parameterColumn + 1),
                                         view.sizeHintForColumn(parameterColumn + 1)));
    if (QTableWidgetItem* first = m_valueList->item(row, 0))
        first->setIcon(v->Modified() ? changedSettingIcon() : QIcon());
}

TRegistryValueShell* TDtContainerDlg::RowValue(int row) const {
    if (row < 0 || row >= m_rows.size())
        return nullptr;
    return m_rows[row];
}

int TDtContainerDlg::RowOf(const TRegistryValueShell* value) const {
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i] == value)
            return i;
    return -1;
}

bool TDtContainerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_valueList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            EditSelected();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDtContainerDlg::EditSelected() {
    const auto selected = m_valueList->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const int row = selected.front().row();
    const QPointer<TRegistryValueShell> value = RowValue(row);
    if (!value)
        return;
    if (value->runUserEditor() && value)
        editStandard(*value);
    fillRow(row);
}

void TDtContainerDlg::editStandard(TRegistryValueShell& value) {
    const QString valuePrompt = QStringLiteral("Value");
    const QVariant current = value.variantValue();
    switch (value.DateType()) {
    case TRegistryValueType::rvtInteger: {
        auto* integer = qobject_cast<TRegInteger*>(&value);
        if (integer && !integer->ValuesList().IsEmpty()) {
            if (const auto chosen = TIntValuesListDialog::Choose(*integer, this))
                integer->setValue(*chosen);
            return;
        }
        const auto text =
            prompter().inputText(value.Descriptor(), valuePrompt, QString::number(current.toInt()));
        if (!text)
            return;
        const auto number = ParseIntText(*text);
        if (!number) {
            prompter().tell(IntConvertErrorText(*text), MessageKind::Error);
            return;
        }
        value.setVariantValue(*number);
        return;
    }
    case TRegistryValueType::rvtBoolean:
        value.setVariantValue(!current.toBool());
        return;
    case TRegistryValueType::rvtDateTime:
    case TRegistryValueType::rvtDate:
    case TRegistryValueType::rvtTime: {
        const auto mode = value.DateType() == TRegistryValueType::rvtDate ? TDateTimeEditMode::Date
                          : value.DateType() == TRegistryValueType::rvtTime
                              ? TDateTimeEditMode::Time
                              : TDateTimeEditMode::DateTime;
        if (const auto chosen =
                TDateTimeValueDlg::Execute(mode, DaysToDateTime(current.toDouble()), this))
            value.setVariantValue(DateTimeToDays(*chosen));
        return;
    }
    case TRegistryValueType::rvtFloat: {
        const auto text =
            prompter().inputText(value.Descriptor(), valuePrompt,
                                 FormatFloatMask(current.toDouble(), value.FloatMask()));
        if (!text)
            return;
        const auto number = ParseFloatText(*text);
        if (!number) {
            prompter().tell(FloatConvertErrorText(*text), MessageKind::Error);
            return;
        }
        value.setVariantValue(*number);
        return;
    }
    case TRegistryValueType::rvtString:
        if (const auto text =
                prompter().inputText(value.Descriptor(), valuePrompt, current.toString()))
            value.setVariantValue(*text);
        return;
    case TRegistryValueType::rvtFileName:
        if (const auto name = prompter().openFileName(QStringLiteral("All files (*)")))
            value.setVariantValue(*name);
        return;
    case TRegistryValueType::rvtFolderName:
        // A cancelled browser leaves the folder as it was.
        if (const auto folder = prompter().folderName(current.toString()))
            value.setVariantValue(*folder);
        return;
    case TRegistryValueType::rvtIP:
        if (const auto text = m_ipQuery->Execute(current.toString()))
            value.setVariantValue(*text);
        return;
    }
}

void TDtContainerDlg::setDefaultExecute() {
    if (!m_container)
        return;
    if (prompter().ask(QStringLiteral("Set default data?"), PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return;
    m_container->SetDefaults();
    fillValueList();
}

void ExecuteDataContainerDialog(const TDataContainerDialog& component, QWidget* parent) {
    if (!component.DataContainer())
        return;
    TDtContainerDlg dialog(parent);
    dialog.setCategoryPaneWidth(component.MaxInstrumentalWidth());
    dialog.Execute(component.DataContainer());
}

} // namespace zorvan
