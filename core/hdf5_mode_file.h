// The modes file of bits_modes in HDF5 (libhdf5's C API; built only where
// cmake/hdf5.cmake finds it), readable by MATLAB's h5read, Python's h5py and
// any HDF5 reader. Layout (docs/flux_modes_program.md):
//   /modes                 int64, count x reactions (HDF5 order; MATLAB's
//                          h5read gives reactions x count, as flux_modes),
//                          chunked and compressed, grown as modes come, in
//                          the order the run finds them: the last step's new
//                          modes, then the modes kept from before it
//                          (flux_modes_pipeline.h; the same for any number
//                          of threads, but not sorted)
//   /reactions             the reactions' ids (fixed-length strings)
//   /reversible            uint8, one per reaction
//   /network/stoichiometry float64, reactions x metabolites (h5read:
//                          metabolites x reactions, the network's S)
//   /network/metabolites   the metabolites' ids
//   attributes of /        format ("bits_modes flux modes 1"), complete
//                          (uint8: 1 only once every mode is written), modes
//                          (uint64, the count, written at the end), options
//                          (the command's options, as text), source (the
//                          input files)
// The file is written as NAME.partial and renamed to NAME at the end; a run
// that fails leaves no file, one that is stopped (bits_modes on SIGINT or
// SIGTERM, keep_partial) or killed leaves at most NAME.partial, with
// complete = 0 and the modes written so far.
#ifndef BITS_CORE_HDF5_MODE_FILE_H
#define BITS_CORE_HDF5_MODE_FILE_H

#include <hdf5.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/mode_sinks.h"

namespace bits {

// What the file says about the network and the run besides the modes.
struct mode_file_network {
  std::uint64_t m = 0, n = 0;
  const double* S = nullptr;  // m x n, column-major
  const std::uint8_t* reversible = nullptr;
  std::vector<std::string> reactions, metabolites;
  std::string options, source;
};

class hdf5_mode_file : public mode_sink {
 public:
  static constexpr const char* format = "bits_modes flux modes 1";
  static constexpr hsize_t chunk_rows = 4096;

  hdf5_mode_file(std::string path, mode_file_network network)
      : path_(std::move(path)), partial_(path_ + ".partial"), net_(std::move(network)) {}
  bool any_order() const override { return true; }
  ~hdf5_mode_file() override {
    close();
    if (!renamed_ && opened_ && !kept_) std::remove(partial_.c_str());
  }
  // The modes written so far stay in NAME.partial, with complete = 0.
  void keep_partial() override {
    if (file_ >= 0) H5Fflush(file_, H5F_SCOPE_GLOBAL);
    close();
    kept_ = true;
  }

  // Creates the partial file with everything but the modes, so that a
  // caller finds an unwritable name before the run (begin does it otherwise).
  bool open(std::string* error) {
    if (opened_) return true;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures come back as our messages
    errno = 0;
    file_ = H5Fcreate(partial_.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file_ < 0) return fail("cannot create " + partial_ + (errno ? std::string(": ") + std::strerror(errno) : ""), error);
    opened_ = true;
    const hsize_t n = net_.n, m = net_.m;
    std::vector<double> st(n * m);  // row-major reactions x metabolites: S column by column
    for (hsize_t k = 0; k < n * m; ++k) st[k] = net_.S[k];
    std::vector<std::uint8_t> rev(net_.reversible, net_.reversible + n);
    const hid_t group = H5Gcreate2(file_, "network", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    const hsize_t dims[2] = {n, m};
    bool ok = group >= 0 && strings(file_, "reactions", net_.reactions) &&
              array(file_, "reversible", H5T_NATIVE_UINT8, H5T_STD_U8LE, 1, dims, rev.data()) &&
              array(group, "stoichiometry", H5T_NATIVE_DOUBLE, H5T_IEEE_F64LE, 2, dims, st.data()) &&
              strings(group, "metabolites", net_.metabolites) && text_attribute("format", format) &&
              text_attribute("options", net_.options) && text_attribute("source", net_.source) &&
              number_attribute("complete", H5T_NATIVE_UINT8, H5T_STD_U8LE, 0) &&
              number_attribute("modes", H5T_NATIVE_UINT64, H5T_STD_U64LE, 0);
    if (group >= 0) H5Gclose(group);
    // The modes: rows grow as they come, chunks of chunk_rows modes, shuffled
    // and deflated (runs of zeros and small numbers pack well; level 1, as
    // the higher levels cost much more time for a little less space).
    const hsize_t start[2] = {0, n}, most[2] = {H5S_UNLIMITED, n}, chunk[2] = {chunk_rows, n > 0 ? n : 1};
    const hid_t space = ok ? H5Screate_simple(2, start, most) : -1;
    const hid_t plist = ok ? H5Pcreate(H5P_DATASET_CREATE) : -1;
    ok = ok && space >= 0 && plist >= 0 && H5Pset_chunk(plist, 2, chunk) >= 0 && H5Pset_shuffle(plist) >= 0 &&
         H5Pset_deflate(plist, 1) >= 0;
    if (ok) modes_ = H5Dcreate2(file_, "modes", H5T_STD_I64LE, space, H5P_DEFAULT, plist, H5P_DEFAULT);
    if (plist >= 0) H5Pclose(plist);
    if (space >= 0) H5Sclose(space);
    if (!ok || modes_ < 0) return fail("cannot write " + partial_ + " (HDF5)", error);
    return true;
  }

  bool begin(std::uint64_t reactions, std::uint64_t, std::string* error) override {
    if (reactions != net_.n) return fail("the modes have another number of reactions than the network", error);
    return open(error);
  }

  bool write(const std::int64_t* modes, std::uint64_t count, std::string* error) override {
    if (count == 0) return true;
    const hsize_t n = net_.n;
    const hsize_t size[2] = {rows_ + count, n}, offset[2] = {rows_, 0}, block[2] = {count, n};
    bool ok = H5Dset_extent(modes_, size) >= 0;
    const hid_t space = ok ? H5Dget_space(modes_) : -1;
    const hid_t memory = ok ? H5Screate_simple(2, block, nullptr) : -1;
    ok = ok && space >= 0 && memory >= 0 &&
         H5Sselect_hyperslab(space, H5S_SELECT_SET, offset, nullptr, block, nullptr) >= 0 &&
         H5Dwrite(modes_, H5T_NATIVE_INT64, memory, space, H5P_DEFAULT, modes) >= 0;
    if (memory >= 0) H5Sclose(memory);
    if (space >= 0) H5Sclose(space);
    if (!ok) return fail("cannot write the modes to " + partial_ + " (HDF5; is the disk full?)", error);
    rows_ += count;
    return true;
  }

  bool finish(std::string* error) override {
    if (!opened_ && !open(error)) return false;
    bool ok = set_number_attribute("modes", H5T_NATIVE_UINT64, rows_) &&
              set_number_attribute("complete", H5T_NATIVE_UINT8, 1) && H5Fflush(file_, H5F_SCOPE_GLOBAL) >= 0;
    ok = close() && ok;
    if (!ok) return fail("cannot finish " + partial_ + " (HDF5)", error);
    if (std::rename(partial_.c_str(), path_.c_str()) != 0)
      return fail("cannot rename " + partial_ + " to " + path_ + ": " + std::strerror(errno), error);
    renamed_ = true;
    return true;
  }

 private:
  bool fail(const std::string& message, std::string* error) {
    *error = message;
    return false;
  }
  bool close() {
    bool ok = true;
    if (modes_ >= 0) ok = H5Dclose(modes_) >= 0 && ok;
    if (file_ >= 0) ok = H5Fclose(file_) >= 0 && ok;
    modes_ = file_ = -1;
    return ok;
  }
  static bool array(hid_t at, const char* name, hid_t memory_type, hid_t file_type, int rank, const hsize_t* dims,
                    const void* data) {
    const hid_t space = H5Screate_simple(rank, dims, nullptr);
    const hid_t set = space >= 0 ? H5Dcreate2(at, name, file_type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT) : -1;
    const bool ok = set >= 0 && H5Dwrite(set, memory_type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) >= 0;
    if (set >= 0) H5Dclose(set);
    if (space >= 0) H5Sclose(space);
    return ok;
  }
  // Fixed-length, NUL-padded strings (as long as the longest): Octave's
  // load reads them, as MATLAB's h5read and h5py do.
  static bool strings(hid_t at, const char* name, const std::vector<std::string>& values) {
    std::size_t width = 1;
    for (const std::string& v : values) width = v.size() > width ? v.size() : width;
    std::vector<char> block(values.size() * width + 1, '\0');
    for (std::size_t k = 0; k < values.size(); ++k) std::memcpy(&block[k * width], values[k].data(), values[k].size());
    const hsize_t dims[1] = {values.size()};
    const hid_t type = H5Tcopy(H5T_C_S1);
    const bool ok = type >= 0 && H5Tset_size(type, width) >= 0 && H5Tset_strpad(type, H5T_STR_NULLPAD) >= 0 &&
                    array(at, name, type, type, 1, dims, block.data());
    if (type >= 0) H5Tclose(type);
    return ok;
  }
  bool text_attribute(const char* name, const std::string& value) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    const hid_t space = H5Screate(H5S_SCALAR);
    bool ok = type >= 0 && space >= 0 && H5Tset_size(type, value.size() + 1) >= 0 &&
              H5Tset_strpad(type, H5T_STR_NULLTERM) >= 0;
    const hid_t a = ok ? H5Acreate2(file_, name, type, space, H5P_DEFAULT, H5P_DEFAULT) : -1;
    ok = a >= 0 && H5Awrite(a, type, value.c_str()) >= 0;
    if (a >= 0) H5Aclose(a);
    if (space >= 0) H5Sclose(space);
    if (type >= 0) H5Tclose(type);
    return ok;
  }
  bool number_attribute(const char* name, hid_t memory_type, hid_t file_type, std::uint64_t value) {
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t a = space >= 0 ? H5Acreate2(file_, name, file_type, space, H5P_DEFAULT, H5P_DEFAULT) : -1;
    const bool ok = a >= 0 && write_number(a, memory_type, value);
    if (a >= 0) H5Aclose(a);
    if (space >= 0) H5Sclose(space);
    return ok;
  }
  bool set_number_attribute(const char* name, hid_t memory_type, std::uint64_t value) {
    const hid_t a = H5Aopen(file_, name, H5P_DEFAULT);
    const bool ok = a >= 0 && write_number(a, memory_type, value);
    if (a >= 0) H5Aclose(a);
    return ok;
  }
  static bool write_number(hid_t a, hid_t memory_type, std::uint64_t value) {
    const std::uint8_t small = static_cast<std::uint8_t>(value);
    return H5Awrite(a, memory_type, memory_type == H5T_NATIVE_UINT8 ? static_cast<const void*>(&small) : &value) >= 0;
  }

  std::string path_, partial_;
  mode_file_network net_;
  hid_t file_ = -1, modes_ = -1;
  hsize_t rows_ = 0;
  bool opened_ = false, renamed_ = false, kept_ = false;
};

}  // namespace bits

#endif
