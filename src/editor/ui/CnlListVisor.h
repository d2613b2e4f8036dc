#pragma once

#include "components/ui/CustomView.h"
#include "editor/ui/DeviceOperationRunner.h"

#include <QIcon>
#include <QList>
#include <QPointer>
#include <functional>

class QAction;
class QComboBox;
class QLineEdit;
class QSplitter;
class QTabWidget;
class QToolBar;

namespace zorvan {

class TChannelMapModel;
class TChannelPropsDlg;
class TDragDropController;
class TReportListView;
class TTagList;
class TTagListModel;

// The channel map editor: the byte-order option, the device's tag list ("Tags") and the
// document's channel map ("Map") with register offsets, adding, editing, deleting and
// reordering channels. It owns no document data: it reads and changes CurrentImage() and
// calls MarkModified() after every change it makes.
class TCnlListVisorView : public TCustomView {
    Q_OBJECT
public:
    explicit TCnlListVisorView(QWidget* parent = nullptr);
    ~TCnlListVisorView() override;

    // The dialog that Add and Edit run (not owned); without one they do nothing.
    void SetChannelPropsDlg(TChannelPropsDlg* dialog);
    // Runs the current document's map in the execution window; Execute Map does nothing
    // without it. The composition root assigns it.
    std::function<void()> OnExecuteMap;
    // The controller that carries drags; GD()'s when none is set.
    void SetDragDropController(TDragDropController* controller);
    TDragDropController* DragDropController() const;

    // The Tags list shows this device tag list (not owned), as it is now; the tag-list read
    // sets it again after each run. Null empties the Tags list.
    void SetTagList(const TTagList* tags);

    // The Options selection and the Map list again from the current document.
    void UpdateView() override;
    // The view's texts are the same in every language.
    void UpdateLanguage() override {}

    // Actions.
    void actAddExecute();
    void actEditExecute();
    void actDeleteExecute();
    void actEditUpdate();
    void actDeleteUpdate();

    // Device actions, on the program-wide command objects and the connection they use.
    void actDownLoadExecute();
    void actUpLoadExecute();
    void actDownLoadCurrMapExecute();
    void actExecuteMapExecute();
    void actDownLoadUpdate();
    void actUpLoadUpdate();
    void actDownLoadCurrMapUpdate();
    void actExecuteMapUpdate();
    // A device command runs (Download tags, Upload Map, Download Map).
    bool DeviceOperationRunning() const { return m_deviceOperation.Running(); }
    // How long a device command runs before its progress window shows.
    int ProgressDelayMs() const { return m_deviceOperation.ShowDelayMs; }
    void SetProgressDelayMs(int ms) { m_deviceOperation.ShowDelayMs = ms; }

    // Every action's enabling again; runs on each selection or list change.
    void UpdateActions();

    // The user picked an Options entry.
    void OptionsCBChange(int index);

    // Drag and drop. The start handlers fill the controller; the drop logic runs without a
    // real drag: DropOnMap takes the source name, the dragged rows and the row under the
    // pointer (-1 for none) and returns whether the map changed.
    bool LVStartDrag();
    bool TagLVStartDrag();
    static bool LVDragOver(const QString& sourceName, int rowCount);
    void LVDragDrop(int targetRow);
    bool DropOnMap(const QString& sourceName, const QList<int>& rows, int targetRow);

    // Enter or a double click in either list: Edit, when it is enabled.
    void ListEditRequest();

    // The rows of the Tags and Map lists.
    TTagListModel* TagModel() const { return m_tagModel; }
    TChannelMapModel* MapModel() const { return m_mapModel; }

    // Row icons, 24 by 24: 0 the 16-bit types, 1 the 32-bit integers, 2 the floating point.
    QList<QIcon> RowImageList;

private:
    // The controls; each one's object name is its member name.
    QLineEdit* BaseAdrEdit;
    QComboBox* OptionsCB;
    QSplitter* Splitter;
    QTabWidget* TagsPageControl;
    QTabWidget* MapPageControl;
    QToolBar* TagsToolBar;
    QToolBar* MapToolBar;
    TReportListView* TagLV;
    TReportListView* LV;

    QAction* actAdd;
    QAction* actEdit;
    QAction* actDelete;
    QAction* actExecuteMap;
    QAction* actUpLoad;
    QAction* actDownLoadCurrMap;
    QAction* actDownLoad;

    TTagListModel* m_tagModel;
    TChannelMapModel* m_mapModel;

    void CreateActions();
    QWidget* CreateTopStrip();
    QWidget* CreatePages();
    QTabWidget* CreateTagsPage();
    QTabWidget* CreateMapPage();
    // The lists' drag, drop and edit handlers, and the enabling that follows the Map list.
    void ConnectLists();

    QPointer<TChannelPropsDlg> m_propsDlg;
    TDragDropController* m_dragDropController = nullptr;
    // Every device command runs here: Download tags is disabled meanwhile, and the view is
    // refreshed after it.
    TDeviceOperationRunner m_deviceOperation;
};

} // namespace zorvan
