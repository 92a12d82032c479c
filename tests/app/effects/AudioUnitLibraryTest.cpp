#include <gtest/gtest.h>

#include <QStringList>

#include "effects/AudioUnitLibrary.h"

namespace {

quar::AudioUnitDescriptor unit(const char* manufacturer, const char* name, uint32_t subType) {
  return quar::AudioUnitDescriptor(quar::AudioUnitDescriptor::fourCC("aufx"), subType, 1, name, manufacturer, 0, false);
}

} // namespace

// Groups keep the catalog's order inside; groups go in the order a file browser uses: case
// aside, runs of digits by value; names differing only in case stay apart.
TEST(AudioUnitLibraryTest, GroupsByManufacturerInLocalizedStandardOrder) {
  const std::vector<quar::AudioUnitDescriptor> list{
      unit("Vendor 10", "A", 1), unit("acme", "Echo", 2), unit("Acme", "Delay", 3), unit("Vendor 2", "B", 4),
      unit("Acme", "Amp", 5),    unit("Bolt", "C", 6),    unit("Zed", "D", 7),
  };
  QStringList order;
  for (const AudioUnitLibrary::Group& group : AudioUnitLibrary::grouped(list)) {
    QStringList names;
    for (const auto& descriptor : group.descriptors) names << QString::fromStdString(descriptor.name);
    order << QString::fromStdString(group.manufacturer) + QStringLiteral(": ") + names.join(QLatin1Char(','));
  }
  ASSERT_EQ(order.size(), 6);
  // "acme" and "Acme" compare equal: they keep the catalog's order.
  EXPECT_EQ(order, (QStringList{"acme: Echo", "Acme: Delay,Amp", "Bolt: C", "Vendor 2: B", "Vendor 10: A", "Zed: D"}));
  EXPECT_TRUE(AudioUnitLibrary::grouped({}).empty());
}

// The installed list is read once; the test bundle's plug-ins are among its groups.
TEST(AudioUnitLibraryTest, ListsTheInstalledPluginsOnce) {
  const std::vector<quar::AudioUnitDescriptor>& first = AudioUnitLibrary::cached();
  EXPECT_EQ(&AudioUnitLibrary::cached(), &first);
  bool found = false;
  for (const AudioUnitLibrary::Group& group : AudioUnitLibrary::byManufacturer())
    for (const auto& descriptor : group.descriptors) found = found || descriptor.name == "Test Stereo Gain";
  EXPECT_TRUE(found);
}
