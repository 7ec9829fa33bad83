#pragma once

#include <QString>

// Where tests keep what they leave for a reader (screenshots, logs): one folder under the build tree,
// never the source tree or the folder a test happens to run in.
namespace TestArtefacts {

// The folder, made when missing.
QString dir();
// A file of that folder.
QString path(const QString &fileName);

} // namespace TestArtefacts
