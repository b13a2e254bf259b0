#include "zem_pagecommands.h"

#include "zem_prompt.h"

std::optional<QString> PageCommandOf(const QUrl &url)
{
    // Engines escape ">" in addresses, so the command is looked for in the decoded text.
    const QString address = QUrl::fromPercentEncoding(url.toEncoded());
    const qsizetype at = address.indexOf(QLatin1String(">>"));
    if (at < 0)
        return std::nullopt;
    return address.mid(at + 2);
}

bool ZEMPageCommands::Run(const QString &command)
{
    using Selection = ZEMPageCommandTarget::Selection;
    if (command == QLatin1String("home")) {
        target_.PostHome();
    } else if (command == QLatin1String("edit_options")) {
        target_.EditOptions();
    } else if (command == QLatin1String("create_report")) {
        target_.PopupReports();
    } else if (command == QLatin1String("install_report")) {
        target_.InstallReport();
    } else if (command == QLatin1String("bill_periods")) {
        switch (target_.SelectedAdapter()) {
        case Selection::None:
            prompt_.Error(QString::fromLatin1(kNoSelectedAdapter));
            break;
        case Selection::Unconfigured:
            prompt_.Error(QString::fromLatin1(kAdapterNotInitialized));
            break;
        case Selection::Configured:
            target_.BillPeriods();
            break;
        }
    } else if (command == QLatin1String("close_window")) {
        target_.HideWindow();
    } else if (command == QLatin1String("change_configuration")) {
        if (target_.SelectedAdapter() == Selection::None)
            prompt_.Error(QString::fromLatin1(kNoSelectedAdapter));
        else
            target_.OpenAdapterConfig();
    } else {
        return false;
    }
    return true;
}
