// Large blocks of memory as mappings of their own, on huge pages.
//
// The rays' coordinates of a large run (1.5 GB on lrslib's mit71-61) are
// read at random (a new ray combines two old ones anywhere in the block) and
// written fresh at every step, and on 4 KiB pages both cost: reads far
// apart miss the TLB, and every 4 KiB first written faults. Huge pages
// survive a block's growth only where the block moves by whole 2 MiB
// page-table entries: realloc's mremap moved a 512 MiB block of huge pages
// to an address of another alignment in 1.3 s, splitting every huge page on
// the way, where the same move onto an aligned address took 1 ms. So on
// Linux a block of at least `large_block_min` bytes is a mapping of its own
// at a 2 MiB boundary, a whole number of 2 MiB pages, advised to use huge
// pages, grown in place where the addresses after it are free and otherwise
// moved onto a new 2 MiB boundary. Smaller blocks stay with malloc, which reuses memory
// already written: on a freshly started virtual machine a huge page's first
// write can cost more than 4 KiB pages' (2.3 s/GB against 0.4 s/GB, where
// memory the machine had written before took 0.07 s/GB on huge pages), and
// a 56 MB block on huge pages made a 3.2 s flux-mode run 0.2 s slower.
// Elsewhere, and under AddressSanitizer (which checks blocks from malloc
// only), large_blocks is false and callers use malloc.
#ifndef BITS_CORE_LARGE_BLOCKS_H
#define BITS_CORE_LARGE_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BITS_LARGE_BLOCKS_OFF 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BITS_LARGE_BLOCKS_OFF 1
#endif

#if defined(__linux__) && !defined(BITS_LARGE_BLOCKS_OFF)
#include <sys/mman.h>
#define BITS_LARGE_BLOCKS 1
#else
#define BITS_LARGE_BLOCKS 0
#endif

namespace bits {

constexpr bool large_blocks = BITS_LARGE_BLOCKS != 0;
constexpr std::size_t huge_page_bytes = std::size_t{1} << 21;
constexpr std::size_t large_block_min = 128 * huge_page_bytes;  // 256 MiB

// `bytes` rounded up to whole huge pages; 0 when that does not fit.
inline std::size_t large_block_size(std::size_t bytes) {
  return bytes > SIZE_MAX - (huge_page_bytes - 1) ? 0 : (bytes + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
}

#if BITS_LARGE_BLOCKS
namespace detail {
// `bytes` (whole huge pages) of address space at a 2 MiB boundary: memory
// advised to use huge pages, or (`reserve_only`) inaccessible room to move
// a block onto. Null when the system has none.
inline char* map_aligned(std::size_t bytes, bool reserve_only) {
  if (bytes > SIZE_MAX - huge_page_bytes) return nullptr;
  void* p = mmap(nullptr, bytes + huge_page_bytes, reserve_only ? PROT_NONE : PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | (reserve_only ? MAP_NORESERVE : 0), -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t a = (b + huge_page_bytes - 1) & ~(std::uintptr_t{huge_page_bytes} - 1);
  if (a > b) munmap(p, a - b);
  munmap(reinterpret_cast<void*>(a + bytes), b + huge_page_bytes - a);
  char* q = reinterpret_cast<char*>(a);
#ifdef MADV_HUGEPAGE
  if (!reserve_only) static_cast<void>(madvise(q, bytes, MADV_HUGEPAGE));
#endif
  return q;
}
}  // namespace detail
#endif

// A new large block of `bytes` (whole huge pages), or null.
inline void* large_block_new(std::size_t bytes) {
#if BITS_LARGE_BLOCKS
  return detail::map_aligned(bytes, false);
#else
  static_cast<void>(bytes);
  return nullptr;
#endif
}

// Block p of old_bytes grown or shrunk to `bytes` (both whole huge pages),
// its contents kept up to the smaller size: in place where it can, else
// moved by its page tables, not its data. Null when that fails; p is then
// as it was.
inline void* large_block_resize(void* p, std::size_t old_bytes, std::size_t bytes) {
#if BITS_LARGE_BLOCKS
  void* q = mremap(p, old_bytes, bytes, 0);
  if (q != MAP_FAILED) return q;
  char* room = detail::map_aligned(bytes, true);
  if (room == nullptr) return nullptr;
  q = mremap(p, old_bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, room);
  if (q == MAP_FAILED) {
    munmap(room, bytes);
    return nullptr;
  }
  return q;
#else
  static_cast<void>(p);
  static_cast<void>(old_bytes);
  static_cast<void>(bytes);
  return nullptr;
#endif
}

// Frees a block: a large one of `mapped` bytes, or (mapped == 0) one from
// malloc.
inline void large_block_free(void* p, std::size_t mapped) {
#if BITS_LARGE_BLOCKS
  if (mapped != 0) {
    munmap(p, mapped);
    return;
  }
#else
  static_cast<void>(mapped);
#endif
  std::free(p);
}

}  // namespace bits

#endif  // BITS_CORE_LARGE_BLOCKS_H
