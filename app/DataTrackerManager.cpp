#include "DataTrackerManager.h"

DataTrackerManager *DataTrackerManager::instance()
{
    static DataTrackerManager *s_instance = new DataTrackerManager();
    return s_instance;
}

DataTrackerManager::DataTrackerManager(QObject *parent)
    : QObject(parent)
{
}

