// The NLS test-installation kit: its directories go with the process that
// made them and only with it; an installation it writes opens as a
// process's installation, with its handles and sorts; and the standard
// UTF-8 sets it builds measure characters as UTF-8 does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <string>

#include "child.h"
#include "lxo.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Runs body in a forked child that leaves through exit(), so that its
// static objects go as at the end of any process; returns what body wrote
// on the pipe.
std::string in_exiting_child(std::string (*body)()) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string out = body();
    (void)!write(fds[1], out.data(), out.size());
    close(fds[1]);
    std::exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return out;
}

TEST(KeptTempDir, GoesWithItsFilesWhenItsProcessEnds) {
  const std::string dir = in_exiting_child([] {
    const std::string d = kept_temp_dir();
    if (FILE *f = std::fopen((d + "/lx1boot.nlb").c_str(), "w")) std::fclose(f);
    fs::create_directory(d + "/nls");
    return d;
  });
  ASSERT_FALSE(dir.empty());
  EXPECT_FALSE(fs::exists(dir)) << dir;
}

TEST(KeptTempDir, StaysWhenAForkedChildEnds) {
  const std::string dir = kept_temp_dir();
  ASSERT_FALSE(dir.empty());
  static std::string seen;
  seen = dir;
  const std::string out = in_exiting_child([] { return std::string(fs::exists(seen) ? "there" : "gone"); });
  EXPECT_EQ(out, "there");
  EXPECT_TRUE(fs::exists(dir)) << "a child's exit removed its parent's directory";
}

// An installation with the basic sets, the sort GERMAN and a language
// FRENCH listed without its object, written by the kit; "" when it could not
// be written.
std::string basic_with_german_sort() {
  nlsw::Installation inst = nlsw::basic_installation();
  nlsw::add_object(inst, LX_TSORT, 2, "GERMAN", nlsw::german_sort());
  nlsw::add_listed(inst, LX_TLANG, 7, "FRENCH", 900);
  std::string err;
  const std::string dir = nlskit::write(inst, err);
  EXPECT_FALSE(dir.empty()) << err;
  return dir;
}

TEST(NlsKit, WrittenInstallationOpensWithItsHandlesAndSorts) {
  const std::string dir = basic_with_german_sort();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(dir + "/lx1boot.nlb"));
  IN_CHILD({
    lxglo g{};
    CHILD_CHECK(nlskit::use(dir, &g) != nullptr);
    lxlangid h;
    CHILD_CHECK(nlskit::american("UTF8") == "AMERICAN_AMERICA.UTF8");
    CHILD_CHECK(nlskit::handle(nlskit::american("UTF8"), &g, &h));
    CHILD_CHECK(nlskit::set_sort("GERMAN", &g, &h));
    CHILD_CHECK(!nlskit::set_sort("NOSUCHSORT", &g, &h));
    CHILD_CHECK(!nlskit::handle("FRENCH", &g, &h));  // no object to load
  });
}

// The bytes of one well-formed UTF-8 character that starts with lead (the
// continuation bytes chosen inside the ranges lead allows).
std::string utf8_char(uint8_t lead) {
  const int n = std::countl_one(lead);
  std::string s(1, char(lead));
  for (int k = 1; k < n; ++k) s += char(k == 1 && lead == 0xE0 ? 0xA0 : k == 1 && lead == 0xF0 ? 0x90 : 0x80);
  return s;
}

// A character is as long as its lead byte's leading one bits say, up to the
// set's longest character: the lead-byte classes of the standard UTF-8 sets.
TEST(NlsKit, StandardUtf8SetsMeasureCharactersByTheirLeadBytes) {
  const std::string dir = basic_with_german_sort();
  ASSERT_FALSE(dir.empty());
  IN_CHILD({
    lxglo g{};
    CHILD_CHECK(nlskit::use(dir, &g) != nullptr);
    for (const auto &[set, longest] : {std::pair{"UTF8", 3}, std::pair{"AL32UTF8", 4}}) {
      lxlangid h;
      CHILD_CHECK(nlskit::handle(nlskit::american(set), &g, &h));
      for (unsigned lead = 0xC2; lead <= 0xF4; ++lead) {
        if (std::countl_one(uint8_t(lead)) > longest) continue;
        const std::string text = "a" + utf8_char(uint8_t(lead)) + "b";
        const size_t n = lxsCntChar(text.data(), text.size(), 0, &h, &g);
        if (n != 3) std::fprintf(stderr, "%s: lead %02X counted %zu\n", set, lead, n);
        CHILD_CHECK(n == 3);
      }
    }
  });
}

}  // namespace
