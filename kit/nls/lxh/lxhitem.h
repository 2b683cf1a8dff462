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

// The sets a name text is converted between when the handle's own set is
// not the boot block's name set: from the name set to the handle's set.
struct NameSets {
  const lxcsobj *from = nullptr, *to = nullptr;
  bool single = false;  // both single-byte: converted byte for byte
};

// Receives the one source of an item.
class Sink {
 public:
  // A UTF-16 string of a language or territory object's pool (host order).
  virtual void utf16(const uint16_t *units, uint32_t count) = 0;
  // A text in the handle's own character set (a field of the handle).
  virtual void own(const char *text, size_t len) = 0;
  // A text in the boot block's name character set (a name or a fixed word)
  // that is to be converted to the handle's set; a name text already in the
  // handle's set comes through own().
  virtual void name(const char *text, size_t len, const NameSets &sets) = 0;
  // A character value of the handle's character-set object (items 110 to 112).
  virtual void value(uint32_t v) = 0;

 protected:
  ~Sink() = default;
};

// Hands the source of text item item to the sink; false when the reader has
// no such item. An object that cannot be loaded hands nothing.
bool text_item(const lxlangid *h, int item, Reader reader, Sink &sink, lxglo *g);

// Hands a text of the boot block's name character set to the sink: to own()
// when the handle's set is the name set, otherwise to name() with the sets to
// convert between; nothing when either set cannot be loaded.
void name(const lxlangid *h, const char *text, size_t len, Sink &sink, lxglo *g);

}  // namespace lxhitem

#endif
