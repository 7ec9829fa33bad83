#include "translations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTranslator>

namespace Translations {

namespace {

bool installOne(const QString &path)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(path) && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace

bool install(const QString &englishResource, const QString &file)
{
    if (!installOne(englishResource))
        qWarning().noquote() << "Translations: the program's English texts" << englishResource
                             << "are missing";
    return !file.isEmpty() && installOne(file);
}

} // namespace Translations
