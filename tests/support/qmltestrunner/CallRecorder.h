#pragma once

#include <QObject>
#include <QVariantList>

// Base of the QML fakes: every call a test cares about is kept, in order,
// as {"method": name, "args": [...]}, readable from QML.
class CallRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantList calls READ calls NOTIFY callsChanged)
public:
    using QObject::QObject;

    QVariantList calls() const { return m_calls; }

    // Argument lists of the calls of one method, oldest first.
    Q_INVOKABLE QVariantList callsTo(const QString &method) const;
    Q_INVOKABLE virtual void reset();

    // Byte arrays are recorded as lists of numbers 0..255 so that QML can
    // compare them.
    static QVariantList bytesToList(const QByteArray &bytes);

signals:
    void callsChanged();

protected:
    void record(const QString &method, const QVariantList &args = {});

private:
    QVariantList m_calls;
};
