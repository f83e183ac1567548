// Reading a modes file in HDF5 (the layout of hdf5_mode_file.h) a run of
// modes at a time: only the rows asked for are read (a hyperslab), so a
// file larger than memory can be read in runs. A file whose name ends in
// .partial, or whose attribute complete is not 1, is refused: it is the file
// of a run that did not finish.
//
// Nothing here calls the host; failures come back as a message. The caller
// gives the memory the modes and ids go to.
#ifndef BITS_CORE_HDF5_MODE_READER_H
#define BITS_CORE_HDF5_MODE_READER_H

#include <hdf5.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace bits {

class hdf5_mode_reader {
 public:
  ~hdf5_mode_reader() { close(); }

  bool open(const std::string& path, std::string* error) {
    close();
    const std::string partial = ".partial";
    if (path.size() >= partial.size() && path.compare(path.size() - partial.size(), partial.size(), partial) == 0)
      return fail("'" + path + "' is the file of a run that did not finish", error);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures come back as our messages
    if (H5Fis_hdf5(path.c_str()) <= 0) return fail("'" + path + "' is not an HDF5 file", error);
    file_ = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (file_ < 0) return fail("cannot open '" + path + "'", error);
    std::uint8_t complete = 0;
    const hid_t a = H5Aexists(file_, "complete") > 0 ? H5Aopen(file_, "complete", H5P_DEFAULT) : -1;
    const bool read = a >= 0 && H5Aread(a, H5T_NATIVE_UINT8, &complete) >= 0;
    if (a >= 0) H5Aclose(a);
    if (!read || H5Lexists(file_, "modes", H5P_DEFAULT) <= 0 || H5Lexists(file_, "reactions", H5P_DEFAULT) <= 0)
      return fail("'" + path + "' is not a modes file of bits_modes", error);
    if (complete != 1) return fail("'" + path + "' is the file of a run that did not finish", error);
    modes_ = H5Dopen2(file_, "modes", H5P_DEFAULT);
    ids_ = H5Dopen2(file_, "reactions", H5P_DEFAULT);
    hsize_t dims[2] = {0, 0}, id_count = 0;
    const hid_t space = modes_ >= 0 ? H5Dget_space(modes_) : -1;
    const hid_t id_space = ids_ >= 0 ? H5Dget_space(ids_) : -1;
    const hid_t id_type = ids_ >= 0 ? H5Dget_type(ids_) : -1;
    const bool ok = space >= 0 && H5Sget_simple_extent_ndims(space) == 2 &&
                    H5Sget_simple_extent_dims(space, dims, nullptr) == 2 && id_space >= 0 &&
                    H5Sget_simple_extent_ndims(id_space) == 1 &&
                    H5Sget_simple_extent_dims(id_space, &id_count, nullptr) == 1 && id_type >= 0 &&
                    H5Tget_class(id_type) == H5T_STRING && H5Tis_variable_str(id_type) == 0 && id_count == dims[1];
    width_ = ok ? H5Tget_size(id_type) : 0;
    if (id_type >= 0) H5Tclose(id_type);
    if (id_space >= 0) H5Sclose(id_space);
    if (space >= 0) H5Sclose(space);
    if (!ok) return fail("'" + path + "' is not a modes file of bits_modes", error);
    count_ = dims[0];
    reactions_ = dims[1];
    return true;
  }

  std::uint64_t modes() const { return count_; }
  std::uint64_t reactions() const { return reactions_; }
  // Characters per reaction id (NUL-padded).
  std::uint64_t id_width() const { return width_; }

  // Modes first .. first + count - 1 (0-based) into out (reactions x count,
  // column-major: the file's rows, as they lie on disk).
  bool read(std::uint64_t first, std::uint64_t count, std::int64_t* out, std::string* error) {
    if (first > count_ || count > count_ - first) return fail("the modes asked for are not in the file", error);
    if (count == 0) return true;
    const hsize_t offset[2] = {first, 0}, block[2] = {count, reactions_};
    const hid_t space = H5Dget_space(modes_);
    const hid_t memory = H5Screate_simple(2, block, nullptr);
    const bool ok = space >= 0 && memory >= 0 &&
                    H5Sselect_hyperslab(space, H5S_SELECT_SET, offset, nullptr, block, nullptr) >= 0 &&
                    H5Dread(modes_, H5T_NATIVE_INT64, memory, space, H5P_DEFAULT, out) >= 0;
    if (memory >= 0) H5Sclose(memory);
    if (space >= 0) H5Sclose(space);
    return ok || fail("cannot read the modes (HDF5)", error);
  }

  // The reactions' ids into out: reactions() blocks of id_width() characters.
  bool read_ids(char* out, std::string* error) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    const bool ok = type >= 0 && H5Tset_size(type, width_) >= 0 && H5Tset_strpad(type, H5T_STR_NULLPAD) >= 0 &&
                    H5Dread(ids_, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, out) >= 0;
    if (type >= 0) H5Tclose(type);
    return ok || fail("cannot read the reactions' ids (HDF5)", error);
  }

  void close() {
    if (ids_ >= 0) H5Dclose(ids_);
    if (modes_ >= 0) H5Dclose(modes_);
    if (file_ >= 0) H5Fclose(file_);
    ids_ = modes_ = file_ = -1;
  }

 private:
  bool fail(const std::string& message, std::string* error) {
    *error = message;
    close();
    return false;
  }
  hid_t file_ = -1, modes_ = -1, ids_ = -1;
  std::uint64_t count_ = 0, reactions_ = 0, width_ = 0;
};

}  // namespace bits

#endif
