#include "translations.h"

#include <QCoreApplication>
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
    installOne(englishResource);
    return !file.isEmpty() && installOne(file);
}

} // namespace Translations
