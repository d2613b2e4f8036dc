#include "execution/ui/ModbusMapExecUnit.h"

#include "comm/ModbusTransport.h"
#include "components/AtomicFile.h"
#include "components/MDVLocalize.h"
#include "components/Prompter.h"
#include "components/ui/MakeAction.h"
#include "components/ui/ReportListView.h"
#include "components/ui/ThemeIcon.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "execution/MapRun.h"
#include "execution/PortRecovery.h"
#include "execution/TrafficLog.h"
#include "execution/ValueText.h"
#include "execution/ui/ChartLegend.h"
#include "execution/ui/TimePlot.h"
#include "execution/ui/UpdateChart.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace zorvan {

namespace {

TModbusMapExecDlg* instance = nullptr;

// Now, as the local time's offset from UTC.
// The local time at a fixed offset from UTC. The offset is looked up at most once a minute (the
// lookup reads the time-zone file), so a change of daylight saving time shows within a minute.
QDateTime LocalNow() {
    static qint64 checkedAt = 0;
    static int offset = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (checkedAt == 0 || now < checkedAt || now - checkedAt >= 60000) {
        offset = QDateTime::currentDateTime().offsetFromUtc();
        checkedAt = now;
    }
    return QDateTime::fromMSecsSinceEpoch(now, Qt::OffsetFromUTC, offset);
}

constexpr QSize kToolImageSize(32, 32);
constexpr QSize kTabImageSize(24, 24);
constexpr int kValueListWidth = 465;

// The decorative band under the tool bar: a vertical gradient, no outline.
class TGradientBand : public QWidget {
public:
    explicit TGradientBand(QWidget* parent = nullptr) : QWidget(parent) {
        setObjectName(QStringLiteral("GradientBand"));
        setFixedHeight(26);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(0, 142, 210));
        gradient.setColorAt(1, QColor(0, 89, 132));
        painter.fillRect(rect(), gradient);
    }
};

// Selected rows of the value list are drawn in bold.
class TBoldSelectionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_Selected)
            option->font.setBold(true);
    }
};

// Rows of failed exchanges are drawn in red.
class TFailureRowDelegate : public QStyledItemDelegate {
public:
    TFailureRowDelegate(const TrafficLog* log, QObject* parent)
        : QStyledItemDelegate(parent), m_log(log) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_log->isFailure(index.row()))
            option->palette.setColor(QPalette::Text, Qt::red);
    }

private:
    const TrafficLog* m_log;
};

// The interface language's texts; English when there is no document module.
const TMDVLanguage& Language() {
    static const TMDVLocalizationEnglish english;
    return Dm() ? Dm()->Link.Localization().Current() : english;
}

QLineEdit* makeCounterBox(const char* name) {
    auto* box = new QLineEdit(QStringLiteral("0"));
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignCenter);
    box->setFixedWidth(90);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TValueListModel

TValueListModel::TValueListModel(QObject* parent) : QAbstractTableModel(parent) {
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(RepaintInterval);
    connect(&m_repaintTimer, &QTimer::timeout, this, [this] {
        // Cell by cell: a view repaints a single changed cell, but all of itself for a range.
        for (int row = 0; row < Count(); ++row)
            if (std::exchange(m_rows[std::size_t(row)].Changed, false))
                emit dataChanged(index(row, ValueColumn), index(row, ValueColumn));
    });
}

void TValueListModel::AddRow(const TDataChannelProfile& profile, int channel) {
    const int row = Count();
    beginInsertRows({}, row, row);
    Row added;
    added.Profile = profile;
    added.Channel = channel;
    m_rows.push_back(std::move(added));
    endInsertRows();
}

void TValueListModel::Clear() {
    if (m_rows.empty())
        return;
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    endResetModel();
}

void TValueListModel::ShowRow(int row) {
    Row& r = m_rows.at(std::size_t(row));
    const TModbusParameter* parameter = r.Profile.Parameter;
    if (!parameter)
        return;
    QString value = r.Read ? ValueText(*parameter) : QString();
    if (value != r.Texts[ValueColumn]) {
        r.Texts[ValueColumn] = std::move(value);
        markChanged(r);
    }
    // Channel, name and address do not change during a run: made once.
    if (r.Texts[ChannelColumn].isEmpty()) {
        r.Texts[ChannelColumn] = ChannelNumberText(r.Channel);
        r.Texts[ParameterColumn] = TagNameText(parameter->Description());
        r.Texts[OffsetColumn] = OffsetText(*parameter);
    }
}

void TValueListModel::SetReadState(int row, bool read, bool stale) {
    Row& r = m_rows.at(std::size_t(row));
    if (r.Read != read || r.Stale != stale)
        markChanged(r);
    r.Read = read;
    r.Stale = stale;
}

// Repainting the list after every cycle cost more than the polling; only values change.
void TValueListModel::markChanged(Row& row) {
    row.Changed = true;
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

int TValueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TValueListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TValueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count() || index.column() >= ColumnCount)
        return {};
    const Row& r = m_rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return r.Texts[std::size_t(index.column())];
    case Qt::CheckStateRole:
        if (index.column() == ChannelColumn)
            return r.Checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (index.column() == ValueColumn && r.Stale)
            return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ValueColumn || index.column() == OffsetColumn)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool TValueListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ChannelColumn ||
        index.row() >= Count())
        return false;
    Row& r = m_rows[std::size_t(index.row())];
    r.Checked = value.toInt() == Qt::Checked;
    // The row's series is shown exactly while the row is checked.
    if (r.Profile.Series) {
        if (OnCheck)
            OnCheck(r.Profile.Series, r.Checked);
        else
            r.Profile.Series->setVisible(r.Checked);
    }
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags TValueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ChannelColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TValueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ChannelColumn:
        return QStringLiteral("Channel");
    case ParameterColumn:
        return QStringLiteral("Параметр");
    case ValueColumn:
        return QStringLiteral("Value");
    case OffsetColumn:
        return QStringLiteral("Offset");
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------------
// TModbusMapExecDlg

TModbusMapExecDlg::TModbusMapExecDlg(TModbusMapConn* conn, QWidget* parent)
    : QDialog(parent), m_conn(conn) {
    setObjectName(QStringLiteral("ModbusMapExecDlg"));
    setWindowTitle(QStringLiteral("Modbus Map"));
    resize(927, 508);
    setSizeGripEnabled(true);

    CreateActions();
    CreateLogActions();

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setIconSize(kToolImageSize);
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->addAction(actStart);
    ToolBar->addAction(actStop);
    ToolBar->addSeparator();
    ToolBar->addAction(actClearChart);
    ToolBar->addSeparator();
    ToolBar->addAction(actS2F);
    ToolBar->addSeparator();
    ToolBar->addAction(actRecord);

    GradientBand = new TGradientBand(this);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setIconSize(kTabImageSize);
    QFont tabFont = PageControl->tabBar()->font();
    tabFont.setBold(true);
    PageControl->tabBar()->setFont(tabFont);
    PageControl->addTab(CreateMapPage(), themeIcon(QStringLiteral("x-office-spreadsheet")),
                        QStringLiteral("Карта регистров"));
    PageControl->addTab(CreateTrafficPage(), themeIcon(QStringLiteral("network-transmit-receive")),
                        QStringLiteral("Трафик"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(ToolBar);
    column->addWidget(GradientBand);
    column->addWidget(PageControl, 1);

    m_updateChart = new TUpdateChart(this);
    m_updateChart->setObjectName(QStringLiteral("UpdateChart"));
    m_updateChart->setChart(Chart);
    m_updateChart->setVertMinMaxAdjust(true);
    m_updateChart->setAutoScroll(true);
    m_updateChart->setTimeInterval(30);
    m_updateChart->setUpdateInterval(0);
    // One reading of the clock per cycle: the values of a cycle were read together. It is kept
    // as a fixed offset from UTC, the same moment as the local time: every use of a local-time
    // date-time (the chart turns each point's into milliseconds) consults the time-zone file,
    // a thousand times per cycle for a map of a thousand channels.
    m_updateChart->Now = [this] { return m_cycleTime.isValid() ? m_cycleTime : LocalNow(); };

    m_processTimer.setInterval(TMapRun::TickInterval);
    m_processTimer.OnTimer = [this] { ProcessTimerTimer(); };

    // For the life of the window: device commands run from the editor are logged as well.
    if (m_conn)
        m_conn->Transport.OnRequest = [this](bool aOut, const TRequest& aRequest) {
            LogPacket(aOut, aRequest);
        };

    m_valueModel->Clear();
    UpdateActions();
    if (!instance)
        instance = this;
}

TModbusMapExecDlg::~TModbusMapExecDlg() {
    if (instance == this)
        instance = nullptr;
    if (m_conn)
        m_conn->Transport.OnRequest = nullptr;
    // The rows refer to the run's parameters and the chart's series: they go first.
    m_valueModel->Clear();
    m_run.reset();
}

TModbusMapExecDlg* ModbusMapExecDlg() {
    return instance;
}

QColor TModbusMapExecDlg::SeriesColor(int n) {
    static const QColor cycle[10] = {
        QColor(255, 0, 0),   QColor(0, 0, 255),   QColor(0, 128, 0), QColor(128, 128, 128),
        QColor(0, 0, 0),     QColor(128, 0, 0),   QColor(0, 0, 128), QColor(128, 0, 128),
        QColor(0, 128, 128), QColor(255, 0, 255),
    };
    return cycle[((n % 10) + 10) % 10];
}

void TModbusMapExecDlg::CreateActions() {
    actStart = makeAction(this, "actStart", QStringLiteral("&Start"),
                          {.Icon = themeIcon(QStringLiteral("media-playback-start"))});
    actStop = makeAction(this, "actStop", QStringLiteral("S&top"),
                         {.Icon = themeIcon(QStringLiteral("media-playback-stop"))});
    actClearChart = makeAction(this, "actClearChart", QStringLiteral("&ClearChart"),
                               {.Icon = themeIcon(QStringLiteral("edit-clear"))});
    // A tool button shows the icon text; with the '&' kept it underlines the letter and answers
    // its Alt key.
    for (QAction* action : {actStart, actStop, actClearChart})
        action->setIconText(action->text());
    actS2F = makeAction(this, "actS2F", QStringLiteral("SaveToFlash"),
                        {.Icon = themeIcon(QStringLiteral("media-flash"))});
    const QString hint = QStringLiteral("Сохранить настройки в Flash-память");
    actS2F->setToolTip(hint);
    actS2F->setStatusTip(hint);
    actExit = makeAction(this, "actExit", QStringLiteral("Exit"),
                         {.Shortcut = QKeySequence(Qt::Key_Escape)});
    addAction(actExit);
    actCopyToClipboard =
        makeAction(this, "actCopyToClipboard", QStringLiteral("Copy to Clipboard"));
    actSetValue = makeAction(this, "actSetValue", QStringLiteral("Set Value"));
    actClear = makeAction(this, "actClear", QStringLiteral("Clear"));
    actShowTraffic = makeAction(this, "actShowTraffic", QStringLiteral("Show traffic"));
    actShowTraffic->setCheckable(true);
    actShowTraffic->setChecked(false);

    connect(actStart, &QAction::triggered, this, &TModbusMapExecDlg::actStartExecute);
    connect(actStop, &QAction::triggered, this, &TModbusMapExecDlg::actStopExecute);
    connect(actClearChart, &QAction::triggered, this, &TModbusMapExecDlg::actClearChartExecute);
    connect(actS2F, &QAction::triggered, this, &TModbusMapExecDlg::actS2FExecute);
    connect(actExit, &QAction::triggered, this, &TModbusMapExecDlg::actExitExecute);
    connect(actCopyToClipboard, &QAction::triggered, this,
            &TModbusMapExecDlg::actCopyToClipboardExecute);
    connect(actSetValue, &QAction::triggered, this, &TModbusMapExecDlg::actSetValueExecute);
    connect(actClear, &QAction::triggered, this, &TModbusMapExecDlg::actClearTrafficExecute);
}

QWidget* TModbusMapExecDlg::CreateMapPage() {
    m_valueModel = new TValueListModel(this);
    ValueLV = new TReportListView;
    ValueLV->setObjectName(QStringLiteral("ValueLV"));
    // Rows neither drag out nor take drops.
    ValueLV->setDragEnabled(false);
    ValueLV->setDragDropMode(QAbstractItemView::NoDragDrop);
    ValueLV->viewport()->setAcceptDrops(false);
    m_valueModel->OnCheck = [this](TPlotSeries* series, bool checked) {
        ShowSeries(series, checked);
    };
    ValueLV->setModel(m_valueModel);
    ValueLV->setItemDelegate(new TBoldSelectionDelegate(ValueLV));
    ValueLV->verticalHeader()->setDefaultSectionSize(20);
    ValueLV->SetColumnWidths({80, 200, 70, 85});
    ValueLV->setContextMenuPolicy(Qt::ActionsContextMenu);
    ValueLV->addAction(actSetValue);
    ValueLV->OnEnter = [this] { actSetValueExecute(); };
    ValueLV->OnDblClick = [this] { LVDblClick(); };

    // The title the chart would carry is empty: the plot draws none.
    Chart = new TTimePlot;
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setBackground(QColor(168, 255, 168));
    ChartLegend = new TChartLegend(Chart);
    auto* chartPane = new QWidget;
    auto* chartRow = new QHBoxLayout(chartPane);
    chartRow->setContentsMargins(0, 0, 0, 0);
    chartRow->setSpacing(0);
    chartRow->addWidget(Chart, 1);
    chartRow->addWidget(ChartLegend);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("MapSplitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(ValueLV);
    splitter->addWidget(chartPane);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kValueListWidth, 927 - kValueListWidth});
    return splitter;
}

QWidget* TModbusMapExecDlg::CreateTrafficPage() {
    m_traffic = new TrafficLog(this);
    TrafficLV = new QTableView;
    TrafficLV->setObjectName(QStringLiteral("TrafficLV"));
    TrafficLV->setModel(m_traffic);
    TrafficLV->setShowGrid(true);
    TrafficLV->setSelectionBehavior(QAbstractItemView::SelectRows);
    TrafficLV->setSelectionMode(QAbstractItemView::SingleSelection);
    TrafficLV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TrafficLV->setWordWrap(false);
    TrafficLV->verticalHeader()->hide();
    // Fixed row heights: a log of millions of rows is never measured.
    TrafficLV->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    TrafficLV->verticalHeader()->setDefaultSectionSize(20);
    TrafficLV->horizontalHeader()->setSectionsClickable(false);
    TrafficLV->horizontalHeader()->setStretchLastSection(true);
    TrafficLV->horizontalHeader()->resizeSection(
        TrafficLog::TimeColumn,
        TrafficLV->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 16);
    TrafficLV->setContextMenuPolicy(Qt::ActionsContextMenu);
    TrafficLV->addAction(actClear);
    TrafficLV->addAction(actShowTraffic);
    TrafficLV->addAction(actCopyToClipboard);
    TrafficLV->addAction(actSaveTraffic);
    TrafficLV->setItemDelegate(new TFailureRowDelegate(m_traffic, TrafficLV));
    // The view follows new rows while it shows the last one.
    connect(m_traffic, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = TrafficLV->verticalScrollBar();
        m_trafficAtBottom = bar->value() >= bar->maximum();
    });
    connect(m_traffic, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_trafficAtBottom)
            TrafficLV->scrollToBottom();
    });
    connect(TrafficLV->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TModbusMapExecDlg::UpdateActions);
    // A reset (Clear) drops the selection without a selectionChanged.
    connect(m_traffic, &QAbstractItemModel::modelReset, this, &TModbusMapExecDlg::UpdateActions);

    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("CounterPanel"));
    panel->setFixedHeight(41);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(8, 4, 8, 4);
    RequestCountEdit = makeCounterBox("RequestCountEdit");
    ErrorCountEdit = makeCounterBox("ErrorCountEdit");
    auto* requestLabel = new QLabel(QStringLiteral("Количество запросов"));
    requestLabel->setBuddy(RequestCountEdit);
    auto* errorLabel = new QLabel(QStringLiteral("Количество ошибок"));
    errorLabel->setBuddy(ErrorCountEdit);
    row->addWidget(requestLabel);
    row->addWidget(RequestCountEdit);
    row->addSpacing(24);
    row->addWidget(errorLabel);
    row->addWidget(ErrorCountEdit);
    row->addStretch(1);

    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(TrafficLV, 1);
    column->addWidget(panel);
    return page;
}

bool TModbusMapExecDlg::Running() const {
    return m_recovery || (m_conn && m_conn->PortDrv.IsOpen());
}

void TModbusMapExecDlg::UpdateActions() {
    const bool open = Running();
    actStart->setEnabled(!open);
    actStop->setEnabled(open);
    actS2F->setEnabled(open);
    const bool selected = TrafficLV->selectionModel() &&
                          TrafficLV->selectionModel()->hasSelection() && m_traffic->count() > 0;
    actCopyToClipboard->setEnabled(selected);
}

// ---------------------------------------------------------------------------------------------
// The run

void TModbusMapExecDlg::ExecuteMap() {
    ExecuteMap(CurrentImage());
}

void TModbusMapExecDlg::ExecuteMap(const TChannelImage* image) {
    if (!image || isVisible())
        return;
    if (!OpenRun(*image))
        return;
    exec();
    CloseRun();
}

bool TModbusMapExecDlg::OpenRun(const TChannelImage& image) {
    if (m_run || image.Map()->Count() == 0)
        return false;
    std::unique_ptr<TMapRun> run;
    if (m_conn)
        run = TMapRun::ForConnection(image, *m_conn);
    else
        run = std::make_unique<TMapRun>(image, nullptr, 1);
    // Channels of unknown types get no parameter: a map of only those has nothing to poll.
    if (run->IsEmpty())
        return false;
    m_run = std::move(run);
    m_run->OnUpdateValues = [this] { UpdateValues(); };
    m_runTeardownPending = false;
    m_rowsTeardownPending = false;
    FillListAndChart();
    UpdateActions();
    return true;
}

void TModbusMapExecDlg::FillListAndChart() {
    ClearRows();
    for (std::size_t i = 0; i < m_run->Parameters().size(); ++i) {
        TModbusParameter* parameter = m_run->Parameters()[i];
        auto* series = new TPlotSeries;
        series->setName(TagNameText(parameter->Description()));
        QPen pen(SeriesColor(int(Chart->series().size())));
        pen.setWidth(2);
        series->setPen(pen);
        // Hidden until its row is checked.
        series->setVisible(false);
        Chart->addSeries(series);
        m_valueModel->AddRow({series, parameter}, m_run->ChannelOf(int(i)));
        m_valueModel->ShowRow(m_valueModel->Count() - 1);
    }
    // A new run starts on fresh axes, not on the range of the last one.
    m_updateChart->ClearChart(false);
}

void TModbusMapExecDlg::ShowSeries(TPlotSeries* series, bool visible) {
    series->setVisible(visible);
    ChartLegend->queueRefresh();
}

void TModbusMapExecDlg::ClearRows() {
    if (m_run && m_run->InTick()) {
        m_rowsTeardownPending = true;
        return;
    }
    m_rowsTeardownPending = false;
    m_valueModel->Clear();
    Chart->removeAllSeries();
    ChartLegend->refresh();
}

void TModbusMapExecDlg::CloseRun() {
    m_processTimer.Stop();
    m_recovery.reset();
    StopRecording();
    if (m_run && m_run->InTick()) {
        m_rowsTeardownPending = true;
        m_runTeardownPending = true;
        return;
    }
    // A window that was not closed the ordinary way (the program is ending) leaves no port open.
    if (Running())
        m_conn->CloseLink();
    ClearRows();
    m_run.reset();
    m_runTeardownPending = false;
    UpdateActions();
}

void TModbusMapExecDlg::FinishDeferredTeardown() {
    if (m_run && m_run->InTick())
        return;
    if (m_runTeardownPending)
        CloseRun();
    else if (m_rowsTeardownPending)
        ClearRows();
}

void TModbusMapExecDlg::ProcessTimerTimer() {
    if (!m_run)
        return;
    if (m_recovery)
        m_recovery->Tick(*m_run);
    else
        m_run->Tick();
    ShowReadStates();
    ShowCounters();
    UpdateActions();
    FinishDeferredTeardown();
}

void TModbusMapExecDlg::ShowCounters() {
    if (!m_run)
        return;
    RequestCountEdit->setText(QString::number(m_run->RequestCount));
    ErrorCountEdit->setText(QString::number(m_run->ErrorCount));
}

void TModbusMapExecDlg::ShowReadStates() {
    if (!m_run)
        return;
    for (int row = 0; row < m_valueModel->Count(); ++row)
        m_valueModel->SetReadState(row, m_run->EverRead(row), m_run->Stale(row));
}

void TModbusMapExecDlg::UpdateValues() {
    // The chart may let pending events run for a row. Rows are not freed meanwhile (teardown
    // waits for the tick); the count is read afresh for every row all the same.
    m_cycleTime = LocalNow();
    ShowReadStates();
    for (int row = 0; row < m_valueModel->Count(); ++row) {
        m_valueModel->ShowRow(row);
        const TDataChannelProfile profile = m_valueModel->Profile(row);
        // A row never read has no value to plot: a 0 would be drawn as if read.
        if (profile.Parameter && m_run->EverRead(row))
            m_updateChart->AddPoint(profile.Series, PlotValue(*profile.Parameter));
    }
    m_cycleTime = QDateTime();
    RecordCycle();
}

// ---------------------------------------------------------------------------------------------
// Actions

void TModbusMapExecDlg::actStartExecute() {
    if (Running() || !m_conn) {
        UpdateActions();
        return;
    }
    // Only this first open is told; the recovery's quiet retries come later.
    if (!m_conn->OpenLink()) {
        prompter().tell(QStringLiteral("Не удалось подключиться к COM-порту"), MessageKind::Error,
                        m_conn->PortDrv.OpenError());
        UpdateActions();
        return;
    }
    if (m_run)
        m_run->ResetCounters();
    m_recovery = std::make_unique<TPortRecovery>(m_conn->PortDrv, m_processTimer);
    m_processTimer.Start();
    UpdateActions();
}

void TModbusMapExecDlg::actStopExecute() {
    m_processTimer.Stop();
    m_recovery.reset();
    StopRecording();
    if (m_conn)
        m_conn->CloseLink();
    UpdateActions();
}

void TModbusMapExecDlg::actClearChartExecute() {
    m_updateChart->ClearChart(Running());
}

void TModbusMapExecDlg::actS2FExecute() {
    if (m_run && Running())
        m_run->FlashRequest = true;
}

void TModbusMapExecDlg::actExitExecute() {
    actStopExecute();
    close();
}

void TModbusMapExecDlg::actCopyToClipboardExecute() {
    const QModelIndexList rows = TrafficLV->selectionModel()
                                     ? TrafficLV->selectionModel()->selectedRows()
                                     : QModelIndexList();
    if (rows.isEmpty())
        return;
    WaitCursor wait;
    QGuiApplication::clipboard()->setText(m_traffic->packageText(rows.first().row()));
}

void TModbusMapExecDlg::actSetValueExecute() {
    const std::optional<QString> text =
        prompter().inputText(QStringLiteral("Input"), QStringLiteral("Value"), QString());
    if (!text)
        return;
    TSetPrmValue setter;
    for (int row : ValueLV->SelectedRows())
        if (row < m_valueModel->Count())
            if (TModbusParameter* parameter = m_valueModel->Profile(row).Parameter)
                setter.Params.Add(parameter);
    setter.SetValue(*text);
}

void TModbusMapExecDlg::LVDblClick() {
    const QList<int> rows = ValueLV->SelectedRows();
    if (rows.isEmpty() || rows.first() >= m_valueModel->Count())
        return;
    TModbusParameter* parameter = m_valueModel->Profile(rows.first()).Parameter;
    if (!parameter || parameter->Access() == TModbusParamAccess::mpaReadOnly)
        return;
    const TMapRun* run = m_run.get();
    const std::optional<QString> text = prompter().inputText(
        QStringLiteral("Input"), TagNameText(parameter->Description()), ValueText(*parameter));
    // The input box ran an event loop: the run it was asked for may be gone.
    if (!text || !run || m_run.get() != run)
        return;
    SetValueFromText(*parameter, *text);
}

void TModbusMapExecDlg::actClearTrafficExecute() {
    m_traffic->clear();
    UpdateActions();
}

void TModbusMapExecDlg::LogPacket(bool aOut, const TRequest& aRequest) {
    if (!actShowTraffic->isChecked())
        return;
    // A new request: the exchange before it has ended.
    if (aOut)
        LogFailure();
    const auto length = std::min<int>(aRequest.Length, TRequest::Capacity);
    m_traffic->append(aOut, QByteArrayView(aRequest.Data.data(), length));
    if (aOut) {
        // A failed exchange raises nothing: how it ended is looked at once control is back in
        // the event loop, or at the next request, whichever comes first.
        m_exchangeOpen = true;
        QTimer::singleShot(0, this, &TModbusMapExecDlg::LogFailure);
    }
}

void TModbusMapExecDlg::LogFailure() {
    if (!m_exchangeOpen || !m_conn)
        return;
    m_exchangeOpen = false;
    m_traffic->appendFailure(m_conn->Transport.LastStatus());
}

void TModbusMapExecDlg::CreateLogActions() {
    actSaveTraffic = makeAction(this, "actSaveTraffic", Language().SaveToFileText);
    actRecord = makeAction(this, "actRecord", Language().RecordText,
                           {.Icon = themeIcon(QStringLiteral("media-record"))});
    actRecord->setCheckable(true);
    connect(actSaveTraffic, &QAction::triggered, this, &TModbusMapExecDlg::actSaveTrafficExecute);
    connect(actRecord, &QAction::triggered, this, &TModbusMapExecDlg::actRecordExecute);
}

void TModbusMapExecDlg::actSaveTrafficExecute() {
    const std::optional<QString> path = prompter().saveFileName(QStringLiteral("Text (*.txt)"));
    if (!path)
        return;
    QString error;
    const bool saved = [&] {
        WaitCursor wait;
        return writeFileAtomically(*path, m_traffic->text(), &error);
    }();
    if (!saved)
        prompter().tell(Language().SaveFailedText.arg(*path, error), MessageKind::Error);
}

void TModbusMapExecDlg::actRecordExecute(bool checked) {
    if (!checked) {
        StopRecording();
        return;
    }
    const std::optional<QString> path = prompter().saveFileName(QStringLiteral("CSV (*.csv)"));
    if (path && m_run && m_recorder.Open(*path, m_run->Parameters()))
        return;
    actRecord->setChecked(false);
    if (path)
        prompter().tell(Language().SaveFailedText.arg(*path, m_recorder.ErrorText()),
                        MessageKind::Error);
}

void TModbusMapExecDlg::StopRecording() {
    m_recorder.Close();
    actRecord->setChecked(false);
}

void TModbusMapExecDlg::RecordCycle() {
    if (!m_recorder.IsOpen() || !m_run || m_recorder.Record(m_run->Parameters()))
        return;
    actRecord->setChecked(false);
    prompter().tell(Language().SaveFailedText.arg(m_recorder.FileName(), m_recorder.ErrorText()),
                    MessageKind::Error);
}

// ---------------------------------------------------------------------------------------------
// Closing

void TModbusMapExecDlg::done(int result) {
    // While the port is open the window refuses to close; Exit stops first.
    if (Running())
        return;
    QDialog::done(result);
    ClearRows();
}

void TModbusMapExecDlg::closeEvent(QCloseEvent* event) {
    if (Running()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TModbusMapExecDlg::showEvent(QShowEvent* event) {
    UpdateActions();
    actRecord->setText(Language().RecordText);
    actSaveTraffic->setText(Language().SaveToFileText);
    QDialog::showEvent(event);
}

void TModbusMapExecDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        actExit->trigger();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace zorvan
