#pragma once

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <memory>
#include <vector>

namespace os {
class SimAudioWorld;
}

// The simulated operating system under the real bridge, driven from QML
// (module VeloranTestSupport): endpoints, what they hear and their rate, the
// microphone permission ("granted", "denied", "undetermined"), keys sent,
// power and session events, processes with their sessions and version
// information, and the folders of installed programs.
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
    // The rate of the endpoint's device format; 0 for an unknown id.
    Q_INVOKABLE int endpointSampleRate(const QString &id) const;

    // A process with one session on the default output; state "Active",
    // "Inactive" or "Expired".
    Q_INVOKABLE bool addProcess(int processId, const QString &imagePath, const QString &sessionName,
                                const QString &state);
    Q_INVOKABLE bool removeProcess(int processId);
    Q_INVOKABLE bool setSessionState(int processId, const QString &state);
    // Blocks of {language, codePage, productName, fileDescription}.
    Q_INVOKABLE void setVersionStrings(const QString &path, const QVariantList &blocks);
    Q_INVOKABLE void setApplicationFolders(const QStringList &folders);
    // A new folder of the run holding empty files at the given relative
    // paths; its path, empty when it cannot be made.
    Q_INVOKABLE QString makeFolder(const QStringList &files);

    // What the permission reads now and what a request is answered.
    Q_INVOKABLE bool setPermission(const QString &status, const QString &answer);
    Q_INVOKABLE bool answerPermission(const QString &answer);

    // Every key record sent so far, oldest first: {key, up}.
    Q_INVOKABLE QVariantList sentKeys() const;
    // "display-off", "display-on", "display-dimmed", "suspend", "resume" or
    // "lock" to every live power window; how many it reached (-1: unknown name).
    Q_INVOKABLE int firePowerEvent(const QString &name);

private:
    std::shared_ptr<os::SimAudioWorld> m_world;
    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;
};
