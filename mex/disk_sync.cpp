// disk_sync(path)
//
// Asks the operating system to write the buffered data of the named, existing
// regular file to its storage device. Best effort: apart from the argument
// errors nothing is reported, whether or not the file could be opened or
// flushed. The file is opened for writing only, never created, truncated or
// written; anything that is not a regular file (directory, pipe, device) is
// left alone, so the call never blocks. Runs on the calling thread.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mex/host_args.h"

#if defined(_WIN32)
#include "mex/windows_api.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Bytes reserved per character for the host's 8-bit (multibyte) form of the
// name: enough for any character in UTF-8 and in the legacy code pages.
constexpr std::uint64_t bytes_per_character = 4;

// The converted name ends at its first NUL. Any byte after that in the zeroed
// buffer comes from a NUL character in the middle of the name, and the name
// cut there could be another file's; trailing NUL characters (padding) leave
// nothing behind and are dropped.
bool ends_at_first_nul(const char* name, std::size_t length) {
  for (std::size_t k = std::strlen(name); k < length; ++k)
    if (name[k] != '\0') return false;
  return true;
}

#if defined(_WIN32)

void flush_file(const char* name) {
  // Directories and devices are skipped before the open where that can be
  // told; the handle is checked to be a disk file after it.
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return;
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  if (GetFileType(file) == FILE_TYPE_DISK) FlushFileBuffers(file);
  CloseHandle(file);
}

#else

void flush_file(const char* name) {
  // stat first, so that devices and FIFOs are never opened at all.
  struct stat before;
  if (stat(name, &before) != 0 || !S_ISREG(before.st_mode)) return;
  // Write-only, never created or truncated. O_NONBLOCK keeps a FIFO swapped
  // in since the stat from making the open wait for a reader; O_NOCTTY and
  // O_CLOEXEC keep the descriptor from becoming a controlling terminal or
  // being inherited by a child process.
  const int fd = open(name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd == -1) return;
  struct stat opened;
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) (void)fsync(fd);
  (void)close(fd);
}

#endif

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  (void)plhs;  // nothing is ever returned
  if (nrhs != 1) host::fail("One input argument expected . . .");
  if (nlhs != 0) host::fail("No output arguments allowed . . .");
  const mxArray* path = prhs[0];
  if (!mxIsChar(path)) host::fail("Input must be a string . . .");

  const std::uint64_t count = host::elements(path);
  if (count == 0 || count > (SIZE_MAX - 1) / bytes_per_character) return;

  // Host-managed and zeroed; the host reclaims it when the call returns.
  const std::size_t length = static_cast<std::size_t>(count * bytes_per_character + 1);
  char* name = static_cast<char*>(mxCalloc(length, 1));
  // A name that did not convert whole is not used: a shortened one could be
  // another file's name.
  if (mxGetString(path, name, length) != 0) return;
  if (!ends_at_first_nul(name, length)) return;
  flush_file(name);
}
