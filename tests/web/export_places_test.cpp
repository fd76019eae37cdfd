// The bound on exports running at once: places are taken up to the bound,
// come back when their holder goes (also one moved on, or one that outlives
// the bound's owner), and are taken by one thread each when many race.
#include "web/export_places.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace qv {
namespace {

TEST(ExportPlacesTest, TakenUpToTheBoundAndGivenBackWhenTheHolderGoes) {
  ExportPlaces places(2);
  ExportPlace first = places.Take();
  std::optional<ExportPlace> second(places.Take());
  EXPECT_TRUE(first);
  EXPECT_TRUE(*second);
  EXPECT_FALSE(places.Take());
  EXPECT_EQ(places.Taken(), 2);

  second.reset();
  EXPECT_EQ(places.Taken(), 1);
  ExportPlace moved = std::move(first);
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(places.Taken(), 1);
  ExportPlace third = places.Take();
  EXPECT_TRUE(third);
  third = ExportPlace();
  EXPECT_EQ(places.Taken(), 1);
}

TEST(ExportPlacesTest, APlaceMayOutliveTheBoundsOwner) {
  std::optional<ExportPlaces> places(std::in_place, 1);
  ExportPlace held = places->Take();
  places.reset();
  EXPECT_TRUE(held);
  held = ExportPlace();  // gives back into the state it shares
  EXPECT_FALSE(held);
}

TEST(ExportPlacesTest, RacingTakersGetNoMoreThanTheBound) {
  ExportPlaces places(3);
  std::vector<std::thread> threads;
  std::vector<ExportPlace> got(16);
  for (size_t i = 0; i < got.size(); ++i) {
    threads.emplace_back([&places, &got, i] { got[i] = places.Take(); });
  }
  for (std::thread& t : threads) t.join();
  int taken = 0;
  for (const ExportPlace& place : got) taken += place ? 1 : 0;
  EXPECT_EQ(taken, 3);
  EXPECT_EQ(places.Taken(), 3);
}

}  // namespace
}  // namespace qv
