#pragma once

#include "settings/DataContainer.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QAction;
class QLabel;
class QSplitter;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace zorvan {

class TDataContainerDialog;
class TIPQueryDlg;

// The category window ("Категория"): the container's categories and "(All Parameters)", bold,
// sorted by text. Selecting an entry reports its category (none for all) to the dialog.
class TCategoryToolDlg : public QWidget {
    Q_OBJECT
public:
    explicit TCategoryToolDlg(QWidget* parent = nullptr);

    // One entry per category of the list and one for all, sorted; nothing selected yet.
    void Fill(const QList<TRegValueCategory*>& categories);
    // Selects the entry at the position (from 0); false when there is none there.
    bool SelectEntry(int position);
    QTreeWidget* List() const { return m_list; }
    QStringList EntryTexts() const;
    TRegValueCategory* SelectedCategory() const { return m_selected; }

    // Called with the entry's category, or null for "(All Parameters)".
    std::function<void(TRegValueCategory* category)> OnSelect;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void entrySelected();
    void fitColumn();

    QTreeWidget* m_list;
    QPointer<TRegValueCategory> m_selected;
};

// The options dialog: categories on the left, the settings of the chosen category on the
// right, each edited with the editor of its kind. Changes apply at once and are written when
// the dialog closes, however it closes.
class TDtContainerDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDtContainerDlg(QWidget* parent = nullptr);
    ~TDtContainerDlg() override;

    void setCategoryPaneWidth(int width);
    int CategoryPaneWidth() const;

    // Reloads the container's settings, shows them modally and saves them afterwards.
    int Execute(TDataContainer* container);

    TCategoryToolDlg* CategoryWindow() const { return m_categoryWindow; }
    QTableWidget* ValueList() const { return m_valueList; }
    QSplitter* Splitter() const { return m_splitter; }
    QAction* actSetDefault() const { return m_actSetDefault; }
    QAction* actExit() const { return m_actExit; }
    bool AllCategories() const { return m_allCategories; }
    TRegValueCategory* SelectedCategory() const { return m_category; }

    TRegistryValueShell* RowValue(int row) const;
    int RowOf(const TRegistryValueShell* value) const; // -1 when not listed
    // Edits the setting of the selected row, as a double click or Enter does.
    void EditSelected();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void categorySelected(TRegValueCategory* category);
    void fillValueList();
    void fillRow(int row);
    void editStandard(TRegistryValueShell& value);
    void setDefaultExecute();

    QPointer<TDataContainer> m_container;
    QPointer<TRegValueCategory> m_category;
    bool m_allCategories = true;
    QWidget* m_pane;
    QLabel* m_paneTitle;
    QSplitter* m_splitter;
    QTableWidget* m_valueList;
    TCategoryToolDlg* m_categoryWindow = nullptr;
    TIPQueryDlg* m_ipQuery;
    QAction* m_actSetDefault;
    QAction* m_actExit;
    QList<QPointer<TRegistryValueShell>> m_rows;
    int m_paneWidth = 250;
};

// Runs the options dialog of the component: nothing when it has no container.
void ExecuteDataContainerDialog(const TDataContainerDialog& component, QWidget* parent = nullptr);

} // namespace zorvan
