#pragma once

#include <QDateTime>
#include <QDialog>
#include <optional>

class QCalendarWidget;
class QDateTimeEdit;
class QPushButton;

namespace zorvan {

// How the date and time picker opens: both parts, the calendar only, or the time only.
enum class TDateTimeEditMode { DateTime, Date, Time };

// The date and time picker: a calendar (weeks from Monday), a time picker and "Set".
class TDateTimeValueDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDateTimeValueDlg(QWidget* parent = nullptr);

    void Prepare(TDateTimeEditMode mode, const QDateTime& start);
    QDateTime DateTime() const { return m_result; }

    // Runs modally; the new date and time when the user pressed "Set".
    static std::optional<QDateTime> Execute(TDateTimeEditMode mode, const QDateTime& start,
                                            QWidget* parent = nullptr);

private:
    void setPressed();

    // Object names "Calendar", "TimePicker" and "SetButton".
    QCalendarWidget* m_calendar;
    QDateTimeEdit* m_time;
    QPushButton* m_set;
    QDateTime m_result;
};

} // namespace zorvan
