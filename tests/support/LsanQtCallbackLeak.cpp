// Leaks on purpose from code of ours that Qt calls: a virtual override run by
// the event dispatch, a single-shot timer's callback, a model item's setData
// called by the Gui model, and an item's geometryChange called by Quick. The
// asan run checks that the leak suppressions, which name Qt's own frames,
// still report each of them.
#include <QGuiApplication>
#include <QObject>
#include <QQuickItem>
#include <QStandardItemModel>
#include <QTimer>
#include <QTimerEvent>

#include <cstring>

namespace {

// Allocated and forgotten; the sizes name the leaks in the report.
void leak(size_t bytes)
{
    char *lost = new char[bytes];
    std::memset(lost, 1, bytes);
    asm volatile("" : : "r"(lost) : "memory");
}

class LeakingObject : public QObject
{
protected:
    void timerEvent(QTimerEvent *event) override
    {
        killTimer(event->timerId());
        leak(4321);
    }
};

class LeakingItem : public QStandardItem
{
public:
    void setData(const QVariant &value, int role) override
    {
        leak(4323);
        QStandardItem::setData(value, role);
    }
};

class LeakingQuickItem : public QQuickItem
{
protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override
    {
        leak(4324);
        QQuickItem::geometryChange(newGeometry, oldGeometry);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    LeakingObject object;
    object.startTimer(0);
    QTimer::singleShot(0, [] { leak(4322); });

    QStandardItemModel model;
    model.appendRow(new LeakingItem);
    model.setData(model.index(0, 0), QStringLiteral("text"));

    LeakingQuickItem item;
    item.setSize(QSizeF(10, 10));

    QTimer::singleShot(20, &app, &QCoreApplication::quit);
    return app.exec();
}
