#pragma once
// Helpers of the editor's and the dialogs' tests: answering the next modal dialog, typing into a field.

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "billing_testsupport.h"
#include "zem_spinedit.h"

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
