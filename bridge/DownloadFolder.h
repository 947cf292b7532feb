// Where the program keeps what it downloads: the user's own cache folder, so
// an installer is only ever started from a place that other users cannot
// write to. The HTTP client saves there; the shell actions install from there.
#pragma once

#include <QString>

namespace downloads {

// "<cache>/downloads", created on demand; empty when there is no cache folder.
QString folder();
// True for a file directly inside folder().
bool contains(const QString &path);

} // namespace downloads
