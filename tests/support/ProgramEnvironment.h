// The environment a test runs the quarnel program in: the system's, with the null audio device,
// the settings, data and runtime folders (and so the single-instance endpoint) inside `folder`,
// a fixed locale, and no leak check: the X and font libraries keep caches for the life of the
// process, and tests kill the instances they launch.
#pragma once

#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace quar::testing {

inline QProcessEnvironment programEnvironment(const QTemporaryDir& folder) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QUARNEL_AUDIO"), QStringLiteral("null"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
  return environment;
}

} // namespace quar::testing
