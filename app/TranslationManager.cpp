#include "TranslationManager.h"

TranslationManager *TranslationManager::instance()
{
    static TranslationManager *s_instance = new TranslationManager();
    return s_instance;
}

TranslationManager::TranslationManager(QObject *parent)
    : QObject(parent)
{
}

void TranslationManager::setEngine(QQmlEngine *engine)
{
    Q_UNUSED(engine);
}
