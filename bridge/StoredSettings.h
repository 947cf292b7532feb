#pragma once

#include <QString>
#include <QVariant>

// The user's stored settings as the bridge reads them; the program hands its
// settings store to the bridge (SystemBridge::setStoredSettings). Read on the
// GUI thread only.
class StoredSettings
{
public:
    virtual QVariant storedValue(const QString &key, const QVariant &fallback = QVariant()) const = 0;

protected:
    ~StoredSettings() = default;
};
