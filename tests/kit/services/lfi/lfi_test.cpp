// File-stream service: its start and stop in a block, product instances,
// the standard streams, closing a file written under a temporary name, the
// rename that never loses data, and the OS file opener.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "lem.h"
#include "lfi.h"
#include "lfv.h"
#include "lxh.h"
#include "lxz.h"
#include "lpm.h"
#include "slf.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path &p, const std::string &text) { std::ofstream(p) << text; }

struct TempDir {
  fs::path dir;
  explicit TempDir(const char *base = "/tmp") {
    std::string t = std::string(base) + "/lfiXXXXXX";
    dir = mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(dir); }
};

lfi_inst *block_inst(lpm_meta *block) { return static_cast<lfi_blockrec *>(block->fi)->inst; }

char *dup(const std::string &s) { return strdup(s.c_str()); }

// A file object written under a temporary name, as the service's writers
// leave it on the open list.
lfi_file *temp_file(lfi_inst *inst, const fs::path &temp, const fs::path &final,
                    const lfi_bufops *ops) {
  lfi_ctx *ctx = inst->std->ctx;
  auto f = static_cast<lfi_file *>(std::calloc(1, sizeof(lfi_file)));
  f->state = LFI_ST_OPEN;
  f->access = LFI_ACC_WRITE | LFI_ACC_TEMP;
  f->os = static_cast<slfi_osfile *>(std::calloc(1, sizeof(slfi_osfile)));
  f->os->kind = 1;
  f->os->stream = std::fopen(temp.c_str(), "w");
  std::fputs("new data", f->os->stream);
  f->buffer = static_cast<lfi_buffer *>(std::calloc(1, sizeof(lfi_buffer)));
  f->buffer->final_name = dup(final.string());
  f->ops = ops;
  f->temp = static_cast<lfi_name *>(std::calloc(1, sizeof(lfi_name)));
  f->temp->text = dup(temp.string());
  sltsmxi(ctx->thr, &f->temp->mutex);
  sltsmxi(ctx->thr, &f->mutex);
  int flag = 0;
  lfillae(inst, &ctx->files, f, &flag);
  return f;
}

int flush_ok(lfi_inst *, lfi_file *) { return 0; }
int flush_fails(lfi_inst *, lfi_file *) { return 1; }
const lfi_bufops kFlushOk{flush_ok};
const lfi_bufops kFlushFails{flush_fails};

TEST(FileService, StartsWithStandardStreamsAndGivesProductsInstances) {
  EXPECT_EQ(0, in_child([] {
    // The NLS lock and the virtual-file layer keep their thread-services
    // references for the life of the process: set them up first.
    lxzinit();
    lfvinit(LFV_MODE_FILES);
    int base = sltsqgc ? sltsqgc->refs : 0;
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    lpm_meta *block = root->block;
    lfi_inst *inst = block_inst(block);
    CHILD_CHECK(inst->owner == block);
    lfi_std *s = inst->std;
    CHILD_CHECK(s->ctx->block == block);
    struct Want {
      lfi_file *f;
      FILE *stream;
      uint16_t access, flags;
    };
    for (const Want &w : {Want{s->in, stdin, LFI_ACC_READ, 4}, Want{s->out, stdout, 2, 36},
                          Want{s->err, stderr, 2, 36}}) {
      CHILD_CHECK(w.f != nullptr);
      if (!w.f) continue;
      CHILD_CHECK(w.f->state == 3 && w.f->access == w.access && w.f->flags == w.flags);
      CHILD_CHECK(w.f->os->stream == w.stream && w.f->os->kind == 1);
      CHILD_CHECK(w.f->one == 1 && w.f->max == 32767 && w.f->word == 1);
      CHILD_CHECK(w.f->buffer == nullptr && w.f->name[0] == 0);
      CHILD_CHECK(lficls(inst, w.f) == 0);  // standard streams are left alone
    }
    // A block with the own-NLS flag and no environment: the file service
    // builds its own and reads the language handle from the environment.
    CHILD_CHECK(s->ctx->glo != nullptr && s->ctx->glo == s->ctx->glo_room && s->ctx->nls_table);
    CHILD_CHECK(s->ctx->lang != nullptr && s->ctx->lang->built == 1 &&
                s->ctx->lang->owner == s->ctx->glo);
    // The root product's instance shares the block's standard streams.
    auto prec = static_cast<lfi_prodrec *>(root->m.fi);
    CHILD_CHECK(prec != nullptr && prec->inst->owner == root && prec->inst->std == s);
    CHILD_CHECK(root->m.link->node->file == prec->inst);
    // Bad arguments.
    CHILD_CHECK(lficls(inst, nullptr) == LFI_FAIL);
    CHILD_CHECK(lwemgec(block->errs, 1) == LFI_BADARG);
    char fac[10];
    CHILD_CHECK(lwemgef(block->errs, 1, fac, sizeof fac) > 0 && std::strcmp(fac, "LFI") == 0);
    lwemces(block->errs);
    CHILD_CHECK(lpmprterm(root) == 0);
    CHILD_CHECK((sltsqgc ? sltsqgc->refs : 0) == base);  // every service gave its reference back
  }));
}

TEST(FileService, ClosingMovesTheTemporaryFileToItsName) {
  EXPECT_EQ(0, in_child([] {
    TempDir d;
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    lfi_inst *inst = block_inst(root->block);
    lwem_ctx *errs = root->block->errs;
    write_file(d.dir / "final", "old data");
    lfi_file *f = temp_file(inst, d.dir / "temp", d.dir / "final", &kFlushOk);
    CHILD_CHECK(lficls(inst, f) == 0);
    CHILD_CHECK(read_file(d.dir / "final") == "new data");
    CHILD_CHECK(!fs::exists(d.dir / "temp"));
    CHILD_CHECK(lwemged(errs) == 0);

    // The move fails: the temporary file keeps the data, the target is untouched.
    f = temp_file(inst, d.dir / "temp2", d.dir / "no" / "such" / "final", &kFlushOk);
    CHILD_CHECK(lficls(inst, f) == LFI_FAIL);
    CHILD_CHECK(read_file(d.dir / "temp2") == "new data");
    CHILD_CHECK(lwemgec(errs, 1) == LFI_NOCOPY);
    lwemces(errs);

    // The last flush fails: the temporary file is dropped, the target stays.
    f = temp_file(inst, d.dir / "temp3", d.dir / "final", &kFlushFails);
    CHILD_CHECK(lficls(inst, f) == LFI_FAIL);
    CHILD_CHECK(!fs::exists(d.dir / "temp3"));
    CHILD_CHECK(read_file(d.dir / "final") == "new data");
    CHILD_CHECK(lwemgec(errs, 1) == LFI_CLOSESTEP);
    CHILD_CHECK(std::strcmp(static_cast<const char *>(lwemgep(errs, 1)->entries[0].value.ptr),
                            "lfibfr()") == 0);
    lwemces(errs);

    // A file still open at the stop is closed by it.
    temp_file(inst, d.dir / "temp4", d.dir / "last", &kFlushOk);
    CHILD_CHECK(lpmprterm(root) == 0);
    CHILD_CHECK(read_file(d.dir / "last") == "new data");
  }));
}

TEST(FileService, RenameNeverLosesData) {
  EXPECT_EQ(0, in_child([] {
    TempDir tmp;
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    lfi_inst *inst = block_inst(root->block);
    lwem_ctx *errs = root->block->errs;
    int flag = 0;

    // An existing target is replaced.
    write_file(tmp.dir / "a", "source");
    write_file(tmp.dir / "b", "target");
    CHILD_CHECK(slfirn(inst, (tmp.dir / "a").c_str(), (tmp.dir / "b").c_str(), &flag) == 0);
    CHILD_CHECK(read_file(tmp.dir / "b") == "source" && !fs::exists(tmp.dir / "a"));

    // A missing source leaves the target as it was.
    CHILD_CHECK(slfirn(inst, (tmp.dir / "a").c_str(), (tmp.dir / "b").c_str(), &flag) == LFI_FAIL);
    CHILD_CHECK(read_file(tmp.dir / "b") == "source");
    CHILD_CHECK(lwemgec(errs, 1) == LFI_NOCOPY);
    lwemces(errs);

    // Across file systems: nothing moves, nothing is removed.
    struct stat a{}, b{};
    if (stat("/dev/shm", &a) == 0 && stat(tmp.dir.c_str(), &b) == 0 && a.st_dev != b.st_dev) {
      TempDir shm("/dev/shm");
      write_file(shm.dir / "s", "from shm");
      write_file(tmp.dir / "t", "keep me");
      CHILD_CHECK(slfirn(inst, (shm.dir / "s").c_str(), (tmp.dir / "t").c_str(), &flag) ==
                  LFI_FAIL);
      CHILD_CHECK(read_file(shm.dir / "s") == "from shm");
      CHILD_CHECK(read_file(tmp.dir / "t") == "keep me");
      CHILD_CHECK(lwemgec(errs, 1) == LFI_NOCOPY);
      lwemces(errs);
    } else {
      std::fprintf(stderr, "/dev/shm and /tmp share a file system; cross-device case skipped\n");
    }

    // Unlink failures carry the OS error number.
    CHILD_CHECK(slfirf(inst, (tmp.dir / "none").c_str(), &flag) == LFI_FAIL);
    CHILD_CHECK(lwemgec(errs, 1) == LFI_UNLINK);
    CHILD_CHECK(lwemgep(errs, 1)->entries[0].value.i64 == ENOENT ||
                *reinterpret_cast<int32_t *>(lwemgep(errs, 1)->entries[0].value.bytes) == ENOENT);
    lwemces(errs);
    CHILD_CHECK(lpmprterm(root) == 0);
  }));
}

TEST(FileService, ListsOfTheService) {
  EXPECT_EQ(0, in_child([] {
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    lfi_inst *inst = block_inst(root->block);
    int flag = 0;
    lfi_list l;
    CHILD_CHECK(lfillil(inst, &l, &flag) == 0);
    lfi_lelem a{}, b{}, c{};
    CHILD_CHECK(lfillae(inst, &l, &a, &flag) == 0);
    CHILD_CHECK(lfillae(inst, &l, &b, &flag) == 0);  // at the front
    CHILD_CHECK(lfillnx(inst, &l, nullptr, &flag) == &b);
    CHILD_CHECK(lfillnx(inst, &l, &b, &flag) == &a);
    CHILD_CHECK(lfillnx(inst, &l, &a, &flag) == nullptr);
    CHILD_CHECK(lfillmem(inst, &l, &a, &flag) == 1 && lfillmem(inst, &l, &c, &flag) == 2);
    CHILD_CHECK(lfillre(inst, &l, &c, &flag) == LFI_FAIL);
    CHILD_CHECK(lwemgec(root->block->errs, 1) == LFI_INTERNAL);
    CHILD_CHECK(lfillre(inst, &l, &b, &flag) == 0);
    CHILD_CHECK(lfillae(inst, nullptr, &a, &flag) == LFI_FAIL);
    lfillik(&a);
    CHILD_CHECK(a.next == nullptr && a.prev == nullptr);
    sltsmxd(nullptr, &l.mutex);
    lwemces(root->block->errs);
    CHILD_CHECK(lpmprterm(root) == 0);
  }));
}

TEST(FileOpener, BuildsPathsWithinTheBuffer) {
  struct Case {
    const char *name, *dir, *ext;
    size_t len;
    int result;
    const char *path;
  };
  const Case cases[] = {
      {"f", "/d", "x", 64, 0, "/d/f.x"},  {"f", "/d/", "x", 64, 0, "/d/f.x"},
      {"f", nullptr, "x", 64, 0, "f.x"},  {"f", "", nullptr, 64, 0, "f"},
      {"f", "/d", "x", 6, -1, ""},         {"f", "/d", "x", 7, -1, ""},
      {"f", "/d", "x", 8, 0, "/d/f.x"},
  };
  for (const Case &c : cases) {
    char buf[64];
    std::memset(buf, 'z', sizeof buf);
    slos_error err{};
    EXPECT_EQ(Slfgfn(c.name, c.dir, c.ext, nullptr, buf, c.len, &err), c.result) << c.len;
    EXPECT_STREQ(buf, c.path);
    if (c.result != 0) {
      EXPECT_EQ(err.code, -9);
      EXPECT_STREQ(err.call, "Buffer too short");
      EXPECT_STREQ(err.location, "Slfgfn");
    }
  }
}

TEST(FileOpener, OpensFilesAndReportsFailures) {
  TempDir d;
  slos_error err{};
  slf_handle *h = SlfFopen("missing", d.dir.c_str(), 0, 0, 0, &err, 0);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(err.code, -5);
  EXPECT_EQ(err.oserr, ENOENT);
  EXPECT_STREQ(err.call, "open failed");
  EXPECT_STREQ(err.location, "SlfFopen1");

  // Write, append, read.
  h = SlfFopen("f", d.dir.c_str(), 1, 0, 0, &err, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->kind, SLF_KIND_STDIO);
  std::fputs("one", static_cast<FILE *>(h->stream));
  std::fclose(static_cast<FILE *>(h->stream));
  std::free(h);
  h = SlfFopen("f", d.dir.c_str(), 1, SLF_FLAG_APPEND, 0, &err, 0);
  ASSERT_NE(h, nullptr);
  std::fputs("two", static_cast<FILE *>(h->stream));
  std::fclose(static_cast<FILE *>(h->stream));
  std::free(h);
  EXPECT_EQ(read_file(d.dir / "f"), "onetwo");
  h = SlfFopen("f", d.dir.c_str(), 0, 0, 0, &err, SLF_VIRTUAL);  // no virtual files here
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->kind, SLF_KIND_STDIO);
  std::fclose(static_cast<FILE *>(h->stream));
  std::free(h);

  // The standard streams.
  FILE *want[] = {stdin, stdout, stderr};
  for (int t = 2; t <= 4; t++) {
    h = SlfFopen(nullptr, nullptr, 0, 0, t, &err, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->stream, want[t - 2]);
    std::free(h);
  }

  // A name that does not fit the path buffer.
  std::string longname(1100, 'n');
  EXPECT_EQ(SlfFopen(longname.c_str(), "/d", 0, 0, 0, &err, 0), nullptr);
  EXPECT_EQ(err.code, -11);
  EXPECT_STREQ(err.call, "file name too long");
  EXPECT_STREQ(err.location, "SlfFopen");
}

}  // namespace
