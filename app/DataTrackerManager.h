#pragma once

#include <QObject>


class DataTrackerManager : public QObject
{
    Q_OBJECT
public:
    static DataTrackerManager *instance();

private:
    explicit DataTrackerManager(QObject *parent = nullptr);
};
