#include "app/SettingsManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSet>
#include <QSettings>

namespace {
const QSet<QString> &appKeys()
{
    static const QSet<QString> keys = {
        "appList", "listen", "share_data", "auto_install", "auto_install_path", "language",
        "general_rate", "general_hotkey_type", "general_hotkey_value_app",
        "general_hotkey_value_url", "general_hotkey_value_key", "color_picker_preset_colors",
        "accessKey", "trackId", "upgradeFirmwareFilePath", "device_monitor", "device_mix",
    };
    return keys;
}

QString colorText(const QColor &color)
{
    return color.name(QColor::HexRgb);
}
} // namespace

SettingsManager *SettingsManager::instance()
{
    static SettingsManager *s_instance = new SettingsManager();
    return s_instance;
}

SettingsManager::SettingsManager(QObject *parent)
    : QObject(parent)
{
    m_organization = QCoreApplication::applicationName();
    if (m_organization.isEmpty())
        m_organization = QStringLiteral("Veloran Deck");
    m_appSettings = createStore(QStringLiteral("AppSettings"));
    m_deviceSettings = createStore(QStringLiteral("Settings"));
    qDebug().noquote() << "QSettings(device) file path: " + m_deviceSettings->fileName();
    qDebug().noquote() << "QSettings(app)    file path: " + m_appSettings->fileName();
}

SettingsManager::~SettingsManager()
{
    m_deviceSettings->sync();
    m_appSettings->sync();
}

QSettings *SettingsManager::createStore(const QString &name)
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, m_organization, name, this);
}

void SettingsManager::commit(QSettings *store)
{
    // A read-only or full folder would otherwise lose every write silently.
    store->sync();
    const QSettings::Status status = store->status();
    if (status == QSettings::NoError)
        return;
    const QString cause = status == QSettings::AccessError ? QStringLiteral("cannot be written")
                                                           : QStringLiteral("has a format error");
    if (m_reportedFailures.contains(store->fileName() + QLatin1Char('|') + cause))
        return;
    m_reportedFailures.insert(store->fileName() + QLatin1Char('|') + cause);
    qWarning().noquote() << "SettingsManager: settings file" << store->fileName() << cause
                         << "- changes are not kept";
}

bool SettingsManager::isAppKey(const QString &key)
{
    if (appKeys().contains(key))
        return true;
    if (key.startsWith(QLatin1String("device_")))
        return false;
    return key.endsWith(QLatin1String("_monitor")) || key.endsWith(QLatin1String("_mix"))
        || key.endsWith(QLatin1String("_dB"));
}

QSettings *SettingsManager::storeFor(const QString &key) const
{
    return isAppKey(key) ? m_appSettings : m_deviceSettings;
}

void SettingsManager::write(const QString &key, const QVariant &value)
{
    QSettings *store = storeFor(key);
    const QVariant previous = store->value(key);
    store->setValue(key, value);
    commit(store);
    if (previous != value)
        emit valueChanged(key, value);
}

void SettingsManager::setValue(const QString &key, const QVariant &value)
{
    write(key, value);
}

QVariant SettingsManager::getValue(const QString &key, const QVariant &defaultValue) const
{
    return storeFor(key)->value(key, defaultValue);
}

void SettingsManager::removeValue(const QString &key)
{
    storeFor(key)->remove(key);
    commit(storeFor(key));
    emit valueChanged(key, QVariant());
}

bool SettingsManager::contains(const QString &key) const
{
    return storeFor(key)->contains(key);
}

void SettingsManager::setColor(const QString &key, const QColor &color)
{
    write(key, colorText(color));
}

QColor SettingsManager::getColor(const QString &key, const QColor &defaultColor) const
{
    return QColor(storeFor(key)->value(key, colorText(defaultColor)).toString());
}

void SettingsManager::setStringList(const QString &key, const QStringList &list)
{
    write(key, list);
}

QStringList SettingsManager::getStringList(const QString &key, const QStringList &defaultList) const
{
    return storeFor(key)->value(key, defaultList).toStringList();
}

void SettingsManager::sync()
{
    commit(m_deviceSettings);
    commit(m_appSettings);
}

void SettingsManager::clear()
{
    m_deviceSettings->clear();
    m_appSettings->clear();
    sync();
    emit valueChanged(QString(), QVariant());
}

QStringList SettingsManager::getAllKeys() const
{
    return m_deviceSettings->allKeys() + m_appSettings->allKeys();
}

void SettingsManager::setDeviceScope(const QString &deviceId)
{
    if (deviceId == m_deviceScope)
        return;
    m_deviceScope = deviceId;
    commit(m_deviceSettings);
    delete m_deviceSettings;
    m_deviceSettings = createStore(deviceId.isEmpty() ? QStringLiteral("Settings")
                                                      : QStringLiteral("Settings_") + deviceId);
    qDebug().noquote() << "切换设备配置文件:" << m_deviceSettings->fileName();
}

QString SettingsManager::deviceScope() const
{
    return m_deviceScope;
}
