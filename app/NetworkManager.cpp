#include "NetworkManager.h"

NetworkManager *NetworkManager::instance()
{
    static NetworkManager *s_instance = new NetworkManager();
    return s_instance;
}

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
{
}

void NetworkManager::cancelAllRequests()
{
}
