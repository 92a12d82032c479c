// Helpers of the preset tests: a presets folder emptied before and after each test (the data
// folder is the test run's temporary one), and reading what lies in it.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "AppTestSupport.h"
#include "effects/EffectPresets.h"

namespace PresetTestSupport {

inline QString presetsFolder() { return QFileInfo(EffectPresets::filePath()).path(); }

// Empties the presets folder (a file in its place included) and forgets the presets read.
inline void clearPresets() {
  const QString folder = presetsFolder();
  if (QFileInfo(folder).isDir())
    QDir(folder).removeRecursively();
  else
    QFile::remove(folder);
  EffectPresets::forgetCache();
}

// The names of the files in the presets folder, sorted.
inline QStringList presetFiles() { return QDir(presetsFolder()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name); }

inline QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void write(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(data);
}

} // namespace PresetTestSupport

// Starts and ends every test without presets.
class PresetTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    PresetTestSupport::clearPresets();
  }
  void TearDown() override { PresetTestSupport::clearPresets(); }
};
