#pragma once

#include <QString>

// The programs' texts. Every text a program shows is a key passed to tr(); each program carries the
// English texts of its keys in its resources (":/translations/<program>_en.qm", compiled at build time
// from resources/translations/<program>_en.ts) and may be given a translation file by the installation.
namespace Translations {

// Installs the English texts of `englishResource` and, over them, the translation `file` when one is
// named and loads. Qt asks the translator installed last first and falls back to the earlier one for a
// text it lacks, so the file's texts show where it has them and the English ones everywhere else: no
// window shows a bare key. English texts that do not load are a build fault and are logged as a
// warning. The translators belong to the application object, which must exist.
// Returns whether `file` loaded.
bool install(const QString &englishResource, const QString &file = QString());

} // namespace Translations
