// Reference counting: the count before an add, after a release, and the
// destruction when the last holder lets go.
#include <gtest/gtest.h>

#include "common/base_object.h"

namespace vendrel {
namespace {

class Probe : public BaseObject {
 public:
  explicit Probe(int* destroyed) : destroyed_(destroyed) {}
  ~Probe() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(BaseObject, AddRefReturnsTheCountBeforeReleaseTheCountAfter) {
  int destroyed = 0;
  auto* probe = new Probe(&destroyed);
  EXPECT_EQ(probe->add_ref(), 0);
  EXPECT_EQ(probe->add_ref(), 1);
  EXPECT_EQ(probe->release(), 1);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(probe->release(), 0);
  EXPECT_EQ(destroyed, 1);
}

TEST(BaseObject, CountedReferencesShareOneObject) {
  int destroyed = 0;
  {
    ref<Probe> first = make_ref<Probe>(&destroyed);
    EXPECT_EQ(first->ref_count(), 1);
    ref<Probe> copy = first;
    EXPECT_EQ(first->ref_count(), 2);
    ref<BaseObject> base = copy;
    EXPECT_EQ(first->ref_count(), 3);
    ref<Probe> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(first->ref_count(), 3);
    first = nullptr;
    EXPECT_EQ(moved->ref_count(), 2);
    moved = moved;  // self-assignment keeps the object
    EXPECT_EQ(base->ref_count(), 2);
  }
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace vendrel
