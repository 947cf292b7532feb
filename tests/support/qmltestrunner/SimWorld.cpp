#include "SimWorld.h"

#include "platform/os/DeviceFormatRate.h"
#include "platform/os/sim/SimAudioWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJSValue>

#include <optional>
#include <utility>

namespace {

// The value a QML test names by its text; none for an unknown text.
template <class Value, size_t N>
std::optional<Value> fromText(const QString &text, const std::pair<const char *, Value> (&names)[N])
{
    for (const auto &[name, value] : names)
        if (text == QLatin1String(name))
            return value;
    return std::nullopt;
}

constexpr std::pair<const char *, os::PermissionStatus> kPermissions[] = {
    {"granted", os::PermissionStatus::Granted},
    {"denied", os::PermissionStatus::Denied},
    {"undetermined", os::PermissionStatus::Undetermined},
};

constexpr std::pair<const char *, os::AudioSessionState> kSessionStates[] = {
    {"Active", os::AudioSessionState::Active},
    {"Inactive", os::AudioSessionState::Inactive},
    {"Expired", os::AudioSessionState::Expired},
};

} // namespace

SimWorld::SimWorld(std::shared_ptr<os::SimAudioWorld> world, QObject *parent)
    : QObject(parent)
    , m_world(std::move(world))
{
}

QString SimWorld::addEndpoint(const QString &name, bool capture)
{
    return QString::fromStdWString(m_world->addEndpoint(
        {.name = name.toStdWString(), .flow = capture ? os::DataFlow::Capture : os::DataFlow::Render}));
}

bool SimWorld::removeEndpoint(const QString &id)
{
    return m_world->removeEndpoint(id.toStdWString());
}

bool SimWorld::setEndpointSine(const QString &id, double frequencyHz, double amplitude)
{
    return m_world->setEndpointSignal(id.toStdWString(), os::Signal::sine(frequencyHz, float(amplitude)));
}

int SimWorld::openStreams() const
{
    return int(m_world->openStreams());
}

int SimWorld::endpointSampleRate(const QString &id) const
{
    const std::optional<WAVEFORMATEX> base = os::deviceFormatBase(m_world->deviceFormat(id.toStdWString()));
    return base ? int(base->nSamplesPerSec) : 0;
}

bool SimWorld::setPermission(const QString &status, const QString &answer)
{
    const auto now = fromText(status, kPermissions);
    const auto given = fromText(answer, kPermissions);
    if (!now || !given)
        return false;
    m_world->simPermission().script(*now, *given);
    return true;
}

bool SimWorld::answerPermission(const QString &answer)
{
    const auto given = fromText(answer, kPermissions);
    if (!given)
        return false;
    m_world->simPermission().answer(*given);
    return true;
}

bool SimWorld::addProcess(int processId, const QString &imagePath, const QString &sessionName, const QString &state)
{
    const auto sessionState = fromText(state, kSessionStates);
    if (processId <= 0 || !sessionState)
        return false;
    m_world->addProcess({.processId = std::uint32_t(processId), .imagePath = imagePath.toStdWString(),
                         .displayName = sessionName.toStdWString(), .sessionState = *sessionState});
    return true;
}

bool SimWorld::removeProcess(int processId)
{
    return processId > 0 && m_world->removeProcess(std::uint32_t(processId));
}

bool SimWorld::setSessionState(int processId, const QString &state)
{
    const auto sessionState = fromText(state, kSessionStates);
    return processId > 0 && sessionState && m_world->setSessionState(std::uint32_t(processId), *sessionState);
}

void SimWorld::setVersionStrings(const QString &path, const QVariantList &blocks)
{
    std::vector<os::VersionStrings> list;
    for (const QVariant &item : blocks) {
        const QVariantMap block = item.value<QJSValue>().isObject() ? item.value<QJSValue>().toVariant().toMap()
                                                                    : item.toMap();
        list.push_back({std::uint16_t(block.value(QStringLiteral("language")).toUInt()),
                        std::uint16_t(block.value(QStringLiteral("codePage")).toUInt()),
                        block.value(QStringLiteral("productName")).toString().toStdWString(),
                        block.value(QStringLiteral("fileDescription")).toString().toStdWString()});
    }
    m_world->setVersionStrings(path.toStdWString(), std::move(list));
}

void SimWorld::setApplicationFolders(const QStringList &folders)
{
    std::vector<std::wstring> list;
    for (const QString &folder : folders)
        list.push_back(folder.toStdWString());
    m_world->setApplicationFolders(std::move(list));
}

QString SimWorld::makeFolder(const QStringList &files)
{
    // Not named after the application: paths holding its name are passed over.
    auto folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/programs-XXXXXX"));
    if (!folder->isValid())
        return {};
    for (const QString &file : files) {
        const QString path = folder->filePath(file);
        QFile created(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !created.open(QIODevice::WriteOnly))
            return {};
    }
    m_folders.push_back(std::move(folder));
    return m_folders.back()->path();
}

QVariantList SimWorld::sentKeys() const
{
    QVariantList keys;
    for (const os::KeyInput &input : m_world->simKeys().sent())
        keys.append(QVariantMap{{QStringLiteral("key"), int(input.virtualKey)},
                                {QStringLiteral("up"), (input.flags & os::KEYEVENTF_KEYUP) != 0}});
    return keys;
}

int SimWorld::firePowerEvent(const QString &name)
{
    os::SimPowerEvents &power = m_world->simPowerEvents();
    if (name == QLatin1String("display-off"))
        return power.fireDisplayState(0);
    if (name == QLatin1String("display-on"))
        return power.fireDisplayState(1);
    if (name == QLatin1String("display-dimmed"))
        return power.fireDisplayState(2);
    if (name == QLatin1String("suspend"))
        return power.firePowerBroadcast(os::PBT_APMSUSPEND);
    if (name == QLatin1String("resume"))
        return power.firePowerBroadcast(os::PBT_APMRESUMESUSPEND);
    if (name == QLatin1String("lock"))
        return power.fireSessionChange(os::WTS_SESSION_LOCK);
    return -1;
}
