#include "TestHttpServer.h"
#include "app/NetworkManager.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Response = TestHttpServer::Response;

// Every request signal in arrival order.
struct Event {
    QString kind;
    int id = 0;
    int code = 0;
    QString text;
    bool success = false;
    QVariantMap response;
};

Event makeEvent(const QString &kind, int id, int code = 0, const QString &text = {}, bool success = false,
                const QVariantMap &response = {})
{
    return {kind, id, code, text, success, response};
}

class Recorder
{
public:
    explicit Recorder(NetworkManager &client)
    {
        QObject::connect(&client, &NetworkManager::requestCompleted, &m_context,
                         [this](int id, bool success, const QVariantMap &response) {
                             m_events.append(makeEvent("completed", id, 0, {}, success, response));
                         });
        QObject::connect(&client, &NetworkManager::requestError, &m_context,
                         [this](int id, int code, const QString &text) { m_events.append(makeEvent("error", id, code, text)); });
        QObject::connect(&client, &NetworkManager::fileDownloaded, &m_context,
                         [this](int id, const QString &path) { m_events.append(makeEvent("downloaded", id, 0, path)); });
        QObject::connect(&client, &NetworkManager::downloadProgress, &m_context, [this](int id, qint64, qint64 total) {
            m_events.append(makeEvent("downloadProgress", id, int(total)));
        });
        QObject::connect(&client, &NetworkManager::uploadProgress, &m_context,
                         [this](int id, qint64, qint64) { m_events.append(makeEvent("uploadProgress", id)); });
    }

    bool waitCompleted(int id, int timeoutMs = 20000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!completed(id) && !deadline.hasExpired())
            TestHttpServer::spin(5);
        return completed(id);
    }

    bool completed(int id) const { return indexOf("completed", id) >= 0; }
    Event completion(int id) const { return m_events.value(indexOf("completed", id)); }
    int indexOf(const QString &kind, int id) const
    {
        for (int i = 0; i < m_events.size(); ++i) {
            if (m_events.at(i).kind == kind && m_events.at(i).id == id)
                return i;
        }
        return -1;
    }
    QList<Event> of(int id, const QString &kind = {}) const
    {
        QList<Event> result;
        for (const Event &event : m_events) {
            if (event.id == id && (kind.isEmpty() || event.kind == kind))
                result.append(event);
        }
        return result;
    }
    // Errors and completion only, without progress.
    QList<Event> outcome(int id) const
    {
        QList<Event> result;
        for (const Event &event : m_events) {
            if (event.id == id && (event.kind == "error" || event.kind == "completed"))
                result.append(event);
        }
        return result;
    }
    int count() const { return int(m_events.size()); }

private:
    QObject m_context;
    QList<Event> m_events;
};

class NetworkManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen());
        // Downloads are fetched over plain http from this server only.
        qputenv("VELORAN_SERVER_URL", m_server.url("/").toString(QUrl::StripTrailingSlash).toUtf8());
        m_server.route("GET", "/object", Response::json(R"({"code":0,"data":{"x":1},"status_code":"body"})"));
        m_server.route("GET", "/array", Response::json("[1,2]"));
        m_server.route("GET", "/empty", Response::json(""));
        m_server.route("GET", "/text", Response::text("hello"));
        m_server.route("*", "/echo", Response::json(R"({"code":0})"));
        m_server.route("GET", "/missing", Response::text("gone", 404));
        m_server.route("GET", "/broken", Response::json(R"({"code":1})", 500));
        Response stall;
        stall.stall = true;
        m_server.route("*", "/stall", stall);
    }

    QString url(const QString &path) const { return m_server.url(path).toString(); }

    // A transfer the network ended: its cause, then the disconnection line,
    // and a failed completion.
    void expectDisconnection(int id, QNetworkReply::NetworkError cause)
    {
        ASSERT_TRUE(m_recorder.waitCompleted(id));
        const auto errors = m_recorder.of(id, "error");
        ASSERT_EQ(errors.size(), 2);
        EXPECT_EQ(errors.at(0).code, int(cause));
        EXPECT_EQ(errors.at(1).text, "Network disconnection");
        EXPECT_FALSE(m_recorder.completion(id).success);
    }

    TestHttpServer m_server;
    NetworkManager m_client;
    Recorder m_recorder{m_client};
};

TEST_F(NetworkManagerTest, IdsAreConsecutiveAcrossKinds)
{
    EXPECT_EQ(m_client.getNextRequestId(), 0);
    const int first = m_client.get(url("/object"));
    const int second = m_client.requestWithMethod("PATCH", url("/echo"));
    const int third = m_client.post(url("/echo"));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(third, 3);
    EXPECT_EQ(m_client.getNextRequestId(), 3);
    EXPECT_TRUE(m_recorder.waitCompleted(third));
}

TEST_F(NetworkManagerTest, MethodsBodiesAndRefusedPatch)
{
    // One at a time, so the server sees them in call order.
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.get(url("/echo"))));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.post(url("/echo"))));
    ASSERT_TRUE(m_recorder.waitCompleted(
        m_client.requestWithMethod("Post", url("/echo"), QVariantMap{{"a", 1}, {"b", "x"}})));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.put(url("/echo"), {{"k", true}})));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.deleteResource(url("/echo"))));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.requestWithMethod("post", url("/echo"))));

    const int before = m_server.requestCount();
    const int patch = m_client.requestWithMethod("PATCH", url("/echo"));
    ASSERT_EQ(m_recorder.of(patch).size(), 1); // reported inside the call
    EXPECT_EQ(m_recorder.of(patch).at(0).kind, "error");
    EXPECT_EQ(m_recorder.of(patch).at(0).code, -1);
    EXPECT_EQ(m_recorder.of(patch).at(0).text, "Failed to create network request");
    TestHttpServer::spin(100);
    EXPECT_EQ(m_server.requestCount(), before);
    EXPECT_FALSE(m_recorder.completed(patch));

    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 6);
    EXPECT_EQ(requests.at(0).method, "GET");
    EXPECT_TRUE(requests.at(0).body.isEmpty());
    EXPECT_EQ(requests.at(1).method, "POST");
    EXPECT_EQ(QJsonDocument::fromJson(requests.at(1).body).object(), QJsonObject());
    EXPECT_TRUE(requests.at(1).body.contains('\n')); // the indented form
    EXPECT_EQ(QJsonDocument::fromJson(requests.at(2).body).object(), QJsonObject({{"a", 1}, {"b", "x"}}));
    EXPECT_EQ(requests.at(3).method, "PUT");
    EXPECT_EQ(QJsonDocument::fromJson(requests.at(3).body).object(), QJsonObject({{"k", true}}));
    EXPECT_EQ(requests.at(4).method, "DELETE");
    EXPECT_TRUE(requests.at(4).body.isEmpty());
    EXPECT_EQ(requests.at(5).method, "POST");
}

TEST_F(NetworkManagerTest, DefaultHeadersAndPerCallOverride)
{
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.get(url("/echo"))));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.get(url("/echo"), {{"Accept", "text/plain"}, {"X-Token", "abc"}})));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.get(url("/echo"))));
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests.at(0).header("User-Agent"), "Veloran Deck/1.0.0");
    EXPECT_EQ(requests.at(0).header("Accept"), "application/json");
    EXPECT_EQ(requests.at(0).header("Content-Type"), "application/json");
    EXPECT_EQ(requests.at(1).header("Accept"), "text/plain");
    EXPECT_EQ(requests.at(1).header("X-Token"), "abc");
    EXPECT_EQ(requests.at(2).header("Accept"), "application/json");

    m_client.setDefaultHeaders({{"X-Only", "1"}}); // replaces, no merge
    const int replaced = m_client.get(url("/echo"));
    ASSERT_TRUE(m_recorder.waitCompleted(replaced));
    EXPECT_EQ(m_server.requests().last().header("X-Only"), "1");
    EXPECT_TRUE(m_server.requests().last().header("User-Agent") != "Veloran Deck/1.0.0");
}

TEST_F(NetworkManagerTest, ReplyBodiesBecomeTheResponseMap)
{
    const int object = m_client.get(url("/object"));
    const int array = m_client.get(url("/array"));
    const int empty = m_client.get(url("/empty"));
    const int text = m_client.get(url("/text"));
    for (int id : {object, array, empty, text})
        ASSERT_TRUE(m_recorder.waitCompleted(id));

    const Event objectDone = m_recorder.completion(object);
    EXPECT_TRUE(objectDone.success);
    EXPECT_EQ(objectDone.response.value("code").toInt(), 0);
    EXPECT_EQ(objectDone.response.value("data").toMap().value("x").toInt(), 1);
    EXPECT_EQ(objectDone.response.value("status_code"), QVariant(200)); // overrides the body member
    EXPECT_EQ(objectDone.response.value("headers").toMap().value("Content-Type").toByteArray(), "application/json");

    const Event arrayDone = m_recorder.completion(array);
    EXPECT_TRUE(arrayDone.success);
    EXPECT_EQ(arrayDone.response.value("data").toList(), (QVariantList{1, 2}));
    EXPECT_EQ(arrayDone.response.value("status_code").toInt(), 200);
    EXPECT_FALSE(arrayDone.response.contains("error"));

    const Event emptyDone = m_recorder.completion(empty);
    EXPECT_TRUE(emptyDone.success);
    EXPECT_TRUE(emptyDone.response.value("error").toString().startsWith("JSON parse error: "));
    EXPECT_EQ(emptyDone.response.value("raw_data").toString(), "");

    const Event textDone = m_recorder.completion(text);
    EXPECT_TRUE(textDone.success);
    EXPECT_EQ(textDone.response.value("raw_data").toString(), "hello");
    EXPECT_EQ(textDone.response.value("status_code").toInt(), 200);
}

TEST_F(NetworkManagerTest, ErrorStatusesSignalErrorBeforeFailedCompletion)
{
    const int missing = m_client.get(url("/missing"));
    const int broken = m_client.get(url("/broken"));
    const int refused = m_client.get(QStringLiteral("http://127.0.0.1:%1/x").arg(TestHttpServer::closedPort()));
    for (int id : {missing, broken, refused}) {
        ASSERT_TRUE(m_recorder.waitCompleted(id));
        const auto events = m_recorder.outcome(id);
        ASSERT_EQ(events.size(), 2) << id;
        EXPECT_EQ(events.at(0).kind, "error");
        EXPECT_EQ(events.at(1).kind, "completed");
        EXPECT_FALSE(events.at(1).success);
        EXPECT_EQ(QStringList(events.at(1).response.keys()), (QStringList{"error", "error_code"}));
        EXPECT_EQ(events.at(1).response.value("error_code").toInt(), events.at(0).code);
    }
    EXPECT_EQ(m_recorder.of(missing).at(0).code, int(QNetworkReply::ContentNotFoundError));
    EXPECT_EQ(m_recorder.of(broken).at(0).code, int(QNetworkReply::InternalServerError));
    EXPECT_EQ(m_recorder.of(refused).at(0).code, int(QNetworkReply::ConnectionRefusedError));
}

TEST_F(NetworkManagerTest, DownloadWritesFileWithProgressBeforeCompletion)
{
    QTemporaryDir dir;
    const QByteArray payload = QByteArray("firmware-").repeated(40000);
    m_server.route("GET", "/fw.bin", Response::text(payload));
    const QString target = dir.filePath("a/b/fw.bin");
    const int id = m_client.downloadFile(url("/fw.bin"), target);
    ASSERT_TRUE(m_recorder.waitCompleted(id));

    EXPECT_GE(m_recorder.of(id, "downloadProgress").size(), 1);
    const int downloaded = m_recorder.indexOf("downloaded", id);
    ASSERT_GE(downloaded, 0);
    EXPECT_LT(downloaded, m_recorder.indexOf("completed", id));
    EXPECT_EQ(m_recorder.of(id, "downloaded").at(0).text, target);
    const Event done = m_recorder.completion(id);
    EXPECT_TRUE(done.success);
    // The body is in the file only: no copy of it in the reply map.
    EXPECT_EQ(done.response.keys(), QStringList({"headers", "status_code"}));
    EXPECT_EQ(done.response.value("status_code").toInt(), 200);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), payload);
    EXPECT_EQ(QDir(dir.filePath("a/b")).entryList(QDir::Files), QStringList({"fw.bin"}));
}

TEST_F(NetworkManagerTest, DownloadThatCannotBeSavedFails)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = dir.filePath("blocker/fw.bin");
    const int id = m_client.downloadFile(url("/text"), target);
    TestHttpServer::spin(100);
    EXPECT_TRUE(m_recorder.of(id, "downloaded").isEmpty());
    const auto errors = m_recorder.of(id, "error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.at(0).text, "Cannot write file: " + target);
    EXPECT_EQ(m_server.requestCount(), 0); // refused before anything is fetched
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(NetworkManagerTest, DownloadConnectionLossAddsDisconnectionError)
{
    QTemporaryDir dir;
    const int id = m_client.downloadFile(QStringLiteral("http://127.0.0.1:%1/fw").arg(TestHttpServer::closedPort()),
                                         dir.filePath("fw.bin"));
    expectDisconnection(id, QNetworkReply::ConnectionRefusedError);
    EXPECT_TRUE(m_recorder.of(id, "downloaded").isEmpty());
}

TEST_F(NetworkManagerTest, DownloadWithoutTargetIsRefusedUnsent)
{
    const int id = m_client.downloadFile(url("/text"), {});
    TestHttpServer::spin(100);
    const auto errors = m_recorder.of(id, "error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.at(0).code, -1);
    EXPECT_TRUE(errors.at(0).text.startsWith("Cannot write file: "));
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(NetworkManagerTest, DownloadCutByTheServerIsAFailure)
{
    QTemporaryDir dir;
    Response cut;
    cut.closeAbruptly = true;
    m_server.route("GET", "/cut", cut);
    const QString target = dir.filePath("fw.bin");
    const int id = m_client.downloadFile(url("/cut"), target);
    expectDisconnection(id, QNetworkReply::RemoteHostClosedError);
    EXPECT_FALSE(QFile::exists(target));
}

// Downloads that must not land: each is refused, reported on the error path
// and leaves no file, partial or whole, behind; an older file at the target
// stays as it was. Those that land replace it with the exact bytes.
TEST_F(NetworkManagerTest, RefusedDownloadsLeaveNoFile)
{
    // Another service on the allowed host, which a redirect must not reach.
    TestHttpServer otherPort;
    ASSERT_TRUE(otherPort.listen());
    otherPort.route("GET", "/fw.bin", Response::text("other service"));
    // With a page of its own, which is no part of the file.
    const auto redirect = [](const QByteArray &location) {
        Response response = Response::text("moved", 302);
        response.headers = {{"Location", location}};
        return response;
    };
    Response tooLong;
    tooLong.generatedBytes = 64 * 1024 * 1024; // announced: refused before the body
    Response unannounced;
    unannounced.generatedBytes = 3 * 1024 * 1024;
    unannounced.omitLength = true;
    Response shortBody = Response::text(QByteArray(256 * 1024, 'f'));
    shortBody.dropAfterBytes = 100 * 1024;
    // Complete as its chunks frame it, so only the announced length shows
    // that it is short.
    Response shortChunks = Response::text("3e8\r\n" + QByteArray(1000, 'c') + "\r\n0\r\n\r\n");
    shortChunks.omitLength = true;
    shortChunks.headers = {{"Transfer-Encoding", "chunked"}, {"Content-Length", "2000"}};
    const QString elsewhere = QStringLiteral("http://127.0.0.2:%1/fw.bin").arg(m_server.port());
    const QString otherService = otherPort.url("/fw.bin").toString();
    const QByteArray image(1000, 'i');
    m_server.route("GET", "/fw.bin", Response::text(image));
    m_server.route("GET", "/too-long", tooLong);
    m_server.route("GET", "/unannounced", unannounced);
    m_server.route("GET", "/short", shortBody);
    m_server.route("GET", "/short-chunks", shortChunks);
    Response part = Response::text(image, 206);
    part.headers = {{"Content-Range", "bytes 0-999/4000"}};
    m_server.route("GET", "/part", part);
    m_server.route("GET", "/choices", Response::text("pick one", 300));
    m_server.route("GET", "/elsewhere", redirect(elsewhere.toUtf8()));
    m_server.route("GET", "/other-port", redirect(otherService.toUtf8()));
    m_server.route("GET", "/late-other-port", redirect("/other-port"));
    m_server.route("GET", "/other-scheme", redirect("ftp://127.0.0.1/fw.bin"));
    m_server.route("GET", "/same-server", redirect("/fw.bin"));
    m_server.route("GET", "/loop", redirect("/loop"));
    // left=N: N more redirects, then the file, whose length only its end
    // tells.
    Response unannouncedImage = Response::text(image);
    unannouncedImage.omitLength = true;
    m_server.route("GET", "/chain", [redirect, unannouncedImage](const TestHttpServer::Request &request) {
        const int left = request.query.queryItemValue("left").toInt();
        return left > 0 ? redirect("/chain?left=" + QByteArray::number(left - 1)) : unannouncedImage;
    });

    struct Case {
        const char *name;
        QString address;
        qint64 maxBytes;
        QString error; // our own refusal's text ("<target>" the path); empty: the error is the reply's
        int requests;
        bool lands = false;
        bool partTakenAway = false; // "<target>.part" gone while the body arrives: the final rename fails
    };
    const Case cases[] = {
        {"Content-Length over the cap", url("/too-long"), 8 * 1024 * 1024, "Download larger than 8388608 bytes", 1},
        {"body over the cap", url("/unannounced"), 2 * 1024 * 1024, "Download larger than 2097152 bytes", 1},
        {"body cut short of Content-Length", url("/short"), 1024 * 1024, "", 1},
        {"chunks short of Content-Length", url("/short-chunks"), 1024 * 1024,
         "Download ended after 1000 of 2000 bytes", 1},
        {"not found", url("/missing"), 1024 * 1024, "", 1},
        {"status Qt passes", url("/choices"), 1024 * 1024, "Download failed with HTTP status 300", 1},
        {"http on another host", elsewhere, 1024 * 1024, "Download address refused: " + elsewhere, 0},
        {"file address", "file:///etc/hostname", 1024 * 1024, "Download address refused: file:///etc/hostname", 0},
        {"redirect to another host", url("/elsewhere"), 1024 * 1024, "Redirect refused: " + elsewhere, 1},
        {"redirect to another port", url("/other-port"), 1024 * 1024, "Redirect refused: " + otherService, 1},
        {"redirect to another port at the second hop", url("/late-other-port"), 1024 * 1024,
         "Redirect refused: " + otherService, 2},
        {"redirect to another scheme", url("/other-scheme"), 1024 * 1024, "Redirect refused: ftp://127.0.0.1/fw.bin",
         1},
        {"redirect loop", url("/loop"), 1024 * 1024, "Redirect loop: " + url("/loop"), 1},
        {"6 redirects", url("/chain?left=6"), 1024 * 1024, "More than 5 redirects: " + url("/chain?left=0"), 6},
        {"part that no range asked for", url("/part"), 1024 * 1024, "Download failed with HTTP status 206", 1},
        {"final rename impossible", url("/fw.bin"), 1000, "Cannot write file: <target>", 1, false, true},
        {"redirect on the same server", url("/same-server"), 1024 * 1024, "", 2, true},
        {"2 redirects", url("/chain?left=2"), 1024 * 1024, "", 3, true},
        {"3 redirects", url("/chain?left=3"), 1024 * 1024, "", 4, true},
        {"5 redirects", url("/chain?left=5"), 1024 * 1024, "", 6, true},
        {"within the cap", url("/fw.bin"), 1000, "", 1, true},
    };
    for (const Case &c : cases) {
        for (const bool older : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (older ? ", over an older file" : ""));
            QTemporaryDir dir;
            m_server.clearRequests();
            otherPort.clearRequests();
            const QString target = dir.filePath("fw.bin");
            QFile file(target);
            if (older) {
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write("older");
                file.close();
            }
            const int id = m_client.downloadFile(c.address, target, {}, c.maxBytes);
            if (c.partTakenAway) {
                ASSERT_TRUE(QFile::remove(target + ".part"));
            }
            const bool refusedUnsent = c.requests == 0;
            if (refusedUnsent)
                TestHttpServer::spin(100);
            else
                ASSERT_TRUE(m_recorder.waitCompleted(id));
            TestHttpServer::spin(50);
            const bool lands = c.lands;
            // The access manager may send a GET again once when a reused
            // connection closes early.
            if (refusedUnsent) {
                EXPECT_EQ(m_server.requestCount(), 0);
            } else {
                EXPECT_GE(m_server.requestCount(), c.requests);
                EXPECT_EQ(m_recorder.completion(id).success, lands);
            }
            EXPECT_EQ(otherPort.requestCount(), 0);
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), lands || older ? QStringList{"fw.bin"} : QStringList{});
            if (lands || older) {
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                EXPECT_EQ(file.readAll(), lands ? image : QByteArray("older"));
            }
            EXPECT_EQ(m_recorder.of(id, "downloaded").size(), lands ? 1 : 0);
            if (lands) {
                for (const Event &progress : m_recorder.of(id, "downloadProgress"))
                    EXPECT_TRUE(progress.code == image.size() || progress.code == -1) << progress.code; // -1: unknown
                continue;
            }
            const auto errors = m_recorder.of(id, "error");
            EXPECT_GE(errors.size(), 1);
            if (!c.error.isEmpty() && !errors.isEmpty()) {
                EXPECT_EQ(errors.at(0).text, QString(c.error).replace("<target>", target));
                EXPECT_EQ(errors.at(0).code, -1);
            }
        }
    }
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// An installer of 600 MiB sent without Content-Length is streamed to disk
// and cut off at its cap; the process never holds it in memory.
TEST_F(NetworkManagerTest, OversizedInstallerIsRefusedAtTheCapWithoutGrowingMemory)
{
    Response huge;
    huge.generatedBytes = 600LL * 1024 * 1024;
    huge.omitLength = true;
    m_server.route("GET", "/installer.bin", huge);
    QTemporaryDir dir;
    const QString target = dir.filePath("installer.bin");
    const long before = residentKiB();
    ASSERT_GT(before, 0);
    long peak = before;
    qint64 received = 0;
    QObject context;
    QObject::connect(&m_client, &NetworkManager::downloadProgress, &context, [&](int, qint64 bytes, qint64) {
        received = bytes;
        peak = std::max(peak, residentKiB());
    });
    const int id = m_client.downloadFile(url("/installer.bin"), target, {}, NetworkManager::kInstallerMaxBytes);
    ASSERT_TRUE(m_recorder.waitCompleted(id, 120000));
    EXPECT_FALSE(m_recorder.completion(id).success);
    ASSERT_FALSE(m_recorder.of(id, "error").isEmpty());
    EXPECT_EQ(m_recorder.of(id, "error").at(0).text, "Download larger than 536870912 bytes");
    EXPECT_GT(received, NetworkManager::kInstallerMaxBytes - 8 * 1024 * 1024); // it really got that far
    EXPECT_LE(received, NetworkManager::kInstallerMaxBytes + 1024 * 1024);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed blocks in quarantine: the figure means
    // something only without it.
    EXPECT_LT(peak - before, 64 * 1024) << "resident memory grew by " << (peak - before) << " KiB";
#endif
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// At start-up the download folder keeps the waiting installer (and what is
// newer), and nothing older; a path elsewhere protects nothing.
TEST(DownloadFolder, StartUpKeepsTheWaitingFileAndNewerOnes)
{
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    const QDir folder(NetworkManager::downloadFolder());
    ASSERT_TRUE(folder.path().startsWith(home.path()));
    const QDateTime now = QDateTime::currentDateTime();
    const auto make = [&](const QString &name, int ageSeconds) {
        QFile file(folder.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("x");
        file.flush();
        file.setFileTime(now.addSecs(-ageSeconds), QFileDevice::FileModificationTime);
        return file.fileName();
    };
    struct Case {
        const char *name;
        std::function<QStringList()> keep; // makes the files, names what to keep
        QStringList left;
    };
    const Case cases[] = {
        {"waiting installer",
         [&] {
             make("firmware_1.bin", 300);
             make("update_install_2.exe", 200);
             make("update_install_3.exe.part", 150);
             const QString waiting = make("update_install_4.exe", 100);
             make("firmware_5.bin", 10);
             return QStringList{waiting, QString()};
         },
         {"firmware_5.bin", "update_install_4.exe"}},
        {"nothing waiting",
         [&] {
             make("update_install_2.exe", 200);
             make("firmware_5.bin", 10);
             return QStringList{QString(), QString()};
         },
         {}},
        {"waiting file elsewhere",
         [&] {
             make("update_install_2.exe", 200);
             return QStringList{home.filePath("update_install_9.exe")};
         },
         {}},
        {"installer and firmware image",
         [&] {
             const QString image = make("firmware_1.bin", 300);
             make("update_install_2.exe", 200);
             const QString waiting = make("update_install_4.exe", 100);
             return QStringList{waiting, image};
         },
         {"firmware_1.bin", "update_install_4.exe"}},
    };
    NetworkManager client;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        client.cleanDownloads(c.keep());
        EXPECT_EQ(folder.entryList(QDir::Files, QDir::Name), c.left);
        for (const QString &name : folder.entryList(QDir::Files))
            QFile::remove(folder.filePath(name));
    }
    qputenv("XDG_CACHE_HOME", saved);
}

TEST_F(NetworkManagerTest, StalledReplyEndsWithTheTransferTimeOut)
{
    QTemporaryDir dir;
    m_client.setTimeout(300);
    const QString target = dir.filePath("fw.bin");
    const int request = m_client.get(url("/stall"));
    const int download = m_client.downloadFile(url("/stall"), target);
    for (int id : {request, download}) {
        SCOPED_TRACE(id == request ? "request" : "download");
        ASSERT_TRUE(m_recorder.waitCompleted(id));
        const auto errors = m_recorder.of(id, "error");
        ASSERT_GE(errors.size(), 1);
        EXPECT_EQ(errors.at(0).code, int(QNetworkReply::OperationCanceledError)); // 5: the time-out
        EXPECT_FALSE(m_recorder.completion(id).success);
    }
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(m_server.requestCount(), 2); // nothing retried
}

TEST_F(NetworkManagerTest, CancelAllDropsPendingRequestsSilently)
{
    const int a = m_client.get(url("/stall"));
    const int b = m_client.post(url("/stall"));
    const int c = m_client.get(url("/stall"));
    ASSERT_TRUE(m_server.waitForRequests(3));
    EXPECT_EQ(m_client.pendingCount(), 3);
    const int eventsBefore = m_recorder.count();
    m_client.cancelAllRequests();
    EXPECT_EQ(m_client.pendingCount(), 0);
    TestHttpServer::spin(200);
    EXPECT_EQ(m_recorder.count(), eventsBefore);
    for (int id : {a, b, c})
        EXPECT_TRUE(m_recorder.of(id).isEmpty());

    const int later = m_client.get(url("/echo")); // the client still works
    EXPECT_TRUE(m_recorder.waitCompleted(later));
}

TEST_F(NetworkManagerTest, UploadSendsMultipartWithItsOwnContentType)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("report.bin");
    const QByteArray payload = QByteArray("\x00\x01\x02upload", 9).repeated(3000);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(payload);
    }
    const int id = m_client.uploadFile(url("/echo"), path);
    ASSERT_TRUE(m_recorder.waitCompleted(id));
    EXPECT_TRUE(m_recorder.completion(id).success);
    EXPECT_GE(m_recorder.of(id, "uploadProgress").size(), 1);
    EXPECT_TRUE(m_recorder.of(id, "downloadProgress").isEmpty());

    const auto request = m_server.requests().last();
    EXPECT_EQ(request.method, "POST");
    EXPECT_TRUE(request.header("Content-Type").startsWith("multipart/form-data; boundary="))
        << request.header("Content-Type").toStdString();
    ASSERT_EQ(request.parts.size(), 1);
    EXPECT_EQ(request.parts.at(0).name, "file");
    EXPECT_EQ(request.parts.at(0).fileName, "report.bin");
    EXPECT_EQ(request.parts.at(0).contentType, "application/octet-stream");
    EXPECT_EQ(request.parts.at(0).body, payload);
}

TEST_F(NetworkManagerTest, UploadOfMissingFileIsRefusedInsideTheCall)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("nothing.bin");
    const int id = m_client.uploadFile(url("/echo"), path);
    const auto events = m_recorder.of(id);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events.at(0).code, -1);
    EXPECT_EQ(events.at(0).text, "File does not exist: " + path);
    TestHttpServer::spin(100);
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_FALSE(m_recorder.completed(id));
}

TEST_F(NetworkManagerTest, ListBodyKeepsListOrder)
{
    QVariantList list;
    QStringList jsList;
    for (int i = 0; i < 12; ++i) {
        list << QVariantMap{{"id", i}};
        jsList << QStringLiteral("{\"id\": %1}").arg(i);
    }
    QJSEngine engine;
    const QJSValue jsArray = engine.evaluate("[" + jsList.join(',') + "]");
    ASSERT_TRUE(jsArray.isArray());

    ASSERT_TRUE(m_recorder.waitCompleted(m_client.postDataList(url("/echo"), list)));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.postDataList(url("/echo"), QVariant::fromValue(jsArray))));
    ASSERT_TRUE(m_recorder.waitCompleted(m_client.postDataList(url("/echo"), QVariantMap{{"b", 2}, {"a", 1}, {"c", 3}})));

    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3);
    for (int r = 0; r < 2; ++r) {
        const QJsonArray array = QJsonDocument::fromJson(requests.at(r).body).array();
        ASSERT_EQ(array.size(), 12) << r;
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(array.at(i).toObject().value("id").toInt(), i) << r;
    }
    EXPECT_EQ(QJsonDocument::fromJson(requests.at(2).body).array(), QJsonArray({1, 2, 3}));
}

TEST_F(NetworkManagerTest, ScriptCallsSendArraysAndObjectsAsWritten)
{
    QQmlEngine engine;
    QQmlEngine::setObjectOwnership(&m_client, QQmlEngine::CppOwnership);
    engine.globalObject().setProperty("client", engine.newQObject(&m_client));
    engine.globalObject().setProperty("base", m_server.url().toString());
    const QJSValue ids = engine.evaluate(
        "var items = []; for (var i = 0; i < 12; ++i) items.push({id: i});"
        "[client.postDataList(base + 'echo', items), client.post(base + 'echo', {z: 1, a: [3, 2]})]");
    ASSERT_FALSE(ids.isError()) << ids.toString().toStdString();
    ASSERT_TRUE(m_recorder.waitCompleted(ids.property(0).toInt()));
    ASSERT_TRUE(m_recorder.waitCompleted(ids.property(1).toInt()));
    QJsonArray list;
    QJsonObject object;
    for (const auto &request : m_server.requests()) {
        const QJsonDocument document = QJsonDocument::fromJson(request.body);
        if (document.isArray())
            list = document.array();
        else
            object = document.object();
    }
    ASSERT_EQ(list.size(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(list.at(i).toObject().value("id").toInt(), i);
    EXPECT_EQ(object, QJsonObject({{"z", 1}, {"a", QJsonArray({3, 2})}}));
}

TEST_F(NetworkManagerTest, ReceiverMayStartRequestsFromInsideTheSignals)
{
    int followUp = -1;
    int afterError = -1;
    QObject context;
    QObject::connect(&m_client, &NetworkManager::requestCompleted, &context, [&](int id, bool, const QVariantMap &) {
        if (followUp < 0 && id == 1)
            followUp = m_client.get(url("/object"));
    });
    QObject::connect(&m_client, &NetworkManager::requestError, &context, [&](int, int, const QString &) {
        if (afterError < 0)
            afterError = m_client.get(url("/array"));
    });
    const int first = m_client.get(url("/echo"));
    ASSERT_EQ(first, 1);
    ASSERT_TRUE(m_recorder.waitCompleted(first));
    ASSERT_GT(followUp, first);
    EXPECT_TRUE(m_recorder.waitCompleted(followUp));

    const int failing = m_client.get(url("/missing"));
    ASSERT_TRUE(m_recorder.waitCompleted(failing));
    ASSERT_GT(afterError, failing);
    EXPECT_TRUE(m_recorder.waitCompleted(afterError));
}

TEST_F(NetworkManagerTest, BatchSkipsEntriesWithoutUrlAndRetryCountChangesNothing)
{
    m_client.setRetryCount(5);
    m_client.batchRequest({QVariantMap{{"url", url("/echo")}},
                           QVariantMap{{"method", "POST"}, {"url", ""}},
                           QVariantMap{{"method", "PUT"}, {"url", url("/echo")}, {"data", QVariantMap{{"v", 7}}},
                                       {"headers", QVariantMap{{"X-Batch", "yes"}}}},
                           QVariantMap{{"url", url("/missing")}}});
    EXPECT_EQ(m_client.getNextRequestId(), 3);
    for (int id = 1; id <= 3; ++id)
        ASSERT_TRUE(m_recorder.waitCompleted(id));
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3); // the failing one was not retried
    QStringList methods;
    for (const auto &request : requests) {
        methods << QString::fromLatin1(request.method);
        if (request.method == "PUT") {
            EXPECT_EQ(request.header("X-Batch"), "yes");
            EXPECT_EQ(QJsonDocument::fromJson(request.body).object(), QJsonObject({{"v", 7}}));
        }
    }
    methods.sort();
    EXPECT_EQ(methods, (QStringList{"GET", "GET", "PUT"}));
    EXPECT_FALSE(m_recorder.completion(3).success);
}

} // namespace
