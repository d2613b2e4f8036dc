#include "settings/ui/DateTimeValueEditor.h"

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zorvan {

TDateTimeValueDlg::TDateTimeValueDlg(QWidget* parent)
    : QDialog(parent), m_calendar(new QCalendarWidget(this)), m_time(new QTimeEdit(this)),
      m_set(new QPushButton(QStringLiteral("Set"), this)) {
    setObjectName(QStringLiteral("DateTimeValueDlg"));
    setWindowTitle(QStringLiteral("Datetime"));
    m_calendar->setObjectName(QStringLiteral("Calendar"));
    m_time->setObjectName(QStringLiteral("TimePicker"));
    m_set->setObjectName(QStringLiteral("SetButton"));
    m_calendar->setFirstDayOfWeek(Qt::Monday);
    m_calendar->setGridVisible(true);
    m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_set->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_calendar);
    auto* row = new QHBoxLayout;
    row->addWidget(m_time, 1);
    row->addWidget(m_set);
    layout->addLayout(row);
    // A fixed dialog border: the size follows the parts shown.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_set, &QPushButton::clicked, this, &TDateTimeValueDlg::setPressed);
}

void TDateTimeValueDlg::Prepare(TDateTimeEditMode mode, const QDateTime& start) {
    const QDateTime from = start.isValid() ? start : QDateTime::currentDateTime();
    m_calendar->setSelectedDate(from.date());
    m_time->setTime(from.time());
    m_result = from;
    m_calendar->setVisible(mode != TDateTimeEditMode::Time);
    m_time->setVisible(mode != TDateTimeEditMode::Date);
}

void TDateTimeValueDlg::setPressed() {
    // The calendar's date with the time picker's time (a time editor keeps no date of its own).
    m_result = QDateTime(m_calendar->selectedDate(), m_time->time());
    accept();
}

std::optional<QDateTime> TDateTimeValueDlg::Execute(TDateTimeEditMode mode, const QDateTime& start,
                                                    QWidget* parent) {
    TDateTimeValueDlg dialog(parent);
    dialog.Prepare(mode, start);
    dialog.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.DateTime();
}

} // namespace zorvan
