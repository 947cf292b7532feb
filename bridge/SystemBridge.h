#pragma once

#include <QObject>


class SystemBridge : public QObject
{
    Q_OBJECT
public:
    static SystemBridge *instance();
    void initializeMonitorDevice();
    Q_INVOKABLE void stopPowerEventMonitor();
private:
    explicit SystemBridge(QObject *parent = nullptr);
};
