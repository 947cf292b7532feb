#include "app/DataTrackerManager.h"

#include <QDir>
#include <QFile>
#include <QJSValue>
#include <QQmlEngine>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QStringList kColumns = {"id", "featureModule", "featureItem", "eventType",
                              "eventValue", "eventTime", "source", "productSn"};

class DataTrackerManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::unique_ptr<DataTrackerManager> openStore(const QString &path, bool expectReady = true)
    {
        auto store = std::make_unique<DataTrackerManager>(path, QStringLiteral("test-%1").arg(++m_connections));
        EXPECT_EQ(store->open(), expectReady);
        return store;
    }

    QString dbPath() const { return m_dir.filePath("nested/folder/data_tracking.db"); }

    static void storeAt(DataTrackerManager &store, int n, const QString &time)
    {
        store.storeEvent("mixer", QStringLiteral("item%1").arg(n), "click", QString::number(n), time, "pc", "SN1");
    }

    static QStringList indexNames(const QString &path)
    {
        QStringList names;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inspect");
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query("SELECT name FROM sqlite_master WHERE type='index' AND name LIKE 'idx_%' ORDER BY name",
                                db);
                while (query.next())
                    names << query.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase("inspect");
        return names;
    }

    QTemporaryDir m_dir;
    int m_connections = 0;
};

TEST_F(DataTrackerManagerTest, FirstOpenCreatesFolderTableAndIndexesLaterOpensFindThem)
{
    {
        auto store = openStore(dbPath());
        EXPECT_TRUE(store->isReady());
        EXPECT_EQ(store->countEvents(), 0);
    }
    EXPECT_TRUE(QFile::exists(dbPath()));
    const QStringList expected = {"idx_events_event_type", "idx_events_feature_item", "idx_events_feature_module",
                                  "idx_events_product_sn"};
    EXPECT_EQ(indexNames(dbPath()), expected);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
        db.setDatabaseName(dbPath());
        ASSERT_TRUE(db.open());
        QSqlQuery(QStringLiteral("DROP INDEX idx_events_event_type"), db);
    }
    QSqlDatabase::removeDatabase("drop");
    auto again = openStore(dbPath());
    EXPECT_EQ(indexNames(dbPath()), expected); // ensured on every open
}

TEST_F(DataTrackerManagerTest, PagesOfFiftyNewestFirstAndIdsKeepGrowing)
{
    auto store = openStore(dbPath());
    QSignalSpy errors(store.get(), &DataTrackerManager::errorOccurred);
    // Stored out of time order, with ties every few rows.
    for (int i = 0; i < 120; ++i) {
        const int minute = (i * 37) % 60;
        const int second = (i * 7) % 3;
        storeAt(*store, i, QStringLiteral("2026-01-01 10:%1:%2").arg(minute, 2, 10, QChar('0')).arg(second, 2, 10, QChar('0')));
    }
    EXPECT_EQ(store->countEvents(), 120);

    const QVariantList first = store->queryEvents(0);
    const QVariantList second = store->queryEvents(50);
    const QVariantList third = store->queryEvents(100);
    ASSERT_EQ(first.size(), 50);
    ASSERT_EQ(second.size(), 50);
    ASSERT_EQ(third.size(), 20);
    EXPECT_EQ(store->queryEvents(), first);
    EXPECT_TRUE(store->queryEvents(120).isEmpty());

    QVariantList all = first + second + third;
    QSet<qint64> seen;
    for (int i = 0; i < all.size(); ++i) {
        const QVariantMap event = all.at(i).toMap();
        QStringList expectedKeys = kColumns;
        expectedKeys.sort();
        EXPECT_EQ(event.keys(), expectedKeys);
        seen.insert(event.value("id").toLongLong());
        if (i == 0)
            continue;
        const QVariantMap previous = all.at(i - 1).toMap();
        const QString prevTime = previous.value("eventTime").toString();
        const QString time = event.value("eventTime").toString();
        ASSERT_GE(prevTime, time) << i;
        if (prevTime == time) {
            ASSERT_GT(previous.value("id").toLongLong(), event.value("id").toLongLong()) << i;
        }
    }
    EXPECT_EQ(seen.size(), 120); // no row twice, none skipped

    qint64 maxId = 0;
    QVariantList ids;
    for (const QVariant &v : all) {
        maxId = std::max(maxId, v.toMap().value("id").toLongLong());
        ids << v.toMap().value("id");
    }
    store->deleteByIds(ids.mid(0, 100) + QVariantList{999999});
    EXPECT_EQ(store->countEvents(), 20);
    // Deleting the highest ids must not let them come back.
    store->deleteByIds(ids.mid(100));
    EXPECT_EQ(store->countEvents(), 0);
    storeAt(*store, 500, "2026-01-02 00:00:00");
    const QVariantList after = store->queryEvents();
    ASSERT_EQ(after.size(), 1);
    EXPECT_GT(after.at(0).toMap().value("id").toLongLong(), maxId);
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(DataTrackerManagerTest, EmptyTextIsStoredAndMissingValueIsReported)
{
    auto store = openStore(dbPath());
    QSignalSpy errors(store.get(), &DataTrackerManager::errorOccurred);
    store->storeEvent("", "", "", "", "", "", "");
    ASSERT_EQ(store->countEvents(), 1);
    EXPECT_EQ(store->queryEvents().at(0).toMap().value("eventValue").toString(), QString(""));
    EXPECT_EQ(errors.count(), 0);

    store->storeEvent("m", "i", "t", QVariant(), "2026-01-01 00:00:00", "pc", "SN");
    EXPECT_EQ(store->countEvents(), 1);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(0).toString().startsWith("Failed to insert event: "));
}

TEST_F(DataTrackerManagerTest, ScriptEmptyTextsAreStoredAndMissingOnesReported)
{
    auto store = openStore(dbPath());
    QSignalSpy errors(store.get(), &DataTrackerManager::errorOccurred);
    QQmlEngine engine;
    QQmlEngine::setObjectOwnership(store.get(), QQmlEngine::CppOwnership);
    engine.globalObject().setProperty("tracker", engine.newQObject(store.get()));
    // A connection record: empty module, item and type written as literals.
    const QJSValue result = engine.evaluate(
        "tracker.storeEvent('', '', '', '{\"duration\":5}', '2026-01-01 00:00:00', 'connected', 'SN1');"
        "tracker.storeEvent('m', undefined, 't', 'v', '2026-01-01 00:00:01', 'software', 'SN1');"
        "tracker.storeEvent('m', 'i', 't', null, '2026-01-01 00:00:02', 'software', 'SN1');");
    ASSERT_FALSE(result.isError()) << result.toString().toStdString();
    ASSERT_EQ(store->countEvents(), 1);
    const QVariantMap stored = store->queryEvents().at(0).toMap();
    EXPECT_EQ(stored.value("featureModule").toString(), "");
    EXPECT_EQ(stored.value("source").toString(), "connected");
    ASSERT_EQ(errors.count(), 2);
    EXPECT_TRUE(errors.at(1).at(0).toString().startsWith("Failed to insert event: "));

    // The uploader hands back the ids it read, as script numbers.
    const QJSValue deleted = engine.evaluate("tracker.deleteByIds(tracker.queryEvents().map(e => e.id));"
                                             "tracker.countEvents()");
    EXPECT_EQ(deleted.toInt(), 0) << deleted.toString().toStdString();
}

TEST_F(DataTrackerManagerTest, EmptyAndUnknownIdListsDeleteNothing)
{
    auto store = openStore(dbPath());
    QSignalSpy errors(store.get(), &DataTrackerManager::errorOccurred);
    storeAt(*store, 1, "2026-01-01 00:00:00");
    EXPECT_EQ(store->deleteByIds({}), 0);
    EXPECT_EQ(store->deleteByIds({12345, 67890}), 0);
    EXPECT_EQ(store->countEvents(), 1);
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(DataTrackerManagerTest, UnopenableDatabaseReportsAndLosesNothingStored)
{
    {
        auto store = openStore(dbPath());
        for (int i = 0; i < 5; ++i)
            storeAt(*store, i, "2026-01-01 00:00:00");
    }

    // A file where the folder should be: neither folder nor database can be made.
    QFile blocker(m_dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto broken = std::make_unique<DataTrackerManager>(m_dir.filePath("blocker/data_tracking.db"), "broken");
    QSignalSpy errors(broken.get(), &DataTrackerManager::errorOccurred);
    EXPECT_FALSE(broken->open());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(0).toString().startsWith("Failed to open database: "));

    storeAt(*broken, 1, "2026-01-01 00:00:00");
    EXPECT_TRUE(broken->queryEvents().isEmpty());
    EXPECT_EQ(broken->countEvents(), 0);
    EXPECT_EQ(errors.count(), 1); // store and query stay silent
    broken->deleteByIds({1});
    ASSERT_EQ(errors.count(), 2);
    EXPECT_TRUE(errors.at(1).at(0).toString().startsWith("Failed to delete events by IDs: "));
    broken.reset();

    auto reopened = openStore(dbPath());
    EXPECT_EQ(reopened->countEvents(), 5);
}

// A damaged file is set aside under its name plus ".damaged-<time>" and the
// events of this run go to a fresh database.
TEST_F(DataTrackerManagerTest, DamagedDatabaseIsSetAsideAndAFreshOneKeepsNewEvents)
{
    // A sound database of a few pages, whose second half a crash cut away.
    const QString sound = m_dir.filePath("sound.db");
    {
        auto store = openStore(sound);
        for (int i = 0; i < 12; ++i)
            store->storeEvent("mixer", "item", "click", QString(2000, QChar('a' + i)), "2026-01-01 00:00:00", "pc",
                              "SN1");
    }
    QFile soundFile(sound);
    ASSERT_TRUE(soundFile.open(QIODevice::ReadOnly));
    const QByteArray soundBytes = soundFile.readAll();
    ASSERT_GT(soundBytes.size(), 8192);

    struct Case {
        const char *name;
        QByteArray bytes;
        QString state;
    };
    const Case cases[] = {
        {"garbage", QByteArray(4096, 'x'), "recovered"},
        {"cut in half", soundBytes.left(soundBytes.size() / 2), "recovered"},
        {"sound", soundBytes, "ready"},
        {"empty file", QByteArray(), "ready"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("data_tracking.db");
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.bytes);
        }
        auto store = std::make_unique<DataTrackerManager>(path, QStringLiteral("damaged"));
        EXPECT_TRUE(store->open());
        EXPECT_EQ(store->storeState(), c.state);
        const QStringList aside = QDir(dir.path()).entryList({"data_tracking.db.damaged-*"}, QDir::Files);
        if (c.state == QLatin1String("recovered")) {
            ASSERT_EQ(aside.size(), 1);
            QFile kept(dir.filePath(aside.at(0)));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), c.bytes); // set aside as it was, for a look later
        } else {
            EXPECT_TRUE(aside.isEmpty());
        }
        const int before = store->countEvents();
        storeAt(*store, 1, "2026-01-02 00:00:00");
        store.reset();
        auto reopened = openStore(path);
        EXPECT_EQ(reopened->storeState(), QStringLiteral("ready"));
        EXPECT_EQ(reopened->countEvents(), before + 1);
    }
}

QStringList g_messages;
void collectMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages.append(message);
}

// A store that cannot write says so: deletes report -1, inserts are never
// logged as stored.
TEST_F(DataTrackerManagerTest, WritesThatFailAreReportedAsFailures)
{
    auto store = openStore(dbPath());
    for (int i = 0; i < 3; ++i)
        storeAt(*store, i, "2026-01-01 00:00:00");
    QVariantList ids;
    for (const QVariant &event : store->queryEvents())
        ids.append(event.toMap().value("id"));
    EXPECT_EQ(store->deleteByIds({ids.at(0), 999999}), 1);

    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("test-%1").arg(m_connections));
        QSqlQuery(QStringLiteral("PRAGMA query_only = ON"), db);
    }
    QSignalSpy errors(store.get(), &DataTrackerManager::errorOccurred);
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    EXPECT_EQ(store->deleteByIds(ids.mid(1)), -1);
    storeAt(*store, 9, "2026-01-01 00:00:00");
    qInstallMessageHandler(previous);
    EXPECT_EQ(store->countEvents(), 2);
    ASSERT_EQ(errors.count(), 2);
    EXPECT_TRUE(errors.at(1).at(0).toString().startsWith("Failed to insert event: "));
    EXPECT_FALSE(g_messages.join('\n').contains("Event stored")) << g_messages.join('\n').toStdString();
}

} // namespace
