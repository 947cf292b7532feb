#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// Starts the built program offscreen in a private world: its own config,
// data and temporary folders (so its single-instance key is private too).
class ProgramRunner
{
public:
    ProgramRunner();

    QProcessEnvironment environment(int quitAfterMs) const;
    QString configDir() const { return m_root.filePath("config"); }
    QString dataDir() const { return m_root.filePath("data"); }
    QString tempDir() const { return m_root.filePath("tmp"); }

    struct Result {
        int exitCode = -1;
        bool crashed = false;
        QString output;
    };
    // Writes a QML document into the private temporary folder; its URL, for
    // VELORAN_ROOT_URL.
    QString writeRootDocument(const QString &name, const QByteArray &text) const;
    // Runs to completion (bounded by timeoutMs) with extra environment.
    Result run(int quitAfterMs, const QProcessEnvironment &extra = {}, int timeoutMs = 60000) const;

private:
    QTemporaryDir m_root;
};
