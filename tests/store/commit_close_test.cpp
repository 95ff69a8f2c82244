// A store's commit reports success only once its file is on stable storage
// and closed: a flush or close that fails (a file system reporting a failed
// write-back there) makes the commit a file error, which the exported
// calls return as -5.
#include <gtest/gtest.h>

#include "interface/export_guard.h"
#include "ndb/failing_file.h"
#include "store_test_support.h"

namespace vendrel::test {
namespace {

template <typename V>
class CommitClose : public store_test {};
TYPED_TEST_SUITE(CommitClose, store_variants, store_variant_name);

TYPED_TEST(CommitClose, FailedFlushOrCloseIsAFileError) {
  using V = TypeParam;
  struct close_case {
    const char* name;
    bool fail_flush, fail_close;
    int32_t expected;
  };
  for (const close_case& c : {close_case{"both succeed", false, false, 0}, close_case{"the flush fails", true, false, -5},
                              close_case{"the close fails", false, true, -5}}) {
    SCOPED_TRACE(c.name);
    const auto path = this->dir / "commit.pst";
    failing_file state;
    state.path = path.string();
    state.fail_flush = c.fail_flush;
    state.fail_close = c.fail_close;
    external_file_callbacks callbacks = failing_callbacks(state);
    ref<typename V::store> store;
    if constexpr (V::unicode)
      store = make_ref<typename V::store>(std::u16string_view(utf16(path.string())), store_mode::create, &callbacks);
    else
      store = make_ref<typename V::store>(std::string_view(path.string()), store_mode::create, &callbacks);
    ref<pst_store_item> item = store->create_message();
    store->top_folder()->add_message(item.get());
    // The exported commit's own mapping of what the store's commit throws.
    EXPECT_EQ(guarded("CommitPst", [&] {
                store->commit();
                return 0;
              }),
              c.expected);
    EXPECT_EQ(state.flushes, 1);
    EXPECT_EQ(state.closes, 1);
    store.reset();
    EXPECT_EQ(state.closes, 1);
    EXPECT_EQ(check_file(std::u16string_view(utf16(path.string()))).size(), 0u);
  }
}

}  // namespace
}  // namespace vendrel::test
