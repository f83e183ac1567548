// bits_modes: the elementary flux modes of a metabolic network, exactly, by
// the pipeline of flux_modes (core/flux_modes_pipeline.h) without MATLAB or
// Octave. The network comes from an SBML file (through libsbml, where the
// program was built with it) or from a stoichiometric matrix and a
// reversibility file in text (core/network_text.h). The modes go to a file
// or are only counted; the last line on standard output is "N modes".
// docs/flux_modes_program.md is the user's guide.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/split_run.h"
#include "core/flux_modes_pipeline.h"
#include "core/mode_sinks.h"
#include "core/network_text.h"
#ifdef BITS_HDF5
#include "core/hdf5_mode_file.h"
#endif
#ifdef BITS_SBML
#include "mex/sbml_network.h"
#endif

#include <signal.h>

namespace {

const char* program = "bits_modes";

void usage(FILE* to) {
  std::fprintf(to,
               "usage: %s [options] MODEL.xml\n"
               "       %s [options] STOICH.txt REV.txt\n"
               "The elementary flux modes of a metabolic network, exactly: from an SBML file%s,\n"
               "or from a stoichiometric matrix (one metabolite per line, one coefficient per\n"
               "reaction) and the reactions' reversibility (0 or 1 each) as text. The last line\n"
               "on standard output is \"N modes\".\n"
               "  -t, --threads N   threads (default: the cores)\n"
               "  --order ORDER     irreversiblezeros (default), irreversiblefirst, fewestpairs,\n"
               "                    mostzeros or input\n"
               "  --progress        the compressed network and one line per step on standard error\n"
               "  --memory BYTES    memory budget of the double description (suffix k, M or G;\n"
               "                    default 90%% of the machine's memory)\n"
               "  --remove IDS      leave out the reactions IDS (comma-separated; R1, R2, ... for\n"
               "                    text input), as a knockout or a closed uptake\n"
               "  --count           count the modes only (the default without -o)\n"
               "  -o FILE           write the modes to FILE in HDF5%s;\n"
               "                    as text (one mode per line) when FILE ends in .txt\n"
               "  --split K         the modes in 2^K classes of K split reactions, one class\n"
               "                    after another (less memory);\n"
               "                    bits_modes_mpi hands the classes out to its processes\n"
               "  --split-reactions IDS  split on the reactions IDS (comma-separated)\n"
               "  --hash            print an order-free hash of the modes before the count\n"
               "  --resume          (bits_modes_mpi -o FILE) run only the classes that\n"
               "                    FILE's index does not list as done\n"
               "  -h, --help        this text\n",
               program, program,
#ifdef BITS_SBML
               "",
#else
               " (not in this build: it lacks libsbml)",
#endif
#ifdef BITS_HDF5
               ""
#else
               " (not in this build)"
#endif
  );
}

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program, message.c_str());
  std::exit(1);
}

std::string read_file(const char* path) {
  errno = 0;
  FILE* in = std::fopen(path, "rb");
  std::string text;
  const bool ok = in != nullptr && cli_common::read_all(in, &text);
  const int e = errno;
  if (in != nullptr) std::fclose(in);
  if (!ok) die(std::string("cannot read ") + path + (e ? std::string(": ") + std::strerror(e) : ""));
  return text;
}

// The network as flux_modes takes it: S (m x n, column-major), reversible
// flags, and the reactions' ids.
struct network {
  std::uint64_t m = 0, n = 0;
  std::vector<double> S;
  std::vector<std::uint8_t> reversible;
  std::vector<std::string> reactions, metabolites;
};

network read_text(const char* stoich, const char* rev) {
  network net;
  std::string error;
  if (!bits::read_stoichiometry(read_file(stoich), stoich, &net.S, &net.m, &net.n, &error) ||
      !bits::read_reversibility(read_file(rev), rev, net.n, &net.reversible, &error))
    die(error);
  for (std::uint64_t j = 0; j < net.n; ++j) net.reactions.push_back("R" + std::to_string(j + 1));
  for (std::uint64_t i = 0; i < net.m; ++i) net.metabolites.push_back("M" + std::to_string(i + 1));
  return net;
}

network read_sbml(const char* file) {
#ifdef BITS_SBML
  sbml_network::network in;
  char message[sbml_network::message_size];
  if (!sbml_network::read_network(file, &in, message)) {
    std::string text = message;
    const std::string tail = " . . .";  // the plug-in's ending
    if (text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
      text.erase(text.size() - tail.size());
    die(text);
  }
  network net;
  net.m = in.m;
  net.n = in.n;
  net.S.assign(in.m * in.n, 0.0);
  for (std::uint64_t e = 0; e < in.entries; ++e) net.S[in.row[e] + in.column[e] * in.m] += in.value[e];
  net.reversible.assign(in.reversible, in.reversible + in.n);
  for (std::uint64_t j = 0; j < in.n; ++j) net.reactions.push_back(in.text + in.id_start[j]);
  for (std::uint64_t i = 0; i < in.m; ++i) net.metabolites.push_back(in.text + in.id_start[in.n + i]);
  std::free(in.block);
  return net;
#else
  die(std::string("cannot read the SBML file ") + file +
      ": this build of bits_modes has no libsbml (Debian: libsbml5-dev); give STOICH.txt REV.txt instead");
#endif
}

// The network without the reactions `ids` (comma-separated).
void remove_reactions(network* net, const std::string& ids) {
  std::vector<std::uint8_t> drop(net->n, 0);
  std::size_t at = 0;
  while (at <= ids.size()) {
    std::size_t end = ids.find(',', at);
    if (end == std::string::npos) end = ids.size();
    const std::string id = ids.substr(at, end - at);
    const auto found = std::find(net->reactions.begin(), net->reactions.end(), id);
    if (id.empty() || found == net->reactions.end())
      die("--remove: the network has no reaction '" + id + "'");
    drop[found - net->reactions.begin()] = 1;
    at = end + 1;
  }
  network kept;
  kept.m = net->m;
  kept.metabolites = net->metabolites;
  for (std::uint64_t j = 0; j < net->n; ++j) {
    if (drop[j]) continue;
    kept.S.insert(kept.S.end(), net->S.begin() + j * net->m, net->S.begin() + (j + 1) * net->m);
    kept.reversible.push_back(net->reversible[j]);
    kept.reactions.push_back(net->reactions[j]);
    ++kept.n;
  }
  *net = std::move(kept);
}

// SIGINT and SIGTERM raise the run's stop flag (the handler does nothing
// else: a lock-free atomic store is async-signal-safe); the run ends within
// a second. The handler is reset by the first signal, so a second one ends
// the process at once.
std::atomic<int> stop_flag{0};
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
  stop_signal = sig;
  stop_flag.store(1);
}

void catch_stop_signals() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void print_note(void*, const char* line) {
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
}

int run(int argc, char** argv) {
  std::uint64_t threads = 0, budget = 0;
  bits::flux_modes_options opt;
  bool count_only = false;
  const char* output = nullptr;
  const char* remove = nullptr;
  std::vector<const char*> inputs;
  std::string arguments;  // the options, for the file
  split_run::settings split;
  for (int i = 1; i < argc; ++i) {
    const int first = i;
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) die("option " + a + " needs a value");
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      usage(stdout);
      return 0;
    } else if (a == "-t" || a == "--threads") {
      std::string message;
      if (!cli_common::thread_option(value(), &threads, &message)) die(message);
    } else if (a == "--order") {
      const std::string v = value();
      if (!bits::parse_mode_order(v, &opt.order))
        die("order must be irreversiblezeros, irreversiblefirst, fewestpairs, mostzeros or input, not '" + v +
            "'");
    } else if (a == "--progress") {
      opt.note = print_note;
      opt.step = cli_common::print_step;
    } else if (a == "--memory") {
      std::string message;
      if (!cli_common::memory_option(value(), &budget, &message)) die(message);
    } else if (a == "--remove") {
      remove = value();
    } else if (a == "--count") {
      count_only = true;
    } else if (a == "-o") {
      output = value();
    } else if (a == "--split") {
      if (!cli_common::parse_count(value(), &split.k, false) || split.k == 0 || split.k > 20)
        die("--split takes a number of split reactions from 1 to 20");
    } else if (a == "--split-reactions") {
      split.reactions = value();
    } else if (a == "--hash") {
      split.hash = true;
    } else if (a == "--resume") {
      split.resume = true;
    } else if (a.size() > 1 && a[0] == '-') {
      die("unknown option " + a + " (--help lists them)");
    } else {
      inputs.push_back(argv[i]);
      continue;
    }
    for (int k = first; k <= i; ++k) arguments += (arguments.empty() ? "" : " ") + std::string(argv[k]);
  }
  if (inputs.empty() || inputs.size() > 2) {
    usage(stderr);
    return 2;
  }
  if (count_only && output != nullptr) die("--count and -o exclude each other");
  const std::string out = output ? output : "";
  const bool text_output = out.size() > 4 && out.compare(out.size() - 4, 4, ".txt") == 0;
#ifndef BITS_HDF5
  if (output != nullptr && !text_output)
    die("-o " + out + ": HDF5 output is not available in this build (it lacks libhdf5; Debian: libhdf5-dev); "
        "write a text file, FILE.txt, instead");
#endif

  network net = inputs.size() == 1 ? read_sbml(inputs[0]) : read_text(inputs[0], inputs[1]);
  if (remove != nullptr) remove_reactions(&net, remove);
  if (net.n == 0) die("the network has no reactions");

  cli_common::use_threads(threads);
  opt.max_bytes = budget != 0 ? budget : cli_common::physical_memory() / 10 * 9;

  const bool splitting = split.k > 0 || !split.reactions.empty();
  split.output = out;
  split.progress = opt.step != nullptr;
  const split_run::network_ref ref{net.S.data(), net.m, net.n, net.reversible.data(), &net.reactions};
  // The output file at `path`, opened (so an unwritable name fails at once);
  // bits_modes_mpi writes one per class.
  auto make_file = [&](const std::string& path, std::string* message) -> std::unique_ptr<bits::mode_sink> {
    if (text_output) {
      auto file = std::make_unique<bits::text_file_sink>(path);
      if (!file->open(message)) return nullptr;
      return file;
    }
#ifdef BITS_HDF5
    bits::mode_file_network about{net.m, net.n, net.S.data(), net.reversible.data(), net.reactions,
                                  net.metabolites, arguments, inputs.size() == 1 ? inputs[0] : ""};
    if (inputs.size() == 2) about.source = std::string(inputs[0]) + " " + inputs[1];
    auto file = std::make_unique<bits::hdf5_mode_file>(path, std::move(about));
    if (!file->open(message)) return nullptr;
    return file;
#else
    *message = "no HDF5 in this build";
    return nullptr;
#endif
  };
#ifdef BITS_MPI
  if (!splitting) die("bits_modes_mpi runs classes of split reactions: give --split K or --split-reactions IDS");
  return split_run::run_mpi(ref, split, opt, make_file);
#else
  if (split.resume) die("--resume is for bits_modes_mpi, which keeps a file per class and an index");
#endif

  std::unique_ptr<bits::mode_sink> sink;
  std::string error;
  if (output != nullptr) {
    sink = make_file(out, &error);
    if (!sink) die(error);  // before the run, not after it
  } else {
    sink = std::make_unique<bits::count_sink>();
  }
  opt.stop = &stop_flag;
  catch_stop_signals();
  // A run stopped by SIGINT or SIGTERM: the partial file stays, marked
  // incomplete.
  auto stopped = [&](const std::string& where) {
    const int sig = stop_signal;
    sink->keep_partial();
    std::fprintf(stderr, "%s: interrupted by %s%s; %s\n", program, sig == SIGTERM ? "SIGTERM" : "SIGINT",
                 where.c_str(),
                 output ? (out + ".partial holds the modes written so far and is marked incomplete").c_str()
                        : "no modes counted");
    std::exit(128 + (sig ? sig : SIGINT));
  };
  if (splitting) {
    std::uint64_t total = 0, hash = 0;
    if (!split_run::run_here(ref, split, opt, sink.get(), &total, &hash, &error)) {
      if (stop_flag.load()) stopped("");
      sink.reset();
      die(error);
    }
    if (split.hash) std::printf("hash %016llx\n", static_cast<unsigned long long>(hash));
    std::printf("%llu modes\n", static_cast<unsigned long long>(total));
    return std::fflush(stdout) != 0;
  }
  bits::hash_sink hashed(sink->wants_modes() ? sink.get() : nullptr);  // --hash; a count sink gets no mode
  bits::flux_modes_info info;
  if (!bits::run_flux_modes(net.S.data(), net.m, net.n, net.reversible.data(), opt,
                            split.hash ? static_cast<bits::mode_sink*>(&hashed) : sink.get(), &info, &error)) {
    if (stop_flag.load()) {
      const std::string where = " in step " + std::to_string(info.stats.failed_step) + " of " +
                                std::to_string(info.stats.steps);
      stopped(where);
    }
    sink.reset();  // a file sink removes its partial file (die leaves destructors out)
    die(error);
  }
  if (opt.step != nullptr)
    std::fprintf(stderr, "%s: %llu modes of %llu reactions in %.2f s (double description %.2f s)\n", program,
                 static_cast<unsigned long long>(info.modes), static_cast<unsigned long long>(net.n), info.seconds,
                 info.stats.seconds);
  if (split.hash) std::printf("hash %016llx\n", static_cast<unsigned long long>(hashed.hash));
  std::printf("%llu modes\n", static_cast<unsigned long long>(info.modes));
  if (std::fflush(stdout) != 0) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef BITS_MPI
  MPI_Init(&argc, &argv);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  if (rank != 0) {  // the help and the result are rank 0's
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  }
#endif
  int status = 1;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    die("out of memory");
  }
#ifdef BITS_MPI
  MPI_Finalize();
#endif
  return status;
}
