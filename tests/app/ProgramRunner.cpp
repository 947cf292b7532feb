#include "ProgramRunner.h"

#include "TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

ProgramRunner::ProgramRunner()
{
    QDir(m_root.path()).mkpath("config");
    QDir(m_root.path()).mkpath("data");
    QDir(m_root.path()).mkpath("tmp");
    // Also the runtime folder, which Qt wants private to its owner.
    QFile::setPermissions(tempDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QProcessEnvironment ProgramRunner::environment(int quitAfterMs) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", configDir());
    env.insert("XDG_DATA_HOME", dataDir());
    env.insert("XDG_CACHE_HOME", m_root.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", tempDir());
    env.insert("TMPDIR", tempDir());
    env.insert("VELORAN_QUIT_AFTER_MS", QString::number(quitAfterMs));
    env.insert("QT_LOGGING_RULES", "*.debug=true;qt.*.debug=false");
    // The program never reaches a real server; a test may point it at its own.
    env.insert("VELORAN_SERVER_URL", QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort()));
    return env;
}

ProgramRunner::Result ProgramRunner::run(int quitAfterMs, const QProcessEnvironment &extra, int timeoutMs) const
{
    QProcessEnvironment env = environment(quitAfterMs);
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VELORAN_PROGRAM), {});
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.crashed = true;
    }
    result.crashed = result.crashed || process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAll());
    // Whatever the run is for, these lines betray a fault of the interface.
    static const QRegularExpression interfaceFault(QStringLiteral(
        "Binding loop|TypeError|ReferenceError|Cannot read property|Unable to assign|is not a function|deprecated"));
    for (const QString &line : result.output.split(QLatin1Char('\n'))) {
        if (line.contains(interfaceFault))
            ADD_FAILURE() << "the program logged: " << line.toStdString();
    }
    return result;
}

QString ProgramRunner::writeRootDocument(const QString &name, const QByteArray &text) const
{
    const QString path = QDir(tempDir()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text);
    return QUrl::fromLocalFile(path).toString();
}
