#include "editor/ui/CnlListVisor.h"

#include "components/MDVLocalize.h"
#include "components/Prompter.h"
#include "components/XMLOptionsSerializer.h"
#include "components/ui/MakeAction.h"
#include "components/ui/ReportListView.h"
#include "components/ui/ThemeIcon.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/DragDropController.h"
#include "editor/GlobalData.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/DeviceOperationRunner.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace zorvan {

namespace {

constexpr int kTagsPageWidth = 425;
constexpr QSize kToolImageSize(32, 32);

TChannelList* currentMap() {
    TChannelImage* image = CurrentImage();
    return image ? image->Map() : nullptr;
}

// The interface language of the document module; English without one.
const TMDVLanguage& language() {
    static const TMDVLocalizationEnglish english;
    const TDm* dm = Dm();
    return dm ? dm->Link.Localization().Current() : english;
}

// A toolbar or page icon: the desktop theme's, else the drawing bundled in the program.
QIcon toolImage(const char* themeName) {
    return themeIcon(QString::fromLatin1(themeName));
}

QToolBar* makeToolBar(const char* name) {
    auto* bar = new QToolBar;
    bar->setObjectName(QString::fromLatin1(name));
    bar->setIconSize(kToolImageSize);
    // Text under the image: the Map toolbar then fits beside a Tags page of 425 in the
    // main window's design width.
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setMovable(false);
    bar->setFloatable(false);
    return bar;
}

// A page of a tool bar over a list.
QWidget* toolBarOver(QToolBar* bar, QWidget* list) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(list, 1);
    return page;
}

// A page control of one page whose tab stands on its left edge.
QTabWidget* makePage(const char* name, QWidget* page, const QIcon& icon, const QString& caption) {
    auto* control = new QTabWidget;
    control->setObjectName(QString::fromLatin1(name));
    control->setTabPosition(QTabWidget::West);
    control->setIconSize(kToolImageSize);
    control->setDocumentMode(false);
    control->addTab(page, icon, caption);
    return control;
}

} // namespace

TCnlListVisorView::TCnlListVisorView(QWidget* parent)
    : TCustomView(parent), m_deviceOperation(this) {
    setObjectName(QStringLiteral("CnlListVisorView"));
    for (const char* name : kValueKindIconNames)
        RowImageList.append(bundledIcon(QString::fromLatin1(name)));

    CreateActions();
    m_deviceOperation.OnRunningChange = [this] { actDownLoadUpdate(); };
    m_deviceOperation.OnFinished = [this] {
        UpdateView();
        UpdateActions();
    };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(CreateTopStrip());
    column->addWidget(CreatePages(), 1);

    UpdateView();
    UpdateActions();
}

TCnlListVisorView::~TCnlListVisorView() = default;

void TCnlListVisorView::CreateActions() {
    // Alt+X is the main window's Close and both Download buttons show at once: Execute Map and
    // Download tags take other letters, so that every Alt key of the window works.
    actAdd = makeAction(this, "actAdd", QStringLiteral("Add"), {.Icon = toolImage("list-add")});
    actEdit = makeAction(this, "actEdit", QStringLiteral("Edit"),
                         {.Icon = toolImage("document-edit"), .IconText = QStringLiteral("&Edit")});
    actDelete =
        makeAction(this, "actDelete", QStringLiteral("Delete"),
                   {.Icon = toolImage("edit-delete"), .IconText = QStringLiteral("De&lete")});
    actExecuteMap = makeAction(
        this, "actExecuteMap", QStringLiteral("Execute Map"),
        {.Icon = toolImage("media-playback-start"), .IconText = QStringLiteral("Execute &Map")});
    actUpLoad = makeAction(this, "actUpLoad", QStringLiteral("Upload Map"),
                           {.Icon = toolImage("go-up"), .IconText = QStringLiteral("&Upload Map")});
    actDownLoadCurrMap =
        makeAction(this, "actDownLoadCurrMap", QStringLiteral("Download Map"),
                   {.Icon = toolImage("go-down"), .IconText = QStringLiteral("&Download Map")});
    actDownLoad = makeAction(
        this, "actDownLoad", QStringLiteral("Download tags"),
        {.Icon = toolImage("view-refresh"), .IconText = QStringLiteral("Download &tags")});

    connect(actAdd, &QAction::triggered, this, &TCnlListVisorView::actAddExecute);
    connect(actEdit, &QAction::triggered, this, &TCnlListVisorView::actEditExecute);
    connect(actDelete, &QAction::triggered, this, &TCnlListVisorView::actDeleteExecute);
    connect(actDownLoad, &QAction::triggered, this, &TCnlListVisorView::actDownLoadExecute);
    connect(actUpLoad, &QAction::triggered, this, &TCnlListVisorView::actUpLoadExecute);
    connect(actDownLoadCurrMap, &QAction::triggered, this,
            &TCnlListVisorView::actDownLoadCurrMapExecute);
    connect(actExecuteMap, &QAction::triggered, this, &TCnlListVisorView::actExecuteMapExecute);
}

QWidget* TCnlListVisorView::CreateTopStrip() {
    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("TopPanel"));
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 4, 6, 2);

    BaseAdrEdit = new QLineEdit(QStringLiteral("0x4000"));
    BaseAdrEdit->setObjectName(QStringLiteral("BaseAdrEdit"));
    BaseAdrEdit->setReadOnly(true);
    BaseAdrEdit->setAlignment(Qt::AlignCenter);
    BaseAdrEdit->setFixedWidth(80);
    BaseAdrEdit->setFocusPolicy(Qt::ClickFocus);

    OptionsCB = new QComboBox;
    OptionsCB->setObjectName(QStringLiteral("OptionsCB"));
    OptionsCB->setEditable(false);
    OptionsCB->addItems(ByteOrderLabels());
    OptionsCB->setCurrentIndex(0);
    // Only a user's pick comes through activated; UpdateView's selection does not.
    connect(OptionsCB, &QComboBox::activated, this, &TCnlListVisorView::OptionsCBChange);

    auto* baseLabel = new QLabel(QStringLiteral("Base address"));
    baseLabel->setBuddy(BaseAdrEdit);
    auto* optionsLabel = new QLabel(QStringLiteral("Options"));
    optionsLabel->setBuddy(OptionsCB);

    row->addWidget(baseLabel);
    row->addWidget(BaseAdrEdit);
    row->addSpacing(16);
    row->addWidget(optionsLabel);
    row->addWidget(OptionsCB);
    row->addStretch(1);
    return strip;
}

QWidget* TCnlListVisorView::CreatePages() {
    TagsPageControl = CreateTagsPage();
    MapPageControl = CreateMapPage();

    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setChildrenCollapsible(false);
    Splitter->addWidget(TagsPageControl);
    Splitter->addWidget(MapPageControl);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({kTagsPageWidth, 1000});

    ConnectLists();
    return Splitter;
}

QTabWidget* TCnlListVisorView::CreateTagsPage() {
    TagsToolBar = makeToolBar("TagsToolBar");
    TagsToolBar->addAction(actDownLoad);
    m_tagModel = new TTagListModel(RowImageList, this);
    TagLV = new TReportListView;
    TagLV->setObjectName(QStringLiteral("TagLV"));
    TagLV->setModel(m_tagModel);
    TagLV->SetColumnWidths({50, 70, 80, 130});
    return makePage("TagsPageControl", toolBarOver(TagsToolBar, TagLV),
                    toolImage("view-list-details"), QStringLiteral("Tags"));
}

QTabWidget* TCnlListVisorView::CreateMapPage() {
    MapToolBar = makeToolBar("MapToolBar");
    MapToolBar->addAction(actExecuteMap);
    MapToolBar->addSeparator();
    MapToolBar->addAction(actEdit);
    MapToolBar->addAction(actDelete);
    MapToolBar->addSeparator();
    MapToolBar->addAction(actUpLoad);
    MapToolBar->addAction(actDownLoadCurrMap);
    m_mapModel = new TChannelMapModel(currentMap, RowImageList, this);
    LV = new TReportListView;
    LV->setObjectName(QStringLiteral("LV"));
    LV->setModel(m_mapModel);
    LV->SetColumnWidths({130, 80, 80, 130, 200});
    LV->setContextMenuPolicy(Qt::ActionsContextMenu);
    LV->addAction(actAdd);
    LV->addAction(actEdit);
    LV->addAction(actDelete);
    return makePage("MapPageControl", toolBarOver(MapToolBar, LV),
                    toolImage("x-office-spreadsheet"), QStringLiteral("Map"));
}

void TCnlListVisorView::ConnectLists() {
    LV->OnStartDrag = [this] { return LVStartDrag(); };
    TagLV->OnStartDrag = [this] { return TagLVStartDrag(); };
    const auto endDrag = [this] {
        if (TDragDropController* controller = DragDropController())
            controller->EndDrag();
    };
    LV->OnEndDrag = endDrag;
    TagLV->OnEndDrag = endDrag;
    LV->OnDragOver = [this] {
        const TDragDropController* controller = DragDropController();
        return controller && LVDragOver(controller->SourceName(), controller->Count());
    };
    TagLV->OnDragOver = [] { return false; }; // the Tags list takes no drop
    LV->OnDragDrop = [this](int targetRow) { LVDragDrop(targetRow); };
    for (TReportListView* list : {LV, TagLV}) {
        list->OnEnter = [this] { ListEditRequest(); };
        list->OnDblClick = [this] { ListEditRequest(); };
    }
    connect(LV->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TCnlListVisorView::UpdateActions);
    connect(m_mapModel, &QAbstractItemModel::modelReset, this, &TCnlListVisorView::UpdateActions);
    connect(m_mapModel, &QAbstractItemModel::rowsInserted, this, &TCnlListVisorView::UpdateActions);
    connect(m_mapModel, &QAbstractItemModel::rowsRemoved, this, &TCnlListVisorView::UpdateActions);
}

void TCnlListVisorView::SetChannelPropsDlg(TChannelPropsDlg* dialog) {
    m_propsDlg = dialog;
}

void TCnlListVisorView::SetDragDropController(TDragDropController* controller) {
    m_dragDropController = controller;
}

TDragDropController* TCnlListVisorView::DragDropController() const {
    if (m_dragDropController)
        return m_dragDropController;
    TGD* gd = GD();
    return gd ? &gd->DragDropController() : nullptr;
}

// --- refresh ---------------------------------------------------------------------------------

void TCnlListVisorView::UpdateView() {
    const TChannelImage* image = CurrentImage();
    const quint32 options = image ? image->Options : 0;
    // An unknown value shows the first entry and stays as it is in the document.
    OptionsCB->setCurrentIndex(
        options < static_cast<quint32>(OptionsCB->count()) ? static_cast<int>(options) : 0);
    m_mapModel->Reset();
}

void TCnlListVisorView::OptionsCBChange(int index) {
    TChannelImage* image = CurrentImage();
    if (!image || index < 0)
        return;
    image->Options = static_cast<quint32>(index);
    MarkModified();
}

// --- actions ---------------------------------------------------------------------------------

void TCnlListVisorView::UpdateActions() {
    actEditUpdate();
    actDeleteUpdate();
    actDownLoadUpdate();
    actUpLoadUpdate();
    actDownLoadCurrMapUpdate();
    actExecuteMapUpdate();
}

void TCnlListVisorView::actEditUpdate() {
    actEdit->setEnabled(LV->selectionModel()->selectedRows().size() == 1);
}

void TCnlListVisorView::actDeleteUpdate() {
    actDelete->setEnabled(LV->selectionModel()->hasSelection());
}

void TCnlListVisorView::actAddExecute() {
    TChannelList* map = currentMap();
    if (!map || !m_propsDlg || !m_propsDlg->Execute(nullptr))
        return;
    const int rowsBefore = m_mapModel->rowCount();
    const bool inStep = rowsBefore == map->Count();
    AssignProperties(map->Add(), m_propsDlg->WorkChannel());
    if (inStep)
        m_mapModel->AppendRow();
    else
        m_mapModel->Reset(); // the list was changed behind the view's back
    MarkModified();
}

void TCnlListVisorView::actEditExecute() {
    actEditUpdate();
    if (!actEdit->isEnabled())
        return;
    const QList<int> rows = LV->SelectedRows();
    TChannelList* map = currentMap();
    TChannelItem* item = map && rows.size() == 1 ? map->Items(rows.first()) : nullptr;
    if (!item || !m_propsDlg || !m_propsDlg->Execute(item))
        return;
    // The item may have gone while the dialog ran only if something else changed the map.
    if (map->IndexOf(item) != rows.first())
        return;
    AssignProperties(item, m_propsDlg->WorkChannel());
    m_mapModel->UpdateRow(rows.first());
    MarkModified();
}

void TCnlListVisorView::actDeleteExecute() {
    const QList<int> rows = LV->SelectedRows();
    TChannelList* map = currentMap();
    if (rows.isEmpty() || !map)
        return;
    if (prompter().ask(QStringLiteral("Delete items?"), PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    // The items first, then the removals: positions shift as items go.
    QList<TChannelItem*> items;
    items.reserve(rows.size());
    for (int row : rows)
        if (TChannelItem* item = map->Items(row))
            items.append(item);
    for (TChannelItem* item : std::as_const(items)) {
        map->Remove(item);
        MarkModified();
    }
    m_mapModel->RemoveRows(rows);
    UpdateActions();
}

void TCnlListVisorView::ListEditRequest() {
    actEditUpdate();
    if (actEdit->isEnabled())
        actEdit->trigger();
}

// --- device actions --------------------------------------------------------------------------

namespace {

// Marks the document changed when there is one open to take the mark.
void markActiveDocumentModified() {
    if (TDm* dm = Dm(); dm && dm->Link.Active())
        MarkModified();
}

} // namespace

void TCnlListVisorView::actDownLoadUpdate() {
    actDownLoad->setEnabled(!m_deviceOperation.Running());
}

void TCnlListVisorView::actUpLoadUpdate() {
    actUpLoad->setEnabled(m_mapModel->rowCount() > 0);
}

void TCnlListVisorView::actDownLoadCurrMapUpdate() {
    actDownLoadCurrMap->setEnabled(true);
}

void TCnlListVisorView::actExecuteMapUpdate() {
    actExecuteMap->setEnabled(m_mapModel->rowCount() > 0);
}

void TCnlListVisorView::actDownLoadExecute() {
    actDownLoadUpdate();
    if (!actDownLoad->isEnabled())
        return;
    TUpdateTagListCmd* command = UpdateTagListCmd();
    // The read starts by emptying the command's list: the rows let go of it first, rather than
    // show a list that changes under them while the progress window repaints.
    SetTagList(nullptr);
    m_deviceOperation.Run(
        *command, actDownLoad->text(), false,
        [text = language().TagsReadText](int done, int) { return text.arg(done); },
        // Whatever the result: the tags read before a failure are shown too.
        [this, command](bool) { SetTagList(command->TagList()); });
}

void TCnlListVisorView::actUpLoadExecute() {
    actUpLoadUpdate();
    if (!actUpLoad->isEnabled())
        return;
    TUploadCurrMapCmd* command = UploadCurrMapCmd();
    // The flash request goes through Space1, to the device the map goes to.
    TModbusMapConn* connection = command->Connection() ? command->Connection() : ModbusMapConn();
    if (connection)
        connection->Space1.setDeviceAddress(connection->ZorvanSpace.DeviceAddress());
    command->setTarget(CurrentImage());
    m_deviceOperation.Run(
        *command, actUpLoad->text(), true,
        [text = language().EntryWrittenText](int done, int total) {
            return text.arg(done).arg(total);
        },
        [command](bool) { command->setTarget(nullptr); });
}

void TCnlListVisorView::actDownLoadCurrMapExecute() {
    actDownLoadCurrMapUpdate();
    if (!actDownLoadCurrMap->isEnabled())
        return;
    TDownloadCurrMapCmd* command = DownloadCurrMapCmd();
    TChannelImage* image = CurrentImage();
    const TImageContent before(image);
    command->setTarget(image);
    m_deviceOperation.Run(
        *command, actDownLoadCurrMap->text(), true,
        [text = language().EntryReadText](int done, int total) {
            return text.arg(done).arg(total);
        },
        // A download replaces the map, also when it breaks off half-way or finds the device's
        // map empty: a changed document must ask to be saved, or the old map is lost unasked.
        [command, image, &before](bool) {
            command->setTarget(nullptr);
            if (image && image == CurrentImage() && TImageContent(image) != before)
                markActiveDocumentModified();
        });
}

void TCnlListVisorView::actExecuteMapExecute() {
    actExecuteMapUpdate();
    if (!actExecuteMap->isEnabled())
        return;
    if (OnExecuteMap)
        OnExecuteMap();
}

// --- drag and drop ---------------------------------------------------------------------------

bool TCnlListVisorView::LVStartDrag() {
    TDragDropController* controller = DragDropController();
    if (!controller)
        return false;
    controller->StartDrag(TDragDropController::MapListSource);
    for (int row : LV->SelectedRows())
        controller->AddRow(row);
    return controller->Count() > 0;
}

bool TCnlListVisorView::TagLVStartDrag() {
    TDragDropController* controller = DragDropController();
    if (!controller)
        return false;
    controller->StartDrag(TDragDropController::TagListSource);
    for (int row : TagLV->SelectedRows())
        controller->AddRow(row);
    return controller->Count() > 0;
}

bool TCnlListVisorView::LVDragOver(const QString& sourceName, int rowCount) {
    // Map rows are swapped one against one; every other drag may land.
    return !(sourceName == TDragDropController::MapListSource && rowCount > 1);
}

void TCnlListVisorView::LVDragDrop(int targetRow) {
    TDragDropController* controller = DragDropController();
    if (!controller)
        return;
    DropOnMap(controller->SourceName(), controller->Rows(), targetRow);
    controller->EndDrag();
}

bool TCnlListVisorView::DropOnMap(const QString& sourceName, const QList<int>& rows,
                                  int targetRow) {
    TChannelList* map = currentMap();
    if (!map || !LVDragOver(sourceName, static_cast<int>(rows.size())))
        return false;
    if (sourceName == TDragDropController::MapListSource) {
        // A swap needs exactly one dragged row and a row under the pointer, both in the map.
        if (rows.size() != 1 || targetRow < 0 || targetRow >= map->Count())
            return false;
        const int dragged = rows.first();
        if (dragged < 0 || dragged >= map->Count() || dragged == targetRow)
            return false;
        map->Exchange(dragged, targetRow);
        UpdateView();
        MarkModified();
        return true;
    }
    if (sourceName == TDragDropController::TagListSource) {
        // The dragged tags land in their order in front of the row under the pointer, or at
        // the end without one.
        int placed = 0;
        for (int row : rows) {
            const TTagListItem* tag = m_tagModel->Tag(row);
            if (!tag)
                continue;
            TChannelItem* item = targetRow >= 0 && targetRow < map->Count()
                                     ? map->Insert(targetRow + placed)
                                     : map->Add();
            // The device's unsigned numbers are kept bit for bit.
            item->Channel = static_cast<int>(tag->Channel);
            item->ParamType = static_cast<int>(tag->DataType);
            item->TagName = tag->TagName;
            item->TagIndex = row;
            item->Note.clear();
            ++placed;
        }
        if (placed == 0)
            return false;
        UpdateView();
        MarkModified();
        return true;
    }
    return false;
}

void TCnlListVisorView::SetTagList(const TTagList* tags) {
    m_tagModel->SetTagList(tags);
}

} // namespace zorvan
