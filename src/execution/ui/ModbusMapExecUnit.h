#pragma once

#include "comm/ProcessTimer.h"
#include "execution/CsvRecorder.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLineEdit;
class QTabWidget;
class QTableView;
class QToolBar;

namespace zorvan {

class TChannelImage;
class TMapRun;
class TChartLegend;
class TModbusMapConn;
class TModbusParameter;
class TPlotSeries;
class TPortRecovery;
class TReportListView;
class TTimePlot;
class TUpdateChart;
class TrafficLog;
struct TRequest;

// One row of the value list: its series in the chart and its parameter of the run.
struct TDataChannelProfile {
    TPlotSeries* Series = nullptr;
    TModbusParameter* Parameter = nullptr;
};

// The value list's rows: the texts last shown for each row (ShowRow), its check box and its
// profile. The texts change only when the window shows a row again, so rows of spaces read
// earlier in a cycle keep their values until the cycle is complete.
class TValueListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ChannelColumn = 0, ParameterColumn, ValueColumn, OffsetColumn, ColumnCount };

    // Five times a second: numbers changing faster cannot be read, and repainting the list
    // costs more than the polling.
    static constexpr int RepaintInterval = 200;

    explicit TValueListModel(QObject* parent = nullptr);

    // Appends an unchecked row for the profile (texts empty until ShowRow).
    void AddRow(const TDataChannelProfile& profile, int channel);
    void Clear();
    int Count() const { return int(m_rows.size()); }
    const TDataChannelProfile& Profile(int row) const {
        return m_rows.at(std::size_t(row)).Profile;
    }
    bool Checked(int row) const { return m_rows.at(std::size_t(row)).Checked; }
    // The four column texts from the row's parameter. Views learn of changed values at most
    // RepaintInterval ms apart, not after every cycle.
    void ShowRow(int row);
    // The row's value is shown once read (no value before) and drawn greyed while stale.
    void SetReadState(int row, bool read, bool stale);
    // A row's check box changed: its series is to be shown exactly while it is checked.
    // Unassigned, the series' visibility is set directly.
    std::function<void(TPlotSeries* series, bool checked)> OnCheck;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        TDataChannelProfile Profile;
        int Channel = 0;
        std::array<QString, ColumnCount> Texts;
        bool Checked = false;
        bool Read = false;
        bool Stale = false;
        // The value or its look changed since the views were last told.
        bool Changed = false;
    };
    void markChanged(Row& row);

    std::vector<Row> m_rows;
    QTimer m_repaintTimer;
};

// The map execution window, "Modbus Map": polls the device for the document's map one register
// space per tick while the user lets it run, shows the values in a list and the checked ones in
// a chart over time, logs the traffic, counts requests and errors, sets values and asks the
// device to save its settings to flash.
//
// Created once; ExecuteMap shows it modally for one run. The window assigns itself as the
// OnRequest handler of the connection's Transport for its whole life (so device commands run
// from the editor are logged too while "Show traffic" is checked); the connection must outlive
// the window.
class TModbusMapExecDlg : public QDialog {
    Q_OBJECT
public:
    explicit TModbusMapExecDlg(TModbusMapConn* conn, QWidget* parent = nullptr);
    ~TModbusMapExecDlg() override;

    // Runs the current document's map: builds the run, shows the window modally and tears the
    // run down when it has closed. Nothing for an empty map, or a map without a channel of a
    // known value type.
    void ExecuteMap();
    void ExecuteMap(const TChannelImage* image);

    // The two halves of ExecuteMap around the modal show. OpenRun builds the spaces, the rows and
    // the series (false, doing nothing, when there is nothing to poll or a run is open already);
    // CloseRun stops polling and discards them. Teardown that a running tick still needs waits
    // for the tick to return.
    bool OpenRun(const TChannelImage& image);
    void CloseRun();

    // The run being shown, or null.
    TMapRun* Run() const { return m_run.get(); }
    // Polling runs while the port is open, and while a run started brings a lost line back.
    bool Running() const;

    // Handlers.
    void actStartExecute();
    void actStopExecute();
    void actClearChartExecute();
    void actS2FExecute();
    void actExitExecute();
    void actCopyToClipboardExecute();
    void actSetValueExecute();
    void actClearTrafficExecute();
    // Writes the traffic log to a text file asked through the prompter.
    void actSaveTrafficExecute();
    // Checked: asks a file and records each complete cycle's values to it; unchecked: closes it.
    void actRecordExecute(bool checked);
    void LVDblClick();
    void ProcessTimerTimer();
    // After a complete cycle: every row shown again, every row's value handed to the chart.
    void UpdateValues();
    // The transport's OnRequest.
    void LogPacket(bool aOut, const TRequest& aRequest);
    // Enables the actions from the port's state and the traffic selection.
    void UpdateActions();

    // The value list's rows, the traffic log, the poll timer and the chart's updater.
    TValueListModel* ValueModel() const { return m_valueModel; }
    TrafficLog* Traffic() const { return m_traffic; }
    TProcessTimer& ProcessTimer() { return m_processTimer; }
    TUpdateChart* UpdateChart() const { return m_updateChart; }

    // The colour of the n-th series of the chart (a cycle of ten).
    static QColor SeriesColor(int n);

public slots:
    // Refused while the port is open: the window stays.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The port may have been opened or closed by others while the window was hidden.
    void showEvent(QShowEvent* event) override;

private:
    // The controls; each one's object name is its member name.
    QToolBar* ToolBar = nullptr;
    QWidget* GradientBand = nullptr;
    QTabWidget* PageControl = nullptr;
    TReportListView* ValueLV = nullptr;
    TTimePlot* Chart = nullptr;
    TChartLegend* ChartLegend = nullptr;
    QTableView* TrafficLV = nullptr;
    QLineEdit* RequestCountEdit = nullptr;
    QLineEdit* ErrorCountEdit = nullptr;

    QAction* actStart = nullptr;
    QAction* actStop = nullptr;
    QAction* actClearChart = nullptr;
    QAction* actS2F = nullptr;
    QAction* actExit = nullptr;
    QAction* actCopyToClipboard = nullptr;
    QAction* actSetValue = nullptr;
    QAction* actClear = nullptr;
    QAction* actShowTraffic = nullptr;
    QAction* actSaveTraffic = nullptr;
    QAction* actRecord = nullptr;

    TValueListModel* m_valueModel = nullptr;
    TrafficLog* m_traffic = nullptr;
    TProcessTimer m_processTimer;
    TUpdateChart* m_updateChart = nullptr;

    void CreateActions();
    QWidget* CreateMapPage();
    QWidget* CreateTrafficPage();
    void FillListAndChart();
    // Shows or hides a row's series. Hidden series are kept off the axes: a change of an axis
    // lays out every series attached to it, and a map of a thousand channels has a thousand.
    void ShowSeries(TPlotSeries* series, bool visible);
    // Empties the value list and frees every series; after the tick when one runs.
    void ClearRows();
    void FinishDeferredTeardown();
    void ShowCounters();
    // Each row's look from the run's reads.
    void ShowReadStates();

    TModbusMapConn* m_conn;
    std::unique_ptr<TMapRun> m_run;
    // From Start to Stop: the port is brought back when the line is lost.
    std::unique_ptr<TPortRecovery> m_recovery;
    // The moment of the cycle being handed to the chart: every point of a cycle gets it.
    QDateTime m_cycleTime;
    bool m_rowsTeardownPending = false;
    bool m_runTeardownPending = false;

    // The traffic log's additions: its failure rows, following the newest row, recording.
    void CreateLogActions();
    void LogFailure();
    void StopRecording();
    void RecordCycle();
    // A request was logged and its exchange's end not yet: LogFailure looks at how it ended.
    bool m_exchangeOpen = false;
    bool m_trafficAtBottom = true;
    TCsvRecorder m_recorder;
};

// The program-wide window: the first one created, until it is destroyed; null otherwise.
TModbusMapExecDlg* ModbusMapExecDlg();

} // namespace zorvan
