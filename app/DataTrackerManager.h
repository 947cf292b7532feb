#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

// Usage events waiting for upload, kept in a local SQLite table until the
// tracking layer deletes what the server accepted.
class DataTrackerManager : public QObject
{
    Q_OBJECT
public:
    static DataTrackerManager *instance();

    // Tests open their own store; open() decides readiness once.
    DataTrackerManager(const QString &databasePath, const QString &connectionName, QObject *parent = nullptr);
    ~DataTrackerManager() override;
    bool open();
    bool isReady() const { return m_ready; }

    static constexpr int kPageSize = 50;

    Q_INVOKABLE void storeEvent(const QString &featureModule, const QString &featureItem, const QString &eventType,
                                const QString &eventValue, const QString &eventTime, const QString &source,
                                const QString &productSn);
    Q_INVOKABLE QVariantList queryEvents(int offset = 0);
    Q_INVOKABLE int countEvents();
    Q_INVOKABLE void deleteByIds(const QVariantList &ids);

signals:
    void errorOccurred(QString error);

private:
    bool createTable();
    void createIndexes();

    QSqlDatabase m_database;
    bool m_ready = false;
    bool m_opened = false;
    QString m_databasePath;
    QString m_connectionName;
};
