// The owner's contract: every handle taken is closed exactly once, by whoever holds it last,
// unless it was released; the traits' state travels with the handle.
#include "base/unique_any.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Handles are ints, -1 the null one; closes are recorded by the log the traits point at.
struct LoggedTraits {
  using Handle = int;
  static Handle Null() { return -1; }
  void Close(Handle handle) const { closed->push_back(handle); }

  std::vector<int>* closed = nullptr;
};
using Owner = UniqueAny<LoggedTraits>;

TEST(UniqueAny, ClosesEachHandleOnceByItsLastOwner) {
  std::vector<int> closed;
  {
    Owner empty;
    EXPECT_FALSE(empty);
    Owner zero(0, LoggedTraits{&closed});  // 0 is a valid handle here, only -1 is null
    EXPECT_TRUE(zero);

    Owner first(1, LoggedTraits{&closed});
    Owner moved(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(moved.Get(), 1);

    empty = std::move(moved);  // empty takes handle 1 and the log
    moved.Reset(2);            // a moved-from owner is reusable (it kept the log)
    moved.Reset(3);            // closes 2
    EXPECT_EQ(closed, (std::vector<int>{2}));

    Owner target(4, LoggedTraits{&closed});
    target = std::move(moved);  // closes 4, takes 3
    EXPECT_EQ(target.Release(), 3);
    EXPECT_FALSE(target);
    target.Reset();  // nothing held: nothing closed
    EXPECT_EQ(closed, (std::vector<int>{2, 4}));
  }
  // Leaving the scope, in reverse order of declaration: zero held 0, empty held 1; 3 was
  // released.
  EXPECT_EQ(closed, (std::vector<int>{2, 4, 0, 1}));
}

}  // namespace
