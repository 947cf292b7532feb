#include "SimWorld.h"

#include "platform/os/sim/SimAudioWorld.h"

#include <optional>

namespace {

std::optional<os::PermissionStatus> permissionFromText(const QString &text)
{
    if (text == QLatin1String("granted"))
        return os::PermissionStatus::Granted;
    if (text == QLatin1String("denied"))
        return os::PermissionStatus::Denied;
    if (text == QLatin1String("undetermined"))
        return os::PermissionStatus::Undetermined;
    return std::nullopt;
}

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

bool SimWorld::setPermission(const QString &status, const QString &answer)
{
    const auto now = permissionFromText(status);
    const auto given = permissionFromText(answer);
    if (!now || !given)
        return false;
    m_world->simPermission().script(*now, *given);
    return true;
}

bool SimWorld::answerPermission(const QString &answer)
{
    const auto given = permissionFromText(answer);
    if (!given)
        return false;
    m_world->simPermission().answer(*given);
    return true;
}
