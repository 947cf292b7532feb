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
    // "ready", "recovered" (a damaged file was set aside and a fresh one made)
    // or "unavailable"; readable whenever the interface connects, since the
    // store is opened before anyone listens to its signals.
    Q_PROPERTY(QString storeState READ storeState NOTIFY storeStateChanged)
public:
    static DataTrackerManager *instance();

    // Tests open their own store; open() decides readiness once.
    DataTrackerManager(const QString &databasePath, const QString &connectionName, QObject *parent = nullptr);
    ~DataTrackerManager() override;
    bool open();
    bool isReady() const { return m_ready; }
    QString storeState() const { return m_storeState; }

    static constexpr int kPageSize = 50;

    // Texts arrive as QVariant: a script's '' reaches a QString parameter as a
    // null string, which would bind as SQL NULL. Only undefined or null are
    // missing values.
    Q_INVOKABLE void storeEvent(const QVariant &featureModule, const QVariant &featureItem,
                                const QVariant &eventType, const QVariant &eventValue, const QVariant &eventTime,
                                const QVariant &source, const QVariant &productSn);
    Q_INVOKABLE QVariantList queryEvents(int offset = 0);
    Q_INVOKABLE int countEvents();
    // Rows deleted, or -1 when the statement failed.
    Q_INVOKABLE int deleteByIds(const QVariantList &ids);

signals:
    void errorOccurred(QString error);
    void storeStateChanged();

private:
    // Empty when SQLite reads the whole file as sound, else what it found.
    QString damage();
    bool setAsideDamaged(const QString &reason);
    void setStoreState(const QString &state);
    bool createTable();
    void createIndexes();

    QSqlDatabase m_database;
    bool m_ready = false;
    bool m_opened = false;
    QString m_storeState = QStringLiteral("unavailable");
    QString m_databasePath;
    QString m_connectionName;
};
