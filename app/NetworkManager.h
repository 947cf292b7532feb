#pragma once

#include <QObject>


class NetworkManager : public QObject
{
    Q_OBJECT
public:
    static NetworkManager *instance();
    Q_INVOKABLE void cancelAllRequests();
private:
    explicit NetworkManager(QObject *parent = nullptr);
};
