#include "zmm_datamodule.h"

#include <QCoreApplication>
#include <QDir>
#include <cmath>
#include <variant>

#include "zem_prompt.h"
#include "zmm_utils.h"

namespace {

using BoolMember = bool TDMMain::*;
using IntMember = int TDMMain::*;
using TextMember = QString TDMMain::*;

// One stored setting: its value name, root, member (whose type gives the stored type: booleans and
// integers as 32-bit integers, texts as strings), default, and the range a stored integer must lie in
// to be taken.
struct SettingDef {
    const char *name;
    ZEMSettingsRoot root;
    std::variant<BoolMember, IntMember, TextMember> member;
    int defaultNumber;
    const char *defaultText;
    int minimum;
    int maximum;
};

constexpr ZEMSettingsRoot kUser = ZEMSettingsRoot::CurrentUser;
constexpr ZEMSettingsRoot kMachine = ZEMSettingsRoot::LocalMachine;
constexpr int kAny = 0;

// In the order the settings are read.
const SettingDef kSettings[] = {
    {"HideOnStart", kUser, &TDMMain::HideOnStart, 1, nullptr, kAny, kAny},
    {"ConfirmExit", kUser, &TDMMain::ConfirmExit, 1, nullptr, kAny, kAny},
    {"ReqInterval", kUser, &TDMMain::ReqInterval, 5, nullptr, 0, 32767},
    {"LogReqInterval", kUser, &TDMMain::LogReqInterval, 3, nullptr, 0, 32767},
    {"LogReqLines", kUser, &TDMMain::LogReqLines, 20, nullptr, 1, 32767},
    {"FirstDOW", kUser, &TDMMain::FirstDOW, 1, nullptr, 0, 6},
    {"ShowTrayHint", kUser, &TDMMain::ShowTrayHint, 1, nullptr, kAny, kAny},
    {"FirstStart", kUser, &TDMMain::FirstStart, 1, nullptr, kAny, kAny},
    {"ServerPort", kMachine, &TDMMain::ServerPort, 7777, nullptr, 0, 65535},
    {"ServerHost", kMachine, &TDMMain::ServerHost, 0, "localhost", kAny, kAny},
};

// The order in which they are written (FirstStart only by EndFirstStart).
const char *const kSaveOrder[] = {"HideOnStart",    "ConfirmExit", "ReqInterval",
                                  "LogReqInterval", "LogReqLines", "ShowTrayHint",
                                  "FirstDOW",       "ServerHost",  "ServerPort"};

QString KeyPath(ZEMSettingsRoot root)
{
    return QLatin1String(root == kUser ? kClientKeyCurrentUser : kClientKeyLocalMachine);
}

const SettingDef &Setting(const char *name)
{
    for (const SettingDef &def : kSettings)
        if (qstrcmp(def.name, name) == 0)
            return def;
    Q_UNREACHABLE();
}

void SetDefault(TDMMain &module, const SettingDef &def)
{
    if (auto *b = std::get_if<BoolMember>(&def.member))
        module.*(*b) = def.defaultNumber != 0;
    if (auto *i = std::get_if<IntMember>(&def.member))
        module.*(*i) = def.defaultNumber;
    if (auto *t = std::get_if<TextMember>(&def.member))
        module.*(*t) = QString::fromLatin1(def.defaultText);
}

void ReadSetting(TDMMain &module, const SettingDef &def)
{
    ZEMSettingsStore &store = module.Store();
    const QString path = KeyPath(def.root);
    const QString name = QLatin1String(def.name);
    if (auto *t = std::get_if<TextMember>(&def.member)) {
        if (const auto text = store.ReadString(def.root, path, name))
            module.*(*t) = *text;
        return;
    }
    const auto number = store.ReadInteger(def.root, path, name);
    if (!number)
        return;
    if (auto *b = std::get_if<BoolMember>(&def.member)) {
        module.*(*b) = *number != 0;
    } else if (auto *i = std::get_if<IntMember>(&def.member)) {
        // A value outside the range the client can work with reads as the default.
        if (*number >= def.minimum && *number <= def.maximum)
            module.*(*i) = *number;
    }
}

// The stored form of a setting's current value.
ZEMSettingsValue StoredValue(const TDMMain &module, const SettingDef &def)
{
    ZEMSettingsValue value;
    if (auto *b = std::get_if<BoolMember>(&def.member)) {
        value.integer = module.*(*b) ? 1 : 0;
    } else if (auto *i = std::get_if<IntMember>(&def.member)) {
        value.integer = module.*(*i);
    } else {
        value.type = ZEMValueType::String;
        value.text = module.*std::get<TextMember>(def.member);
    }
    return value;
}

TDMMain *&Instance()
{
    static TDMMain *instance = nullptr;
    return instance;
}

} // namespace

TDMMain::TDMMain(ZEMSettingsStore &store, const ZEMClock &clock, QObject *parent)
    : QObject(parent), tmClock(new QTimer(this)), store_(store), clock_(clock)
{
    ApplyDefaults();
    tmClock->setObjectName(QStringLiteral("tmClock"));
    tmClock->setInterval(1000);
    connect(tmClock, &QTimer::timeout, this, &TDMMain::UpdateClock);
}

TDMMain::~TDMMain()
{
    if (Instance() == this)
        Instance() = nullptr;
}

void TDMMain::ApplyDefaults()
{
    for (const SettingDef &def : kSettings)
        SetDefault(*this, def);
}

void TDMMain::Create()
{
    const QString folder =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    AppPath = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    UpdateClock();
    LoadSettings();
    tmClock->start();
}

bool TDMMain::LoadSettings()
{
    bool opened[2] = {false, false};
    refused_.clear();
    for (const ZEMSettingsRoot root : {kUser, kMachine}) {
        opened[static_cast<int>(root)] = store_.OpenKey(root, KeyPath(root), true);
        // A file the store refuses (damaged or unreadable) is said, not passed over in silence.
        QString reason;
        if (!opened[static_cast<int>(root)] && !store_.IsUsable(root, &reason))
            refused_.append(reason);
    }
    if (!refused_.isEmpty() && prompt_)
        prompt_->Error(
            refused_.join(QLatin1Char('\n'))
            + QStringLiteral("\n\nThe default settings are used for this run; changes to them cannot be "
                             "saved until the file is mended or removed."));
    for (const SettingDef &def : kSettings) {
        SetDefault(*this, def);
        if (opened[static_cast<int>(def.root)])
            ReadSetting(*this, def);
    }
    if (ServerHost.isEmpty())
        ServerHost = QStringLiteral("localhost");
    return true;
}

bool TDMMain::SaveSettings(QString *error)
{
    // The server given for this run is written as the stored one, unless changed since.
    const QString host = ServerHost;
    const int port = ServerPort;
    if (runServer_) {
        if (ServerHost == runServer_->host)
            ServerHost = runServer_->storedHost;
        if (ServerPort == runServer_->port)
            ServerPort = runServer_->storedPort;
    }
    // One change per file, each all or nothing. The server's file comes last, so a save cut short
    // between the two never pairs a new host with an old port.
    ZEMSettingsStore::NamedValues values[2];
    for (const char *name : kSaveOrder) {
        const SettingDef &def = Setting(name);
        values[def.root == kUser ? 0 : 1].emplace_back(QLatin1String(name), StoredValue(*this, def));
    }
    QString reason;
    const bool ok = store_.WriteValues(kUser, KeyPath(kUser), values[0], &reason)
                    && store_.WriteValues(kMachine, KeyPath(kMachine), values[1], &reason);
    ServerHost = host;
    ServerPort = port;
    return ok ? true : ReportSaveFailure(reason, error);
}

void TDMMain::OverrideServerForRun(const QString &host, int port)
{
    runServer_ = RunServer{host, port, ServerHost, ServerPort};
    ServerHost = host;
    ServerPort = port;
}

bool TDMMain::EndFirstStart(QString *error)
{
    QString reason;
    const bool ok = store_.WriteInteger(kUser, KeyPath(kUser), QStringLiteral("FirstStart"), 0, &reason);
    FirstStart = false;
    return ok ? true : ReportSaveFailure(reason, error);
}

bool TDMMain::ReportSaveFailure(const QString &reason, QString *error)
{
    if (error)
        *error = reason;
    if (prompt_)
        prompt_->Error(reason);
    return false;
}

void TDMMain::UpdateClock()
{
    ClockNow = EncodeDateTime(clock_.Now());
    ClockToday = std::floor(ClockNow);
    const int dow = DayOfWeek(ClockNow);
    const int offset = dow > FirstDOW ? dow - FirstDOW : dow + 7 - FirstDOW;
    WeekBegin = ClockToday - offset + 1;
    WeekEnd = std::floor(ClockToday + 7 - offset) + 1 - 0.000005;
}

void TDMMain::ClearCurrentStats() { CurrentStats = ZEMCurrentStats(); }

void TDMMain::SetEditOptionsHook(EditOptionsHook hook) { editOptions_ = std::move(hook); }

bool TDMMain::EditOptions(int page, bool markInterval)
{
    return editOptions_ ? editOptions_(*this, page, markInterval) : false;
}

TDMMain &DMMain()
{
    Q_ASSERT(Instance());
    return *Instance();
}

TDMMain *DMMainOrNull() { return Instance(); }

void SetDMMain(TDMMain *module) { Instance() = module; }
