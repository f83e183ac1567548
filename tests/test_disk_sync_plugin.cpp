// disk_sync as a host calls it: the built plug-in, through the stand-in host.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "plugin_harness.h"

namespace {

using harness::array_ptr;
using harness::f64;

const char* const kInputs = "One input argument expected . . .";
const char* const kOutputs = "No output arguments allowed . . .";
const char* const kString = "Input must be a string . . .";

std::u16string utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class DiskSync : public harness::PluginTest {
 protected:
  DiskSync() : PluginTest("disk_sync") {}

  void SetUp() override {
    PluginTest::SetUp();
    char pattern[] = "/tmp/disk_sync_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    PluginTest::TearDown();
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& contents) const {
    std::ofstream(path(name), std::ios::binary) << contents;
  }

  // disk_sync(name) must succeed silently with nothing returned.
  void expect_silent(const mxArray* name) const {
    const auto o = call(0, name);
    EXPECT_FALSE(o.failed) << o.message;
    EXPECT_TRUE(o.outputs.empty());
  }

  std::string dir_;
};

// Watches a directory for files opened for writing and closed again.
class close_write_watch {
 public:
  explicit close_write_watch(const std::string& dir) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_CLOSE_WRITE | IN_CREATE | IN_MODIFY);
  }
  ~close_write_watch() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // (mask, name) of every event so far.
  std::vector<std::pair<std::uint32_t, std::string>> events() const {
    std::vector<std::pair<std::uint32_t, std::string>> out;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
        out.emplace_back(ev->mask, ev->len ? std::string(ev->name) : std::string());
        at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
    return out;
  }

 private:
  int fd_ = -1;
};

TEST_F(DiskSync, ExistingFileIsFlushedAndLeftUnchanged) {
  write("data.bin", std::string("abc\0def\n", 8));
  struct stat before;
  ASSERT_EQ(stat(path("data.bin").c_str(), &before), 0);
  close_write_watch watch(dir_);
  ASSERT_TRUE(watch.ok());
  array_ptr name = harness::text(utf16(path("data.bin")));
  expect_silent(name.get());
  // It was opened for writing and closed (the flush happens in between),
  // and nothing was written.
  const auto events = watch.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, static_cast<std::uint32_t>(IN_CLOSE_WRITE));
  EXPECT_EQ(events[0].second, "data.bin");
  EXPECT_EQ(read_file(path("data.bin")), std::string("abc\0def\n", 8));
  struct stat after;
  ASSERT_EQ(stat(path("data.bin").c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  // A relative name, and a column of characters, name the same file.
  char* cwd = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  array_ptr relative = harness::text(u"data.bin");
  expect_silent(relative.get());
  const auto relative_events = watch.events();  // read now: inotify merges repeats
  array_ptr column(standin::create_char(u"data.bin", true));
  expect_silent(column.get());
  const auto column_events = watch.events();
  ASSERT_EQ(chdir(cwd), 0);
  free(cwd);
  EXPECT_EQ(relative_events, events);
  EXPECT_EQ(column_events, events);
  EXPECT_EQ(read_file(path("data.bin")), std::string("abc\0def\n", 8));
}

TEST_F(DiskSync, MissingAndEmptyNamesDoNothing) {
  close_write_watch watch(dir_);
  array_ptr missing = harness::text(utf16(path("missing.txt")));
  expect_silent(missing.get());
  EXPECT_FALSE(exists(path("missing.txt")));
  array_ptr empty_row = harness::text(u"");
  expect_silent(empty_row.get());
  array_ptr empty_00(standin::create(mxCHAR_CLASS, {0, 0}));
  expect_silent(empty_00.get());
  array_ptr empty_10(standin::create(mxCHAR_CLASS, {1, 0}));
  expect_silent(empty_10.get());
  EXPECT_TRUE(watch.events().empty());
}

TEST_F(DiskSync, DirectoriesAndPipesAreSkippedAtOnce) {
  ASSERT_EQ(mkdir(path("sub").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
  close_write_watch watch(dir_);
  array_ptr sub = harness::text(utf16(path("sub")));
  expect_silent(sub.get());
  // A pipe without a reader: a blocking open would wait here for ever.
  array_ptr pipe = harness::text(utf16(path("pipe")));
  expect_silent(pipe.get());
  // A pipe with a reader is not written either.
  const int reader = open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  expect_silent(pipe.get());
  char byte;
  EXPECT_EQ(read(reader, &byte, 1), 0);  // no writer ever came: end of file at once
  close(reader);
  // A device is not opened at all.
  array_ptr null_device = harness::text(u"/dev/null");
  expect_silent(null_device.get());
  EXPECT_TRUE(watch.events().empty());
}

TEST_F(DiskSync, NonAsciiNameFlushesThatFileAndNoOther) {
  // "dat", e acute (two bytes in UTF-8) and the euro sign (three bytes): a
  // buffer of one byte per character holds "dat" and the e acute only, which
  // is the name of another file here.
  const std::string full = "dat\xC3\xA9\xE2\x82\xAC";
  write("dat", "short");
  write(full, "full");
  write("dat\xC3\xA9", "prefix");
  close_write_watch watch(dir_);
  array_ptr name = harness::text(utf16(dir_ + "/") + u"dat\u00E9\u20AC");
  expect_silent(name.get());
  const auto events = watch.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, static_cast<std::uint32_t>(IN_CLOSE_WRITE));
  EXPECT_EQ(events[0].second, full);
  EXPECT_EQ(read_file(path(full)), "full");

  // A character outside the BMP (a surrogate pair, four bytes).
  const std::string clef = "clef\xF0\x9D\x84\x9E";
  write(clef, "music");
  watch.events();  // the writing above
  array_ptr clef_name = harness::text(utf16(dir_ + "/") + u"clef\U0001D11E");
  expect_silent(clef_name.get());
  const auto clef_events = watch.events();
  ASSERT_EQ(clef_events.size(), 1u);
  EXPECT_EQ(clef_events[0].second, clef);
}

TEST_F(DiskSync, NameWithNulCharacterIsSkipped) {
  write("a", "x");
  close_write_watch watch(dir_);
  array_ptr name = harness::text(utf16(path("a")) + u'\0' + u"b");
  expect_silent(name.get());
  EXPECT_TRUE(watch.events().empty());
}

TEST_F(DiskSync, MessagesInTheirOrder) {
  write("f", "x");
  array_ptr name = harness::text(utf16(path("f")));
  array_ptr number = f64(1, 1, {42});
  // Input count first, whatever else is wrong.
  expect_error(kInputs, 0);
  expect_error(kInputs, 1);
  expect_error(kInputs, 0, name.get(), name.get());
  expect_error(kInputs, 1, number.get(), number.get());
  // Then the output count, even for an argument that is not text.
  expect_error(kOutputs, 1, name.get());
  expect_error(kOutputs, 1, number.get());
  expect_error(kOutputs, 2, number.get());
  // Then the class.
  expect_error(kString, 0, number.get());
  array_ptr cell(standin::create(mxCELL_CLASS, {1, 1}));
  expect_error(kString, 0, cell.get());
  array_ptr bytes = harness::make<std::uint8_t>(mxUINT8_CLASS, {1, 1}, {'f'});
  expect_error(kString, 0, bytes.get());
  EXPECT_EQ(read_file(path("f")), "x");
}

}  // namespace
