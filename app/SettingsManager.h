#pragma once

#include "bridge/StoredSettings.h"

#include <QColor>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>

class QSettings;

// Two INI stores presented as one flat key space; the key alone decides
// which store holds it (see storeFor()).
class SettingsManager : public QObject, public StoredSettings
{
    Q_OBJECT
public:
    static SettingsManager *instance();
    ~SettingsManager() override;

    Q_INVOKABLE void setValue(const QString &key, const QVariant &value);
    Q_INVOKABLE QVariant getValue(const QString &key, const QVariant &defaultValue = QVariant()) const;
    Q_INVOKABLE void removeValue(const QString &key);
    Q_INVOKABLE bool contains(const QString &key) const;
    Q_INVOKABLE void setColor(const QString &key, const QColor &color);
    Q_INVOKABLE QColor getColor(const QString &key, const QColor &defaultColor = QColor()) const;
    Q_INVOKABLE void setStringList(const QString &key, const QStringList &list);
    Q_INVOKABLE QStringList getStringList(const QString &key, const QStringList &defaultList = QStringList()) const;
    Q_INVOKABLE void sync();
    Q_INVOKABLE void clear();
    Q_INVOKABLE QStringList getAllKeys() const;
    Q_INVOKABLE void setDeviceScope(const QString &deviceId);
    Q_INVOKABLE QString deviceScope() const;

    QVariant storedValue(const QString &key, const QVariant &fallback) const override
    {
        return getValue(key, fallback);
    }

    // True when the key belongs to the application store.
    static bool isAppKey(const QString &key);

    // Tests create their own managers over a temporary settings folder.
    explicit SettingsManager(QObject *parent = nullptr);

signals:
    void valueChanged(const QString &key, const QVariant &value);

private:
    QSettings *storeFor(const QString &key) const;
    void write(const QString &key, const QVariant &value);
    QSettings *createStore(const QString &name);
    // Writes the store through and logs a failure once per file and cause.
    void commit(QSettings *store);

    QSettings *m_deviceSettings = nullptr;
    QSettings *m_appSettings = nullptr;
    QString m_deviceScope;
    QString m_organization;
    QSet<QString> m_reportedFailures; // "<file>|<status>" already logged
};
