// The canonical composition table (table 15 of the AL16UTF16 object): a
// double-array trie over the big-endian UTF-16 bytes of a starter followed by
// those of a character that composes with it.
//
// Words: word 0 holds n (1 here), word n holds G, and records of two words
// {value, check} follow. From an inner state s (below G) byte b leads to
// record s + b when that record's check is s; its value is the next state.
// A state of G or above names a result record: its value is the composite's
// UTF-16 unit (a high surrogate is followed by a record holding the low
// unit), its check the state from which a further character may extend the
// composite, 0 when none may.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "nlsobjw.h"

namespace nlsw {
namespace {

constexpr uint16_t kHeaderWords = 1;  // n: word n holds G

std::vector<uint8_t> be_bytes(uint32_t cp) {
  if (cp <= 0xFFFF) return {uint8_t(cp >> 8), uint8_t(cp)};
  uint32_t v = cp - 0x10000, hi = 0xD800 + (v >> 10), lo = 0xDC00 + (v & 0x3FF);
  return {uint8_t(hi >> 8), uint8_t(hi), uint8_t(lo >> 8), uint8_t(lo)};
}

struct Node {
  std::map<uint8_t, std::unique_ptr<Node>> next;
  int result = -1;   // index into the composites of a path's last byte
  uint32_t base = 0; // the node's state once placed
};

Node *path(Node *n, const std::vector<uint8_t> &bytes) {
  for (uint8_t b : bytes) {
    auto &c = n->next[b];
    if (!c) c = std::make_unique<Node>();
    n = c.get();
  }
  return n;
}

}  // namespace

std::vector<uint16_t> build_compose_table(const std::vector<ComposePair> &pairs) {
  Node root;
  std::map<uint32_t, Node *> starter;  // starter code point -> its node
  for (size_t i = 0; i < pairs.size(); ++i) {
    Node *&s = starter[pairs[i].first];
    if (!s) s = path(&root, be_bytes(pairs[i].first));
    Node *leaf = path(s, be_bytes(pairs[i].second));
    if (!leaf->next.empty()) throw std::invalid_argument("composition path ends inside another");
    leaf->result = int(i);
  }

  // Place the inner nodes breadth first, each at the lowest free base.
  std::vector<Node *> order{&root};
  for (size_t k = 0; k < order.size(); ++k)
    for (auto &c : order[k]->next)
      if (c.second->result < 0) order.push_back(c.second.get());
  std::vector<bool> used, taken;  // records used; bases taken (a base is a state)
  uint32_t top = 0;  // one past the highest record a transition uses
  for (Node *n : order) {
    uint32_t base = n == &root ? 0 : 1;
    for (;; ++base) {
      bool fits = base >= taken.size() || !taken[base];
      for (auto &c : n->next)
        if (fits && base + c.first < used.size() && used[base + c.first]) fits = false;
      if (fits) break;
    }
    n->base = base;
    if (taken.size() <= base) taken.resize(base + 1, false);
    taken[base] = true;
    for (auto &c : n->next) {
      if (used.size() <= base + c.first) used.resize(base + c.first + 1, false);
      used[base + c.first] = true;
      if (base + c.first + 1 > top) top = base + c.first + 1;
    }
  }
  const uint32_t g = top;
  // result records after G, two for a supplementary composite
  std::vector<uint32_t> result_at(pairs.size());
  uint32_t records = g;
  for (size_t i = 0; i < pairs.size(); ++i) {
    result_at[i] = records;
    records += pairs[i].composite > 0xFFFF ? 2 : 1;
  }
  if (records > 0xFFFF) throw std::length_error("composition table too large");

  std::vector<uint16_t> w(kHeaderWords + 1 + 2 * size_t(records), 0);
  w[0] = kHeaderWords;
  w[kHeaderWords] = uint16_t(g);
  auto put = [&](uint32_t r, uint32_t value, uint32_t check) {
    w[kHeaderWords + 1 + 2 * r] = uint16_t(value);
    w[kHeaderWords + 2 + 2 * r] = uint16_t(check);
  };
  for (Node *n : order)
    for (auto &c : n->next) {
      Node *to = c.second.get();
      put(n->base + c.first, to->result >= 0 ? result_at[size_t(to->result)] : to->base, n->base);
    }
  for (size_t i = 0; i < pairs.size(); ++i) {
    uint32_t cp = pairs[i].composite;
    auto it = starter.find(cp);  // a composite that composes further
    uint32_t cont = it == starter.end() ? 0 : it->second->base;
    std::vector<uint8_t> b = be_bytes(cp);
    put(result_at[i], uint32_t(b[0] << 8 | b[1]), cont);
    if (b.size() == 4) put(result_at[i] + 1, uint32_t(b[2] << 8 | b[3]), 0);
  }
  return w;
}

}  // namespace nlsw
