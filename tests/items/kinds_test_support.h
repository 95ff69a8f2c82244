// Shared pieces of the item-kind tests: a store of either variant with a
// folder, items of a kind made by the store and filed there, and the
// committed file read back strictly.
#pragma once

#include <gtest/gtest.h>

#include <bit>

#include "items/appointment.h"
#include "items/contact.h"
#include "items/kind_tags.h"
#include "items/sticky_note.h"
#include "items/task.h"
#include "items_test_support.h"

namespace vendrel::test {

template <typename V, template <typename, typename> class Impl>
using kind_of = Impl<typename V::bidtype, typename V::chartype>;

template <typename V>
class kinds_test : public items_test {
 protected:
  using B = typename V::bidtype;
  using C = typename V::chartype;

  std::filesystem::path path() const { return dir / "kinds.pst"; }
  typename V::store& store() {
    if (!store_) {
      store_ = new_store<V>(path());
      folder_ = ref<pst_folder>(store_->ipm_subtree()->create_subfolder(text<C>("Items").c_str(), nullptr, nullptr));
    }
    return *store_;
  }
  // A new item of the kind the store call makes, as its implementation class.
  template <template <typename, typename> class Impl>
  ref<kind_of<V, Impl>> make(ref<pst_store_item> (pst_store::*create)()) {
    pst_store& s = store();
    ref<pst_store_item> item = (s.*create)();
    auto* impl = dynamic_cast<kind_of<V, Impl>*>(item.get());
    EXPECT_NE(impl, nullptr);
    return ref<kind_of<V, Impl>>(impl);
  }
  // Files the item (the folder commits it) and returns its NID.
  uint32_t file(pst_store_item& item) {
    folder_->add_message(&item);
    return item.item_nid();
  }
  stored_file<B>& written() {
    if (!file_) {
      store_->commit();
      folder_.reset();
      store_.reset();
      file_ = std::make_unique<stored_file<B>>(path());
    }
    return *file_;
  }
  decoded_pc pc(uint32_t nid) { return written_message<V>(written(), nid).pc(); }

  ref<typename V::store> store_;
  ref<pst_folder> folder_;
  std::unique_ptr<stored_file<B>> file_;
};

// Views of test strings that live as long as the test.
template <typename C>
class texts {
 public:
  std::basic_string_view<C> operator()(std::string_view utf8) {
    held_.push_back(std::make_unique<std::basic_string<C>>(text<C>(utf8)));
    return *held_.back();
  }

 private:
  std::vector<std::unique_ptr<std::basic_string<C>>> held_;
};

inline double double_of(const decoded_property* p) { return std::bit_cast<double>(number_of(p)); }

}  // namespace vendrel::test
