#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
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

    // Texts arrive as QVariant: a script's '' reaches a QString parameter as a
    // null string, which would bind as SQL NULL. Only undefined or null are
    // missing values.
    Q_INVOKABLE void storeEvent(const QVariant &featureModule, const QVariant &featureItem,
                                const QVariant &eventType, const QVariant &eventValue, const QVariant &eventTime,
                                const QVariant &source, const QVariant &productSn);
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
