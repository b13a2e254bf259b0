#include "reportkit.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <cstring>
#include <tuple>

namespace reportkit {

QMap<QString, QString> ParseQuery(const QString &query)
{
    QMap<QString, QString> values;
    const QString text = query.startsWith(QLatin1Char('?')) ? query.mid(1) : query;
    for (const QString &pair : text.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString name = pair.left(equals < 0 ? pair.size() : equals);
        QString value = equals < 0 ? QString() : pair.mid(equals + 1);
        value.replace(QLatin1Char('+'), QLatin1Char(' '));
        values.insert(name, QString::fromLatin1(QByteArray::fromPercentEncoding(value.toLatin1())));
    }
    return values;
}

QStringList AdapterList(const QString &text)
{
    QString inner = text;
    if (inner.startsWith(QLatin1Char('(')) && inner.endsWith(QLatin1Char(')')))
        inner = inner.mid(1, inner.size() - 2);
    return inner.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QDate StampDay(const QString &stamp) { return QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd")); }

QString StampFrom(const QDate &day)
{
    return day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("000000");
}

QString StampTo(const QDate &day)
{
    return day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("235959");
}

QString ReportPath(const QString &reportName, const QList<std::pair<QString, QString>> &params)
{
    QString path = QString::fromLatin1(kReportProgram) + QStringLiteral("?report_name=") + reportName;
    for (const auto &[name, value] : params)
        path += QLatin1Char('&') + name + QLatin1Char('=')
                + QString::fromLatin1(QUrl::toPercentEncoding(value, "()"));
    return path;
}

bool Put(char *buffer, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() >= kReportBufferSize) {
        buffer[0] = 0;
        return false;
    }
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return true;
}

QString Take(const char *buffer)
{
    return QString::fromUtf8(buffer, static_cast<qsizetype>(strnlen(buffer, kReportBufferSize - 1)));
}

bool AskReportOptions(const QString &title, const QStringList &adapters, bool withPeriod, Choice &choice)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    auto *form = new QFormLayout(&dialog);
    auto *adapter = new QComboBox(&dialog);
    adapter->setAccessibleName(QStringLiteral("Adapter"));
    adapter->setObjectName(QStringLiteral("cbAdapter"));
    adapter->addItems(adapters);
    adapter->setEditable(adapters.isEmpty()); // nothing to choose from: type the alias
    adapter->setCurrentText(choice.adapter);
    form->addRow(QStringLiteral("&Adapter:"), adapter);
    QDateEdit *from = nullptr;
    QDateEdit *to = nullptr;
    if (withPeriod) {
        for (auto [edit, name, label, day] :
             {std::tuple{&from, "From", "&From:", choice.from}, std::tuple{&to, "To", "&To:", choice.to}}) {
            *edit = new QDateEdit(day, &dialog);
            (*edit)->setObjectName(QStringLiteral("de") + QString::fromLatin1(name));
            (*edit)->setAccessibleName(QString::fromLatin1(name));
            (*edit)->setCalendarPopup(true);
            (*edit)->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
            form->addRow(QString::fromLatin1(label), *edit);
        }
    }
    auto *problem = new QLabel(&dialog);
    problem->setStyleSheet(QStringLiteral("color: #a00"));
    form->addRow(problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (adapter->currentText().trimmed().isEmpty()) {
            problem->setText(QStringLiteral("Choose an adapter."));
            adapter->setFocus();
            return;
        }
        if (withPeriod && to->date() < from->date()) {
            problem->setText(QStringLiteral("The period ends before it begins."));
            to->setFocus();
            return;
        }
        dialog.accept();
    });
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice.adapter = adapter->currentText().trimmed();
    if (withPeriod) {
        choice.from = from->date();
        choice.to = to->date();
    }
    return true;
}

} // namespace reportkit
