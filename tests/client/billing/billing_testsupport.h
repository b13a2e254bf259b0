#pragma once
// Helpers of the bill period editor's tests: dates, lists, and driving the next modal dialog.

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "zem_billperiods.h"
#include "zem_spinedit.h"
#include "zmm_utils.h"

inline double D(int year, int month, int day) { return EncodeDate(QDate(year, month, day)); }

inline ZEMBillPeriod P(double from, double to, qint64 limit = 0) { return ZEMBillPeriod(from, to, limit); }

inline ZEMBillPeriods List(std::initializer_list<ZEMBillPeriod> periods)
{
    ZEMBillPeriods list;
    list.assign(periods.begin(), periods.end());
    return list;
}

// Runs `action` on the modal dialog of type T that opens next.
template <typename T>
void OnNextModal(std::function<void(T *)> action)
{
    QTimer::singleShot(0, [action] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget()))
            action(dialog);
    });
}

inline void Type(ZEMSpinEdit *field, const QString &text)
{
    auto *edit = field->findChild<QLineEdit *>();
    edit->selectAll();
    edit->insert(text);
}
