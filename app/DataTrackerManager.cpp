#include "app/DataTrackerManager.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStringList>

namespace {
const QString kConnectionName = QStringLiteral("DataTrackerManagerConnection");

QString defaultDatabasePath()
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    qDebug() << "DataTrackerManager dataDir:" << dataDir;
    return dataDir + QStringLiteral("/data_tracking.db");
}

// A missing value binds as SQL NULL, which NOT NULL rejects; any text,
// empty included, binds as text.
QVariant columnText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    const QString text = value.toString();
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}
} // namespace

DataTrackerManager *DataTrackerManager::instance()
{
    static DataTrackerManager *s_instance = [] {
        auto *manager = new DataTrackerManager(defaultDatabasePath(), kConnectionName);
        manager->open();
        return manager;
    }();
    return s_instance;
}

DataTrackerManager::DataTrackerManager(const QString &databasePath, const QString &connectionName, QObject *parent)
    : QObject(parent)
    , m_databasePath(databasePath)
    , m_connectionName(connectionName)
{
}

DataTrackerManager::~DataTrackerManager()
{
    if (!m_opened)
        return;
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool DataTrackerManager::open()
{
    if (m_opened)
        return m_ready;
    m_opened = true;

    QDir().mkpath(QFileInfo(m_databasePath).absolutePath());
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_database.setDatabaseName(m_databasePath);
    bool recovered = false;
    if (QFileInfo::exists(m_databasePath)) {
        // A damaged file would drop every event of this run and of every
        // later one: it is set aside and the store starts afresh.
        const QString reason = m_database.open() ? damage() : m_database.lastError().text();
        m_database.close();
        if (!reason.isEmpty())
            recovered = setAsideDamaged(reason);
    }
    if (!m_database.open()) {
        const QString error = m_database.lastError().text();
        qWarning() << "Failed to open database:" << error;
        emit errorOccurred(QStringLiteral("Failed to open database: ") + error);
        m_ready = false;
    } else {
        m_ready = createTable();
    }
    if (m_ready)
        qDebug() << "DataTrackerManager initialized with SQLite database";
    else
        qWarning() << "DataTrackerManager failed to initialize database";
    setStoreState(!m_ready ? QStringLiteral("unavailable")
                           : recovered ? QStringLiteral("recovered") : QStringLiteral("ready"));
    return m_ready;
}

QString DataTrackerManager::damage()
{
    QSqlQuery check(m_database);
    if (!check.exec(QStringLiteral("PRAGMA integrity_check")))
        return check.lastError().text();
    QStringList problems;
    while (check.next())
        problems.append(check.value(0).toString());
    if (problems == QStringList{QStringLiteral("ok")})
        return {};
    return problems.isEmpty() ? QStringLiteral("integrity check gave no answer") : problems.join(QLatin1String("; "));
}

bool DataTrackerManager::setAsideDamaged(const QString &reason)
{
    const QString suffix = QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmsszzz"));
    const QString aside = m_databasePath + suffix;
    if (!QFile::rename(m_databasePath, aside)) {
        qWarning() << "Damaged usage database cannot be set aside:" << m_databasePath << reason;
        return false;
    }
    // A journal left by the damaged file must not be replayed into the new one.
    for (const char *companion : {"-journal", "-wal", "-shm"}) {
        const QString path = m_databasePath + QLatin1String(companion);
        if (QFileInfo::exists(path) && !QFile::rename(path, path + suffix))
            QFile::remove(path);
    }
    qWarning() << "Damaged usage database set aside as" << aside << "(" << reason << "); a fresh one is created";
    return true;
}

void DataTrackerManager::setStoreState(const QString &state)
{
    if (state == m_storeState)
        return;
    m_storeState = state;
    emit storeStateChanged();
}

bool DataTrackerManager::createTable()
{
    QSqlQuery probe(m_database);
    if (probe.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name='events'"))
        && probe.next()) {
        qDebug() << "Table 'events' already exists, skipping creation";
        createIndexes();
        return true;
    }

    QSqlQuery create(m_database);
    const bool created = create.exec(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS events ("
        "id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "featureModule TEXT NOT NULL, "
        "featureItem TEXT NOT NULL, "
        "eventType TEXT NOT NULL, "
        "eventValue TEXT NOT NULL, "
        "eventTime TEXT NOT NULL, "
        "source TEXT NOT NULL, "
        "productSn TEXT NOT NULL)"));
    if (!created) {
        const QString error = create.lastError().text();
        qWarning() << "Failed to create events table:" << error;
        emit errorOccurred(QStringLiteral("Failed to create events table: ") + error);
        return false;
    }
    createIndexes();
    qDebug() << "Database tables created successfully";
    return true;
}

void DataTrackerManager::createIndexes()
{
    static const char *const kStatements[] = {
        "CREATE INDEX IF NOT EXISTS idx_events_feature_module ON events(featureModule)",
        "CREATE INDEX IF NOT EXISTS idx_events_feature_item ON events(featureItem)",
        "CREATE INDEX IF NOT EXISTS idx_events_event_type ON events(eventType)",
        "CREATE INDEX IF NOT EXISTS idx_events_product_sn ON events(productSn)",
    };
    for (const char *statement : kStatements) {
        QSqlQuery query(m_database);
        if (!query.exec(QString::fromLatin1(statement)))
            qWarning() << "Failed to create index:" << query.lastError().text();
    }
}

void DataTrackerManager::storeEvent(const QVariant &featureModule, const QVariant &featureItem,
                                    const QVariant &eventType, const QVariant &eventValue, const QVariant &eventTime,
                                    const QVariant &source, const QVariant &productSn)
{
    if (!m_ready) {
        qWarning() << "Database not initialized, cannot store event";
        return;
    }
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("INSERT INTO events (featureModule, featureItem, eventType, eventValue, "
                                 "eventTime, source, productSn) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant *value : {&featureModule, &featureItem, &eventType, &eventValue, &eventTime, &source,
                                  &productSn}) {
        query.addBindValue(columnText(*value));
    }
    if (!query.exec()) {
        const QString error = query.lastError().text();
        qWarning() << "Failed to insert event:" << error;
        emit errorOccurred(QStringLiteral("Failed to insert event: ") + error);
        return;
    }
    qDebug() << "Event stored:" << featureModule.toString() << featureItem.toString() << eventType.toString()
             << eventValue.toString();
}

QVariantList DataTrackerManager::queryEvents(int offset)
{
    QVariantList events;
    if (!m_ready) {
        qWarning() << "Database not initialized, cannot query events";
        return events;
    }
    QSqlQuery query(m_database);
    // Equal times are common (several events per second): the id keeps
    // pages stable so no event is skipped or read twice while paging.
    query.prepare(QStringLiteral("SELECT * FROM events ORDER BY eventTime DESC, id DESC LIMIT %1 OFFSET ?")
                      .arg(kPageSize));
    query.addBindValue(offset);
    if (!query.exec()) {
        const QString error = query.lastError().text();
        qWarning() << "Failed to query events:" << error;
        emit errorOccurred(QStringLiteral("Failed to query events: ") + error);
        return events;
    }
    while (query.next()) {
        const QSqlRecord record = query.record();
        QVariantMap event;
        for (int i = 0; i < record.count(); ++i)
            event.insert(record.fieldName(i), record.value(i));
        events.append(event);
    }
    qDebug() << "Queried" << events.size() << "events with offset" << offset;
    return events;
}

int DataTrackerManager::countEvents()
{
    QSqlQuery query(m_database);
    if (query.exec(QStringLiteral("SELECT COUNT(*) FROM events")) && query.next())
        return query.value(0).toInt();
    return 0;
}

int DataTrackerManager::deleteByIds(const QVariantList &ids)
{
    if (ids.isEmpty())
        return 0;
    QStringList placeholders;
    placeholders.reserve(ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i)
        placeholders.append(QStringLiteral("?"));
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("DELETE FROM events WHERE id IN (") + placeholders.join(QLatin1Char(',')) +
                  QLatin1Char(')'));
    for (const QVariant &id : ids)
        query.addBindValue(id);
    if (!query.exec()) {
        const QString error = query.lastError().text();
        qWarning() << "Failed to delete events by IDs:" << error;
        emit errorOccurred(QStringLiteral("Failed to delete events by IDs: ") + error);
        return -1;
    }
    const int deleted = query.numRowsAffected();
    qDebug() << "Deleted" << deleted << "events";
    return deleted;
}
