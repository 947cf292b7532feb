#include "platform/os/linux/LinuxPlatform.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>

namespace os {

LinuxPlatform::Options LinuxPlatform::Options::fromEnvironment()
{
    Options options;
    // On X11, or on Wayland through XWayland; never from an offscreen or
    // other run that merely inherited a DISPLAY.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")))
        options.x11Display = qEnvironmentVariable("DISPLAY").toStdString();
    if (options.x11Display.empty())
        qInfo().noquote() << QStringLiteral("[Platform] no X11 display (platform %1): key combinations are not sent,"
                                            " display power is not watched")
                                 .arg(platform);
    options.power.displayOn = dpmsDisplayState(options.x11Display);
    return options;
}

LinuxPlatform::LinuxPlatform(std::shared_ptr<OsPlatform> base, Options options)
    : m_base(std::move(base))
    , m_keys(options.x11Display)
    , m_power(std::move(options.power))
{
}

std::vector<std::wstring> LinuxPlatform::applicationFolders()
{
    std::vector<std::wstring> folders;
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.push_back(QDir(data).filePath(QStringLiteral("applications")).toStdWString());
    return folders;
}

} // namespace os
