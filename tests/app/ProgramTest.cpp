#include "ProgramRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

const char *kCleanupStart = "应用程序即将退出，开始清理资源...";
const char *kCleanupDone = "资源清理完成，立即退出（跳过 Qt 引擎/渲染线程慢析构）";

bool waitForGuard(const ProgramRunner &runner, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (QFile::exists(QDir(runner.tempDir()).filePath("Veloran_Deck_SingleInstance")))
            return true;
        QThread::msleep(50);
    }
    return false;
}

TEST(Program, StartsWithEmptyFoldersAndQuitsCleanly)
{
    ProgramRunner runner;
    const auto result = runner.run(300);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QString::fromUtf8(kCleanupStart))) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains(QString::fromUtf8(kCleanupDone))) << result.output.toStdString();
    // What this machine cannot do is said, not pretended.
    for (const char *line : {"[Platform] audio endpoints, per-application capture, the virtual driver",
                             "[Platform] no X11 display (platform offscreen)", "Audio: VadAudio_Open 2"})
        EXPECT_TRUE(result.output.contains(QString::fromUtf8(line))) << line << "\n" << result.output.toStdString();

    // The bridge's start-up: permission, then the audio objects, in order.
    qsizetype at = 0;
    for (const char *line : {"PermissionStatus::Granted ", "[SystemBridge] WinMicRouter created (WASAPI mic/solo path enabled)",
                             "[SystemBridge] Windows: AudioRouterService created, waiting for Veloran device connection"}) {
        const qsizetype found = result.output.indexOf(QString::fromUtf8(line), at);
        EXPECT_GE(found, at) << line << "\n" << result.output.toStdString();
        at = found < 0 ? at : found;
    }
}


// The emulated model's world is in place before the bridge binds to it: the
// endpoints are listed from the first look on, and once the device is there
// the microphone is heard soon after a routing list names it.
TEST(Program, EmulatedModelServesTheRealBridgeFromTheStart)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("VELORAN_EMULATE", "t40");
    extra.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Probe.qml", R"(
        import QtQuick
        import VeloranDeckSystemBridge
        import VeloranDeckHIDHotplug
        QtObject {
            property double started: Date.now()
            property bool listed: false
            property bool connected: false
            property double routed: 0
            function routeOnceReady() {
                if (!listed || !connected || routed > 0)
                    return
                const bus = { enabled: true, volume: 1.0, muted: false }
                SystemBridge.setAudioConfig([{ processID: 0, input1: bus, input2: bus, solo: false }])
                routed = Date.now()
            }
            property Timer poll: Timer {
                interval: 100; repeat: true; running: true
                onTriggered: {
                    const names = SystemBridge.GetDeviceList(0).map(function(d) { return d.name })
                    if (names.length < 4)
                        return
                    running = false
                    console.log("probe: endpoints after", Date.now() - started, "ms:", names.join("|"))
                    listed = true
                    routeOnceReady()
                }
            }
            property Connections device: Connections {
                target: HIDHotplugManager
                function onDeviceConnected(info, isConnected) {
                    connected = isConnected
                    routeOnceReady()
                }
            }
            property Connections levels: Connections {
                target: SystemBridge
                function onAudioInputLevelChanged(levels) {
                    if (routed > 0 && levels.some(function(l) { return l.processID === 0 && l.levelLeft > 0.05 })) {
                        console.log("probe: source 0 heard after", Date.now() - routed, "ms")
                        Qt.exit(0)
                    }
                }
            }
        }
    )"));
    const auto result = runner.run(15000, extra);
    const std::string output = result.output.toStdString();
    ASSERT_FALSE(result.crashed) << output;
    EXPECT_EQ(result.exitCode, 0) << output;
    EXPECT_FALSE(result.output.contains("CoCreateInstance failed")) << output;

    const auto probed = [&](const QString &pattern, int limitMs) {
        const QRegularExpressionMatch match = QRegularExpression(pattern).match(result.output);
        EXPECT_TRUE(match.hasMatch()) << pattern.toStdString() << "\n" << output;
        if (match.hasMatch()) {
            EXPECT_LE(match.captured(1).toInt(), limitMs) << match.captured(0).toStdString();
        }
        return match;
    };
    const auto endpoints = probed(QStringLiteral("probe: endpoints after (\\d+) ms: (.*)"), 5000);
    EXPECT_EQ(endpoints.captured(2).trimmed(),
              QStringLiteral("Microphone (Veloran T40)|Headphones (Veloran T40)|"
                             "Speakers (High Definition Audio Device)|NUVEX Output"));
    probed(QStringLiteral("probe: source 0 heard after (\\d+) ms"), 3000);
}

// A value written while the quit handler closes the windows never reaches
// an event loop again; only the handler's own sync can save it.
TEST(Program, SettingsWrittenUpToTheQuitAreKept)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Writer.qml", R"(
        import QtQuick
        import VeloranDeckSettings
        Window {
            visible: true
            Component.onCompleted: SettingsManager.setValue("device_started", 1)
            onClosing: SettingsManager.setValue("language", "de_DE")
        }
    )"));
    const auto result = runner.run(300, extra);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();

    const QString storeDir = QDir(runner.configDir()).filePath("Veloran Deck");
    QSettings app(QDir(storeDir).filePath("AppSettings.conf"), QSettings::IniFormat);
    QSettings device(QDir(storeDir).filePath("Settings.conf"), QSettings::IniFormat);
    EXPECT_EQ(app.value("language").toString(), QStringLiteral("de_DE"));
    EXPECT_EQ(device.value("device_started").toInt(), 1);
}

TEST(Program, BrokenRootDocumentGivesNonZeroExitAfterCleanup)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("VELORAN_ROOT_URL",
                 runner.writeRootDocument("Broken.qml", "import QtQuick\nItem { this is not qml }\n"));
    // No quit timer within the run's time-out: only the failed creation
    // itself may end the program.
    const auto result = runner.run(3600000, extra);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.output.contains(QString::fromUtf8(kCleanupDone))) << result.output.toStdString();
}

// Page tours end the program from their root document with their verdict.
TEST(Program, RootDocumentChoosesTheExitCode)
{
    for (int code : {0, 3}) {
        ProgramRunner runner;
        QProcessEnvironment extra;
        extra.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Verdict.qml", QByteArray(
            "import QtQuick\nQtObject { Component.onCompleted: Qt.exit(") + QByteArray::number(code) + ") }\n"));
        const auto result = runner.run(3600000, extra);
        ASSERT_FALSE(result.crashed) << result.output.toStdString();
        EXPECT_EQ(result.exitCode, code) << result.output.toStdString();
        EXPECT_TRUE(result.output.contains(QString::fromUtf8(kCleanupDone))) << result.output.toStdString();
    }
}

TEST(Program, SecondCopyExitsAndAKilledCopyLeavesNoLock)
{
    ProgramRunner runner;
    QProcess first;
    first.setProcessEnvironment(runner.environment(60000));
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QStringLiteral(VELORAN_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitForGuard(runner, 20000));

    // Another temporary folder must not make another key.
    QTemporaryDir otherTemp;
    ASSERT_TRUE(otherTemp.isValid());
    QProcessEnvironment otherTmpdir;
    otherTmpdir.insert("TMPDIR", otherTemp.path());
    const auto second = runner.run(60000, otherTmpdir, 20000);
    ASSERT_FALSE(second.crashed);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.output.contains(QString::fromUtf8("共享内存已存在，直接退出"))) << second.output.toStdString();
    EXPECT_FALSE(second.output.contains(QString::fromUtf8(kCleanupStart)));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill(); // SIGKILL: the segment stays behind
    first.waitForFinished();

    const auto third = runner.run(300);
    ASSERT_FALSE(third.crashed);
    EXPECT_EQ(third.exitCode, 0) << third.output.toStdString();
    EXPECT_TRUE(third.output.contains(QString::fromUtf8(kCleanupDone)));
}

// The restarted copy must find the guard free: the old copy lets it go just
// before the start and the new one takes it, with the old arguments.
TEST(Program, RestartLeavesOneCopyWithTheSameArguments)
{
    ProgramRunner runner;
    QProcessEnvironment env = runner.environment(60000);
    env.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Restarter.qml", R"(
        import QtQuick
        import VeloranDeckSettings
        import VeloranDeckSystemBridge
        Window {
            visible: true
            property bool restarting: false
            // The old copy lingers while its windows close, as a slow one
            // would: the new copy starts meanwhile.
            onClosing: {
                const end = Date.now() + 1500
                while (restarting && Date.now() < end) {}
            }
            // Once the event loop runs: a restart quits this copy.
            Timer {
                interval: 0
                running: true
                onTriggered: {
                    if (!SettingsManager.contains("restart_marker")) {
                        SettingsManager.setValue("restart_marker", 1)
                        SettingsManager.sync()
                        restarting = true
                        SystemBridge.restartApplication()
                    } else {
                        SettingsManager.setValue("restart_arguments", Qt.application.arguments.slice(1).join(" "))
                        Qt.exit(0)
                    }
                }
            }
        }
    )"));
    // Both copies write to one file: the second outlives any pipe of ours.
    const QString logPath = QDir(runner.tempDir()).filePath("restart.log");
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.setStandardOutputFile(logPath);
    first.start(QStringLiteral(VELORAN_PROGRAM), {"a", "b"});
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    const QString storeFile = QDir(runner.configDir()).filePath("Veloran Deck/Settings.conf");
    auto log = [&] {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // The second copy is ours no more: it is done once its guard is gone.
    bool secondDone = false;
    for (int waited = 0; waited < 30000 && !secondDone; waited += 50) {
        QThread::msleep(50);
        secondDone = log().count(QString::fromUtf8(kCleanupDone)) == 2
            && QDir(runner.tempDir()).entryList({"qipc_sharedmemory_*"}, QDir::Files).isEmpty();
    }
    const QString output = log();
    ASSERT_TRUE(secondDone) << output.toStdString();
    EXPECT_TRUE(output.contains(QString::fromUtf8("SystemBridge::restartApplication 正在重启应用")));
    EXPECT_FALSE(output.contains(QString::fromUtf8("共享内存已存在"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QString::fromUtf8("资源清理超时"))) << output.toStdString();
    QSettings store(storeFile, QSettings::IniFormat);
    EXPECT_EQ(store.value("restart_marker").toInt(), 1);
    EXPECT_EQ(store.value("restart_arguments").toString(), QStringLiteral("a b"));
}

} // namespace
