// disk_sync as a host calls it: the built plug-in, through the stand-in host.
// On Linux an inotify watch shows which files were opened for writing.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/plugin_harness.h"

namespace {

namespace fs = std::filesystem;
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

// Files opened for writing and closed again in a directory (Linux). Events
// are read after every call: inotify merges an event into an identical one
// that is still unread.
class close_write_watch {
 public:
#if defined(_WIN32)
  explicit close_write_watch(const std::string&) {}
  std::vector<std::pair<std::uint32_t, std::string>> events() const { return {}; }
#else
  explicit close_write_watch(const std::string& dir) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(fd_, 0);
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_CLOSE_WRITE | IN_CREATE | IN_MODIFY);
  }
  ~close_write_watch() {
    if (fd_ >= 0) close(fd_);
  }
  close_write_watch(const close_write_watch&) = delete;
  close_write_watch& operator=(const close_write_watch&) = delete;
  // (mask, name) of every event since the last read.
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
#endif
};

// The one event of a file opened for writing and closed, nothing written.
std::vector<std::pair<std::uint32_t, std::string>> closed_after_write(const std::string& name) {
#if defined(_WIN32)
  (void)name;
  return {};
#else
  return {{static_cast<std::uint32_t>(IN_CLOSE_WRITE), name}};
#endif
}

class DiskSync : public harness::PluginTest {
 protected:
  DiskSync() : PluginTest("disk_sync") {}

  void SetUp() override {
    PluginTest::SetUp();
    std::random_device seed;
    dir_ = (fs::temp_directory_path() / ("disk_sync_test_" + std::to_string(seed()))).string();
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    EXPECT_FALSE(ec) << ec.message();
    PluginTest::TearDown();
  }

  std::string path(const std::string& name) const { return (fs::path(dir_) / name).string(); }

  void write(const std::string& name, const std::string& contents) const {
    std::ofstream(path(name), std::ios::binary) << contents;
  }

  // disk_sync(name) must end normally, silently, with nothing returned.
  void expect_silent(const mxArray* name) const {
    const auto o = call(0, name);
    EXPECT_FALSE(o.failed) << o.message;
    EXPECT_TRUE(o.outputs.empty());
  }

  std::string dir_;
};

TEST_F(DiskSync, ExistingFileIsFlushedAndLeftUnchanged) {
  const std::string contents("abc\0def\n", 8);
  write("data.bin", contents);
  const auto written = fs::last_write_time(path("data.bin"));
  close_write_watch watch(dir_);
  array_ptr name = harness::text(utf16(path("data.bin")));
  expect_silent(name.get());
  // Opened for writing and closed (the flush happens in between); nothing written.
  EXPECT_EQ(watch.events(), closed_after_write("data.bin"));

  // A relative name, a column of characters and two rows name the same file.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  array_ptr relative = harness::text(u"data.bin");
  expect_silent(relative.get());
  const auto relative_events = watch.events();
  array_ptr column(standin::create_char(u"data.bin", true));
  expect_silent(column.get());
  const auto column_events = watch.events();
  // Two rows, read column by column: "dt.i" over "aabn".
  array_ptr two_rows(standin::create(mxCHAR_CLASS, {2, 4}));
  std::memcpy(mxGetData(two_rows.get()), u"data.bin", 8 * sizeof(char16_t));
  expect_silent(two_rows.get());
  const auto two_rows_events = watch.events();
  fs::current_path(cwd);
  EXPECT_EQ(relative_events, closed_after_write("data.bin"));
  EXPECT_EQ(column_events, closed_after_write("data.bin"));
  EXPECT_EQ(two_rows_events, closed_after_write("data.bin"));

  EXPECT_EQ(read_file(path("data.bin")), contents);
  EXPECT_EQ(fs::file_size(path("data.bin")), contents.size());
  EXPECT_TRUE(fs::last_write_time(path("data.bin")) == written);
}

TEST_F(DiskSync, MissingAndEmptyNamesDoNothing) {
  close_write_watch watch(dir_);
  array_ptr missing = harness::text(utf16(path("missing.txt")));
  expect_silent(missing.get());
  EXPECT_FALSE(fs::exists(fs::symlink_status(path("missing.txt"))));
  array_ptr empty_row = harness::text(u"");
  expect_silent(empty_row.get());
  array_ptr empty_00(standin::create(mxCHAR_CLASS, {0, 0}));
  expect_silent(empty_00.get());
  array_ptr empty_10(standin::create(mxCHAR_CLASS, {1, 0}));
  expect_silent(empty_10.get());
  EXPECT_TRUE(watch.events().empty());
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(DiskSync, DirectoriesPipesAndDevicesAreSkippedAtOnce) {
  ASSERT_TRUE(fs::create_directory(path("sub")));
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
#endif
  close_write_watch watch(dir_);
  array_ptr sub = harness::text(utf16(path("sub")));
  expect_silent(sub.get());
#if defined(_WIN32)
  // A pipe with no server, and devices.
  for (const char16_t* name : {u"\\\\.\\pipe\\disk_sync_no_such_pipe", u"NUL", u"CON"}) {
    array_ptr device = harness::text(name);
    expect_silent(device.get());
  }
#else
  // A pipe without a reader: a blocking open would wait here for ever.
  array_ptr pipe = harness::text(utf16(path("pipe")));
  expect_silent(pipe.get());
  // A pipe with a reader is not opened either.
  const int reader = open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  expect_silent(pipe.get());
  char byte;
  EXPECT_EQ(read(reader, &byte, 1), 0);  // no writer ever came: end of file at once
  close(reader);
  array_ptr null_device = harness::text(u"/dev/null");
  expect_silent(null_device.get());
#endif
  EXPECT_TRUE(watch.events().empty());
}

#if defined(_WIN32)
TEST_F(DiskSync, FileHeldOpenElsewhereIsLeftAlone) {
  // The open asks for no sharing, so it is refused while another handle is open.
  write("held.txt", "held");
  HANDLE held = CreateFileA(path("held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  array_ptr name = harness::text(utf16(path("held.txt")));
  expect_silent(name.get());
  CloseHandle(held);
  EXPECT_EQ(read_file(path("held.txt")), "held");
}
#else
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
  EXPECT_EQ(watch.events(), closed_after_write(full));
  EXPECT_EQ(read_file(path(full)), "full");

  // A character outside the BMP (a surrogate pair, four bytes).
  const std::string clef = "clef\xF0\x9D\x84\x9E";
  write(clef, "music");
  watch.events();  // the writing above
  array_ptr clef_name = harness::text(utf16(dir_ + "/") + u"clef\U0001D11E");
  expect_silent(clef_name.get());
  EXPECT_EQ(watch.events(), closed_after_write(clef));
}
#endif

TEST_F(DiskSync, NameWithNulCharacterInsideIsSkipped) {
  // Cut at the NUL, these names would be that of the file "a".
  write("a", "x");
  close_write_watch watch(dir_);
  array_ptr name = harness::text(utf16(path("a")) + u'\0' + u"b");
  expect_silent(name.get());
  EXPECT_TRUE(watch.events().empty());
  array_ptr inner = harness::text(utf16(path("a")) + u'\0' + u'\0' + u"b" + u'\0');
  expect_silent(inner.get());
  EXPECT_TRUE(watch.events().empty());
  // Trailing NULs are padding: the name is "a".
  array_ptr padded = harness::text(utf16(path("a")) + u'\0' + u'\0');
  expect_silent(padded.get());
  EXPECT_EQ(watch.events(), closed_after_write("a"));
  EXPECT_EQ(read_file(path("a")), "x");
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
