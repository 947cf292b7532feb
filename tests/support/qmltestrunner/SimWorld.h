#pragma once

#include <QObject>
#include <QVariantList>

#include <memory>

namespace os {
class SimAudioWorld;
}

// The simulated operating system under the real bridge, driven from QML
// (module VeloranTestSupport): endpoints and what they hear, the
// microphone permission ("granted", "denied", "undetermined"), keys sent,
// and power and session events.
class SimWorld : public QObject
{
    Q_OBJECT
public:
    explicit SimWorld(std::shared_ptr<os::SimAudioWorld> world, QObject *parent = nullptr);

    // Returns the new endpoint's id.
    Q_INVOKABLE QString addEndpoint(const QString &name, bool capture);
    Q_INVOKABLE bool removeEndpoint(const QString &id);
    Q_INVOKABLE bool setEndpointSine(const QString &id, double frequencyHz, double amplitude);
    Q_INVOKABLE int openStreams() const;

    // What the permission reads now and what a request is answered.
    Q_INVOKABLE bool setPermission(const QString &status, const QString &answer);
    Q_INVOKABLE bool answerPermission(const QString &answer);

private:
    std::shared_ptr<os::SimAudioWorld> m_world;
};
