// Message-file writer: parses the text form and lays messages and comments
// out in data blocks under a two-level index.
#include "msbw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "lmsf.h"

namespace msbw {

namespace {

constexpr size_t kEntAt = 2;
constexpr size_t kEntSize = sizeof(lmsfent);

struct Block {
  std::vector<std::pair<uint16_t, const Text *>> items;
  size_t text_bytes = 0;
  uint16_t high() const { return items.back().first; }
};

size_t block_bytes(size_t entries, size_t texts) { return kEntAt + (entries + 1) * kEntSize + texts; }

void put16(std::vector<uint8_t> &f, size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); }

// Packs the texts into data blocks in number order.
bool pack(const std::map<uint16_t, Text> &texts, unsigned per_block, std::vector<Block> &blocks,
          std::string &error) {
  for (const auto &[number, t] : texts) {
    if (number == 0) {
      error = "message number 0";
      return false;
    }
    if (block_bytes(1, t.text.size()) > LMSF_BLOCK) {
      error = "text of " + std::to_string(number) + " does not fit a block";
      return false;
    }
    bool fits = !blocks.empty() &&
                block_bytes(blocks.back().items.size() + 1,
                            blocks.back().text_bytes + t.text.size()) <= LMSF_BLOCK &&
                (per_block == 0 || blocks.back().items.size() < per_block);
    if (!fits) blocks.emplace_back();
    blocks.back().items.push_back({number, &t});
    blocks.back().text_bytes += t.text.size();
  }
  return true;
}

void write_block(std::vector<uint8_t> &f, size_t at, const Block &b) {
  const size_t n = b.items.size();
  put16(f, at, static_cast<uint16_t>(n));
  size_t off = block_bytes(n, 0);
  for (size_t i = 0; i <= n; ++i) {
    const size_t e = at + kEntAt + i * kEntSize;
    if (i < n) {
      put16(f, e, b.items[i].first);
      put16(f, e + 2, b.items[i].second->attr);
    }
    put16(f, e + 4, static_cast<uint16_t>(off));
    if (i < n) {
      const std::string &s = b.items[i].second->text;
      std::memcpy(&f[at + off], s.data(), s.size());
      off += s.size();
    }
  }
}

size_t block_at(size_t n) { return (n - 1) * LMSF_BLOCK; }

// Writes one section (level-1, level-2, data blocks) from block first on.
void write_section(std::vector<uint8_t> &f, size_t first, const std::vector<Block> &blocks,
                   size_t l) {
  for (size_t j = 0; j < l; ++j) {
    size_t last = std::min(blocks.size(), (j + 1) * LMSF_L2ENTRIES) - 1;
    put16(f, block_at(first) + 2 * j, blocks[last].high());
    for (size_t k = 0; k < LMSF_L2ENTRIES && j * LMSF_L2ENTRIES + k < blocks.size(); ++k)
      put16(f, block_at(first + 1 + j) + 2 * k, blocks[j * LMSF_L2ENTRIES + k].high());
  }
  for (size_t d = 0; d < blocks.size(); ++d) write_block(f, block_at(first + 1 + l + d), blocks[d]);
}

std::string unescape(const std::string &s, bool &ok) {
  std::string out;
  ok = true;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    if (c == 'n') out += '\n';
    else if (c == 't') out += '\t';
    else if (c == '\\') out += '\\';
    else if (c == 'x' && i + 2 < s.size()) {
      unsigned v = 0;
      if (std::sscanf(s.substr(i + 1, 2).c_str(), "%2x", &v) != 1) ok = false;
      out += static_cast<char>(v);
      i += 2;
    } else {
      ok = false;
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> code_name(const std::string &name, bool end39) {
  static const char kAlpha[] = LMSF_CODEALPHA;
  std::vector<uint8_t> out(LMSF_NAMEMAX, 0);
  size_t n = 0;
  for (char ch : name) {
    if (n + 1 >= LMSF_NAMEMAX) break;
    char c = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    const char *p = c ? std::strchr(kAlpha, c) : nullptr;
    out[n++] = p ? static_cast<uint8_t>(p - kAlpha + 1) : static_cast<uint8_t>(ch);
  }
  if (end39) out[n] = LMSF_CODEEND;
  return out;
}

bool build(const Desc &desc, std::vector<uint8_t> &out, std::string &error) {
  std::vector<Block> msgs, cmts;
  if (!pack(desc.messages, desc.per_block, msgs, error)) return false;
  if (!pack(desc.comments, desc.per_block, cmts, error)) return false;
  const size_t l = (msgs.size() + LMSF_L2ENTRIES - 1) / LMSF_L2ENTRIES;
  const size_t cl = (cmts.size() + LMSF_L2ENTRIES - 1) / LMSF_L2ENTRIES;
  if (l > LMSF_MAXL || cl > LMSF_MAXL) {
    error = "more than 256 level-2 index blocks";
    return false;
  }
  const size_t blocks = 3 + l + msgs.size() + 1 + cl + cmts.size();
  if (blocks > LMSF_MAXBLOCKS) {
    error = "more than 65535 blocks";
    return false;
  }
  out.assign(blocks * LMSF_BLOCK, 0);
  lmsfhdr hd{};
  std::vector<uint8_t> coded = code_name(desc.charset, desc.end39);
  std::memcpy(hd.csname, coded.data(), LMSF_NAMEMAX);
  hd.version = desc.version;
  hd.l = static_cast<uint32_t>(l);
  hd.d = static_cast<uint32_t>(msgs.size());
  hd.cl = static_cast<uint32_t>(cl);
  hd.cd = static_cast<uint32_t>(cmts.size());
  std::memcpy(out.data(), &hd, sizeof hd);
  write_section(out, 2, msgs, l);
  write_section(out, 3 + l + msgs.size(), cmts, cl);
  return true;
}

bool parse(const std::string &source, Desc &out, std::string &error) {
  std::istringstream in(source);
  std::string line;
  for (int no = 1; std::getline(in, line); ++no) {
    auto fail = [&](const char *why) {
      error = "line " + std::to_string(no) + ": " + why;
      return false;
    };
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string kw;
    words >> kw;
    if (kw.empty()) continue;
    if (kw == "charset") {
      if (!(words >> out.charset)) return fail("charset without a name");
    } else if (kw == "version") {
      if (!(words >> out.version)) return fail("version without a number");
    } else if (kw == "msg" || kw == "cmt") {
      size_t colon = line.find(": ");
      if (colon == std::string::npos) {
        if (line.size() >= 1 && line.back() == ':') colon = line.size() - 1;
        else return fail("no \": \" before the text");
      }
      std::istringstream head(line.substr(kw.size(), colon - kw.size()));
      long number = -1, attr = 0;
      if (!(head >> number) || number < 1 || number > 0xFFFF) return fail("bad number");
      if (!(head >> attr)) attr = 0;
      if (attr < 0 || attr > 0xFFFF) return fail("bad attribute");
      bool ok = true;
      Text t;
      t.attr = static_cast<uint16_t>(attr);
      t.text = colon + 2 <= line.size() ? unescape(line.substr(colon + 2), ok) : std::string();
      if (!ok) return fail("bad escape");
      auto &map = kw == "msg" ? out.messages : out.comments;
      map[static_cast<uint16_t>(number)] = t;
    } else {
      return fail("unknown keyword");
    }
  }
  return true;
}

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace msbw
