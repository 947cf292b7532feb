#pragma once

#include <QObject>
class QQmlEngine;

class TranslationManager : public QObject
{
    Q_OBJECT
public:
    static TranslationManager *instance();
    void setEngine(QQmlEngine *engine);
private:
    explicit TranslationManager(QObject *parent = nullptr);
};
