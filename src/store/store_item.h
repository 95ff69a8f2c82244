// What a store and a folder need from an item (a message or one of the other
// item kinds) to hand out its NID and to file it in a folder: the item is a
// property set bound to one store's node database, with a NID of type 0x04,
// a kind for the folder statistics, and a saved flag that tells whether it
// has been written yet. The message classes implement this interface.
#pragma once

#include <cstdint>

#include "ltp/property_set.h"

namespace vendrel {

enum class pst_item_kind : uint8_t {
  message = 0,
  sticky_note = 1,
  appointment = 2,
  contact = 3,
  task = 4,
};

// A printable name of an item kind ("message", "sticky note", ...).
const char* item_kind_name(pst_item_kind kind);

class pst_store_item : public virtual pst_property_set {
 public:
  // The item's node: a NID of type 0x04 handed out by its store.
  virtual uint32_t item_nid() const = 0;
  virtual pst_item_kind item_kind() const = 0;
  // True once the item has been committed into its store's file.
  virtual bool is_saved() const = 0;

 protected:
  ~pst_store_item() override = default;
};

}  // namespace vendrel
