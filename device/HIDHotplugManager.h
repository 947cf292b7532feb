#pragma once

#include <QObject>


class HIDHotplugManager : public QObject
{
    Q_OBJECT
public:
    static HIDHotplugManager *instance();
    Q_INVOKABLE void stopAndDisconnectDevice();
private:
    explicit HIDHotplugManager(QObject *parent = nullptr);
};
