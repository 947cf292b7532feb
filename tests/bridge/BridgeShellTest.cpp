// Launching, opening and installing through the shell.
#include "BridgeTestSupport.h"

#include "bridge/DownloadFolder.h"
#include "bridge/SystemBridge.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// Takes what the shell would open instead of a desktop handler.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    UrlSink()
    {
        for (const char *scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlSink() override
    {
        for (const char *scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened.append(url.toString()); }
};

class BridgeShell : public BridgeTest
{
protected:
    SystemBridge m_bridge{SystemBridge::Options{}};
    UrlSink m_sink;
    QTemporaryDir m_tmp;
};

TEST_F(BridgeShell, ApplicationTextsAndWhatTheyOpen)
{
    const QString setup = m_tmp.filePath(QStringLiteral("setup.exe"));
    QFile file(setup);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    struct Case {
        QString text;
        bool ok;
        QString opened; // what reaches the file handler
        const char *warning;
    } cases[] = {
        {QUrl::fromLocalFile(setup).toString(), true, QUrl::fromLocalFile(setup).toString(), nullptr},
        {setup, true, QUrl::fromLocalFile(setup).toString(), nullptr},
        {QStringLiteral("file:///"), false, {}, "Invalid application path: file:///"},
        {QString(), false, {}, "Invalid application path:"},
        {m_tmp.filePath(QStringLiteral("missing.exe")), false, {}, "Application path does not exist:"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        m_sink.opened.clear();
        clearLines();
        EXPECT_EQ(m_bridge.openApplication(c.text), c.ok);
        EXPECT_EQ(m_sink.opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
        if (c.warning) {
            EXPECT_GE(find(QString::fromUtf8(c.warning), 0, QtWarningMsg), 0);
        }
    }

    // Only absolute browser, mail and file addresses are handed on; nothing
    // else may reach the opener, where a leading '-' reads as an option.
    const QString fileUrl = QUrl::fromLocalFile(setup).toString();
    const struct {
        QString url;
        QString opened; // empty: refused
    } urls[] = {
        {QString(), QStringLiteral("http://localhost")},
        {QStringLiteral("https://example.invalid/a"), QStringLiteral("https://example.invalid/a")},
        {QStringLiteral("mailto:help@example.invalid"), QStringLiteral("mailto:help@example.invalid")},
        {fileUrl, fileUrl},
        {QStringLiteral("-e"), {}},
        {QStringLiteral("--help"), {}},
        {QStringLiteral("javascript:x"), {}},
        {QStringLiteral("example.invalid/page"), {}},
        {QStringLiteral("http:relative"), {}},
    };
    for (const auto &c : urls) {
        SCOPED_TRACE(c.url.toStdString());
        m_sink.opened.clear();
        clearLines();
        m_bridge.openUrl(c.url);
        EXPECT_EQ(m_sink.opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
        EXPECT_EQ(find(QStringLiteral("Refused to open URL"), 0, QtWarningMsg) >= 0, c.opened.isEmpty());
    }
}

TEST_F(BridgeShell, InstallingAFolderFailsAndSystemInfoHasItsFiveKeys)
{
    EXPECT_FALSE(m_bridge.installFile(m_tmp.path()));
    EXPECT_GE(find(QStringLiteral("SystemBridge::installFile 文件不存在:"), 0, QtWarningMsg), 0);
    EXPECT_EQ(m_bridge.getSystemInfo().keys(),
              (QStringList{"kernelType", "kernelVersion", "machineType", "osName", "platform"}));
    EXPECT_EQ(m_bridge.getSystemInfo().value("platform").toString(), m_bridge.getPlatform());
}

// An executable starts in its own folder, and a file URL names exactly the
// file whose decoded text it carries ('#' and '?' included); an installer is
// opened, and the loop ends after it had its moment.
TEST_F(BridgeShell, ExecutablesRunInTheirFolderAndTheInstallerEndsTheLoop)
{
    const QString written = m_tmp.filePath(QStringLiteral("probe.out"));
    const auto makeProbe = [&](const QString &folderName, const QString &fileName) {
        QDir(m_tmp.path()).mkpath(folderName);
        const QString path = QDir(m_tmp.filePath(folderName)).filePath(fileName);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\n{ pwd; basename \"$0\"; } > '%1.tmp' && mv '%1.tmp' '%1'\n")
                       .arg(written)
                       .toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    };
    const QString probe = makeProbe(QStringLiteral("probe dir"), QStringLiteral("probe"));
    // What the texts below name when cut at '#' or '?'.
    makeProbe(QStringLiteral("."), QStringLiteral("a"));
    const QString root = QDir(m_tmp.path()).canonicalPath();

    const auto ranIn = [&]() -> QString {
        if (!QTest::qWaitFor([&] { return QFile::exists(written); }, 10000))
            return QStringLiteral("(did not run)");
        QFile out(written);
        const QString text = out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()).trimmed() : QString();
        QFile::remove(written);
        return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    };
    const struct {
        QString text;
        QString ran; // folder and file name
    } cases[] = {
        {QUrl::fromLocalFile(probe).toString(), root + "/probe dir probe"},
        {probe, root + "/probe dir probe"},
        {"file://" + makeProbe(QStringLiteral("a#b"), QStringLiteral("run")), root + "/a#b run"},
        {"file://" + makeProbe(QStringLiteral("."), QStringLiteral("a?x=1")), root + " a?x=1"},
        {"file://" + QString(probe).replace(QLatin1String(" "), QLatin1String("%20")), root + "/probe dir probe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_TRUE(m_bridge.openApplication(c.text));
        EXPECT_EQ(ranIn().toStdString(), c.ran.toStdString());
        EXPECT_TRUE(m_sink.opened.isEmpty()) << "an executable is started, not opened";
    }

    // An installer is what the program downloaded, opened by the desktop's
    // handler: never run as a program, from anywhere else not at all.
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("cache"))));
    clearLines();
    EXPECT_FALSE(m_bridge.installFile(probe));
    EXPECT_GE(find(QStringLiteral("SystemBridge::installFile 安装文件不在下载目录中:"), 0, QtWarningMsg), 0);
    const QString installer = QDir(downloads::folder()).filePath(QStringLiteral("update_install_1.sh"));
    ASSERT_TRUE(QFile::copy(probe, installer));
    const QFileDevice::Permissions permissions = QFile::permissions(installer);
    m_sink.opened.clear();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_bridge.installFile(installer));
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(m_sink.opened, QStringList{QUrl::fromLocalFile(installer).toString()});
    EXPECT_EQ(QFile::permissions(installer), permissions);
    EXPECT_FALSE(QTest::qWaitFor([&] { return QFile::exists(written); }, 300)) << "the installer ran as a program";
    qputenv("XDG_CACHE_HOME", savedCache);
}

TEST_F(BridgeShell, QuitClosesTheDeviceStopsTheMonitorAndEndsTheLoopWithZero)
{
    m_bridge.startPowerEventMonitor();
    ASSERT_EQ(m_world->simPowerEvents().liveWindows(), 1);
    QTimer::singleShot(0, [&] { m_bridge.quitApplication(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(m_world->simPowerEvents().liveWindows(), 0);
    EXPECT_GE(find(QStringLiteral("HIDHotplugManager::stopAndDisconnectDevice 停止监测并断开设备")), 0);
}

} // namespace

#include "BridgeShellTest.moc"
