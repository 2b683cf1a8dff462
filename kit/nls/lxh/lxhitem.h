// The sources of a language handle's text items, shared by the readers that
// write them into a buffer (lxhlinfo) and at a cursor (lxlinfo).
#ifndef QEN_KIT_NLS_LXHITEM_H
#define QEN_KIT_NLS_LXHITEM_H

#include <stddef.h>
#include <stdint.h>

#include "lxh.h"

namespace lxhitem {

// Which reader asks: the buffer reader knows items 85, 119 and 130 to 132
// and gives the ISO currency code at least three units; the cursor reader
// does not.
enum class Reader { Buffer, Cursor };

// Receives the one source of an item.
class Sink {
 public:
  // A UTF-16 string of a language or territory object's pool (host order).
  virtual void utf16(const uint16_t *units, uint32_t count) = 0;
  // A text in the handle's own character set (a field of the handle).
  virtual void own(const char *text, size_t len) = 0;
  // A text in the boot block's name character set (a name or a fixed word).
  virtual void name(const char *text, size_t len) = 0;
  // A character value of the handle's character-set object (items 110 to 112).
  virtual void value(uint32_t v) = 0;

 protected:
  ~Sink() = default;
};

// Hands the source of text item item to the sink; false when the reader has
// no such item. An object that cannot be loaded hands nothing.
bool text_item(const lxlangid *h, int item, Reader reader, Sink &sink, lxglo *g);

// The sets a name text is converted between when the handle's own set is
// not the boot block's name set: from the name set to the handle's set.
struct NameSets {
  const lxcsobj *from = nullptr, *to = nullptr;
  bool single = false;  // both single-byte: converted byte for byte
};
// False when either set cannot be loaded.
bool name_sets(const lxlangid *h, lxglo *g, NameSets &s);

// The bytes a character value of the handle's character set takes.
inline unsigned value_bytes(const lxlangid *h, uint32_t v) {
  if (h->flags & LXH_F_WIDE) return v > 0xFFFF ? 4 : 2;
  return v < 0x100 ? 1 : v < 0x10000 ? 2 : v < 0x1000000 ? 3 : 4;
}

}  // namespace lxhitem

#endif
