// Running the command-line programs as a user runs them, for their tests:
// files in the temporary folder, a shell command's output and status, and
// whether a peer program is installed (in the full test run, BITS_FULL_TEST,
// which installs them all, a missing one fails the test that asks).
#ifndef BITS_TESTS_CLI_RUN_PROGRAM_H
#define BITS_TESTS_CLI_RUN_PROGRAM_H

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace run_program {

inline std::string temp_path(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/bits_cli_test_" + std::to_string(::getpid()) + "_" + name;
}

inline std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command; its standard output in *out (and its standard
// error in *err, when given), its exit status back.
inline int run(const std::string& command, std::string* out, std::string* err = nullptr) {
  const std::string file = temp_path("out");
  const int status = std::system((command + " > " + file + " 2>" + file + ".err").c_str());
  *out = read_text(file);
  if (err != nullptr) *err = read_text(file + ".err");
  std::remove(file.c_str());
  std::remove((file + ".err").c_str());
  return status;
}

inline bool have(const char* program) {
  const bool found = std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
#ifdef BITS_FULL_TEST
  if (!found) ADD_FAILURE() << program << " is not installed, and the full test run needs it";
#endif
  return found;
}

// mpirun for the MPI programs' tests: on this machine alone (loopback),
// as many processes as asked whatever the cores, also as root.
const std::string mpirun =
    "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1 "
    "mpirun --oversubscribe --mca plm_rsh_agent false --mca btl self,vader,tcp --mca btl_tcp_if_include lo "
    "--mca oob_tcp_if_include lo";

inline std::string write(const std::string& name, const std::string& text) {
  const std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace run_program

#endif
