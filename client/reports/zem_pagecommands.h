#pragma once
// The in-page commands: a link whose address contains ">>" is not followed; the text after the first
// ">>" names a command, compared exactly. Any other text after ">>" does nothing.

#include <QString>
#include <QUrl>
#include <optional>

class ZEMPrompt;

// The scheme of the training-card links of help pages.
inline constexpr char kTrainingCardScheme[] = "tcard";
// The scheme of the welcome page's command links, e.g. "tallyway:>>edit_options".
inline constexpr char kPageCommandScheme[] = "tallyway";

// The text after the first ">>" of the address (percent-escapes decoded), or nothing when it has none.
std::optional<QString> PageCommandOf(const QUrl &url);

// What the commands act on; the main window implements it.
class ZEMPageCommandTarget {
public:
    enum class Selection { None, Unconfigured, Configured };

    virtual ~ZEMPageCommandTarget() = default;
    virtual void PostHome() = 0; // queued: shows the welcome page after the link's event returned
    virtual void EditOptions() = 0;
    virtual void PopupReports() = 0;
    virtual void InstallReport() = 0;
    virtual Selection SelectedAdapter() const = 0;
    // Updates the enabling of the bill-periods action and runs it when enabled.
    virtual void BillPeriods() = 0;
    virtual void OpenAdapterConfig() = 0;
    virtual void HideWindow() = 0;
};

inline constexpr char kNoSelectedAdapter[] = "There is no selected adapter in the adapter list. ";
inline constexpr char kAdapterNotInitialized[] =
    "Interface adapter is not initialized. Please edit adapter configuration first!";

class ZEMPageCommands {
public:
    ZEMPageCommands(ZEMPageCommandTarget &target, ZEMPrompt &prompt) : target_(target), prompt_(prompt) {}
    // Runs a known command; false for any other text (nothing happens).
    bool Run(const QString &command);

private:
    ZEMPageCommandTarget &target_;
    ZEMPrompt &prompt_;
};
