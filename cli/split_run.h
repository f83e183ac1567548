// bits_modes --split: the modes in classes of split reactions
// (core/mode_classes.h), run one after another in this process into the
// one output, or, in bits_modes_mpi, handed out by rank 0 to whichever rank
// asks for work, largest first. A rank writes each class's modes to a file
// of its own (STEM.LABEL.h5 or .txt): a finished class's file is complete
// and never opened again, so a run that is stopped or loses a rank keeps
// every class it finished, and --resume runs only the others. Rank 0 alone
// writes the index STEM.index (text), which names the split reactions and,
// line by line as they happen, the classes handed out and the classes
// finished with their counts and files:
//   bits_modes classes 1
//   split ID ID ...
//   started LABEL rank R
//   done LABEL modes M candidates C hash H file NAME
//   complete classes K modes M hash H
// Only work items, counts and hashes travel between the processes, never
// modes. docs/cluster.md is the user's guide.
#ifndef BITS_CLI_SPLIT_RUN_H
#define BITS_CLI_SPLIT_RUN_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/mode_classes.h"

#ifdef BITS_MPI
#include <mpi.h>

#include <thread>
#endif

namespace split_run {

struct settings {
  std::uint64_t k = 0;        // --split K
  std::string reactions;      // --split-reactions ID,ID,...
  std::uint64_t depth = 8;    // further splits of a class over the memory budget
  bool hash = false, resume = false, progress = false;
  std::string output;         // -o FILE; empty: count only
};

struct network_ref {
  const double* S;
  std::uint64_t m, n;
  const std::uint8_t* reversible;
  const std::vector<std::string>* ids;
};

// A file sink for the modes of the whole network at `path`, opened.
typedef std::function<std::unique_ptr<bits::mode_sink>(const std::string& path, std::string* error)> file_maker;

// The split reactions: the ids of --split-reactions, or --split K chosen.
inline bool split_reactions(const network_ref& net, const settings& s, std::vector<std::uint64_t>* split,
                            std::string* error) {
  split->clear();
  if (s.reactions.empty()) {
    const std::vector<std::uint8_t> none(net.n, 0);
    return bits::choose_split_reactions(net.S, net.m, net.n, net.reversible, none, none, s.k, split, error);
  }
  std::stringstream list(s.reactions);
  std::string id;
  while (std::getline(list, id, ',')) {
    std::uint64_t j = 0;
    while (j < net.n && (*net.ids)[j] != id) ++j;
    if (j == net.n) {
      *error = "--split-reactions: the network has no reaction '" + id + "'";
      return false;
    }
    for (std::uint64_t r : *split)
      if (r == j) {
        *error = "--split-reactions: '" + id + "' is named twice";
        return false;
      }
    split->push_back(j);
  }
  return true;
}

inline std::string split_names(const network_ref& net, const std::vector<std::uint64_t>& split) {
  std::string out;
  for (std::uint64_t r : split) out += (out.empty() ? "" : " ") + (*net.ids)[r];
  return out;
}

// What a finished class leaves: its count, candidate pairs, hash and file.
struct class_result {
  std::string label, file;
  std::uint64_t modes = 0, candidates = 0, hash = 0;
};

inline std::string describe(const class_result& r) {
  char line[200];
  std::snprintf(line, sizeof line, " modes %llu candidates %llu hash %016llx file ",
                static_cast<unsigned long long>(r.modes), static_cast<unsigned long long>(r.candidates),
                static_cast<unsigned long long>(r.hash));
  return "done " + r.label + line + (r.file.empty() ? "-" : r.file);
}

inline bool parse_done(const std::string& line, class_result* r) {
  std::istringstream in(line);
  std::string word, modes, candidates, hash, file;
  in >> word >> r->label >> modes >> r->modes >> candidates >> r->candidates >> hash >> std::hex >> r->hash >>
      file >> r->file;
  if (r->file == "-") r->file.clear();
  return !in.fail() && word == "done" && modes == "modes" && hash == "hash" && file == "file";
}

// STEM and extension of the output (-o): the class files are STEM.LABEL.EXT,
// the index STEM.index.
inline void output_parts(const std::string& output, std::string* stem, std::string* ext) {
  *stem = output;
  ext->clear();
  for (const char* e : {".txt", ".h5"}) {
    const std::string x = e;
    if (output.size() > x.size() && output.compare(output.size() - x.size(), x.size(), x) == 0) {
      *ext = x;
      stem->erase(stem->size() - x.size());
    }
  }
}

inline std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The work of one rank (or of the one process) on one class and its
// subclasses: each finished one goes to `report`; the modes go to a class
// file (with an output), else only hashed.
struct worker {
  network_ref net;
  settings s;
  bits::flux_modes_options opt;
  file_maker make_file;
  std::set<std::string> finished;  // labels done before (--resume)
  std::function<void(const class_result&)> report;
  std::function<void(const std::string&)> note;

  bool run(const bits::mode_class& c, std::string* error) {
    std::unique_ptr<bits::mode_sink> file;
    std::unique_ptr<bits::hash_sink> hash;
    bits::count_sink count;  // counts only: the modes are not expanded
    bits::mode_sink* used = nullptr;
    bool begun = false;
    std::string path;
    bits::class_hooks hooks;
    hooks.state = [&](const bits::mode_class& x) {
      if (finished.count(x.label)) return 1;
      for (const std::string& f : finished)
        if (f.size() > x.label.size() && f.compare(0, x.label.size(), x.label) == 0) return 2;
      return 0;
    };
    hooks.open = [&](const bits::mode_class& x, bits::mode_sink** sink, bool** b, std::string* e) {
      const char* die = std::getenv("BITS_MODES_TEST_DIE");  // tests: this rank dies at the class named
      if (die != nullptr && x.label == die) {
        std::fflush(nullptr);
        std::_Exit(3);
      }
      begun = false;
      file.reset();
      if (!s.output.empty()) {
        std::string stem, ext;
        output_parts(s.output, &stem, &ext);
        path = stem + "." + x.label + ext;
        file = make_file(path, e);
        if (!file) return false;
      }
      hash = std::make_unique<bits::hash_sink>(file.get());
      used = s.output.empty() && !s.hash ? static_cast<bits::mode_sink*>(&count) : hash.get();
      *sink = used;
      *b = &begun;
      return true;
    };
    hooks.close = [&](const bits::mode_class& x, const bits::flux_modes_info& info, bool ok, std::string* e) {
      if (!ok) {
        file.reset();  // removes its partial file
        return true;
      }
      if (!begun && !used->begin(net.n, 0, e)) return false;
      if (!used->finish(e)) return false;
      class_result r;
      r.label = x.label;
      r.file = file ? base_name(path) : "";
      r.modes = info.modes;
      r.candidates = info.stats.candidates;
      r.hash = hash->hash;
      file.reset();
      report(r);
      return true;
    };
    hooks.note = note;
    return bits::run_class_split(net.S, net.m, net.n, net.reversible, c, opt, s.depth, hooks, error);
  }
};

// The index of a run with files: the classes done before (with --resume),
// then a line per class handed out and finished.
struct index_file {
  std::string path;
  std::FILE* out = nullptr;
  std::map<std::string, class_result> done;

  ~index_file() {
    if (out != nullptr) std::fclose(out);
  }
  bool open(const std::string& split, bool resume, std::string* error, std::string* notes) {
    if (resume) {
      std::FILE* in = std::fopen(path.c_str(), "r");
      if (in == nullptr) {
        *error = "--resume: cannot read " + path;
        return false;
      }
      std::map<std::string, std::string> started;
      char buffer[4096];
      bool same = false;
      while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        class_result r;
        if (line.rfind("split ", 0) == 0) {
          same = line == "split " + split;
          if (!same) {
            std::fclose(in);
            *error = "--resume: " + path + " splits on " + line.substr(6) + ", not on " + split;
            return false;
          }
        } else if (line.rfind("started ", 0) == 0) {
          std::istringstream words(line);
          std::string w, label, rank_word, rank;
          words >> w >> label >> rank_word >> rank;
          started[label] = rank;
        } else if (parse_done(line, &r)) {
          done[r.label] = r;
        }
      }
      std::fclose(in);
      if (!same) {
        *error = "--resume: " + path + " is not an index of bits_modes --split";
        return false;
      }
      for (const auto& kv : started)
        if (!done.count(kv.first))
          *notes += "bits_modes: class " + kv.first + " (rank " + kv.second +
                    " of the earlier run) did not finish; it runs again\n";
      out = std::fopen(path.c_str(), "a");
    } else {
      out = std::fopen(path.c_str(), "w");
      if (out != nullptr) std::fprintf(out, "bits_modes classes 1\nsplit %s\n", split.c_str());
    }
    if (out == nullptr) {
      *error = "cannot write " + path;
      return false;
    }
    std::fflush(out);
    return true;
  }
  void line(const std::string& text) {
    if (out == nullptr) return;
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
  }
};

// The totals, and the progress lines of rank 0 (or the one process).
struct tally {
  std::uint64_t classes = 0, modes = 0, hash = 0, before = 0;
  bool progress = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  void add(const class_result& r, int rank, bool earlier) {
    ++classes;
    modes += r.modes;
    hash += r.hash;
    before += earlier;
    if (!progress || earlier) return;
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr,
                 "bits_modes: class %s done%s: %llu modes, %llu candidate pairs; %llu classes done, %llu modes "
                 "so far, %.1f s\n",
                 r.label.c_str(), rank >= 0 ? (" by rank " + std::to_string(rank)).c_str() : "",
                 static_cast<unsigned long long>(r.modes), static_cast<unsigned long long>(r.candidates),
                 static_cast<unsigned long long>(classes), static_cast<unsigned long long>(modes), t);
    std::fflush(stderr);
  }
};

// One process, all classes one after another into `sink` (the output: a
// file, or the count). 0 or the exit status; *total the modes, *hash theirs.
inline bool run_here(const network_ref& net, const settings& s, const bits::flux_modes_options& opt,
                     bits::mode_sink* sink, std::uint64_t* total, std::uint64_t* hash_out, std::string* error) {
  std::vector<std::uint64_t> split;
  std::vector<bits::mode_class> classes;
  if (!split_reactions(net, s, &split, error) ||
      !bits::make_classes(net.S, net.m, net.n, net.reversible, split, &classes, error))
    return false;
  if (s.progress)
    std::fprintf(stderr, "bits_modes: %llu classes of the split reactions %s\n",
                 static_cast<unsigned long long>(classes.size()), split_names(net, split).c_str());
  bits::hash_sink hash(sink->wants_modes() ? sink : nullptr);  // a count sink gets no mode
  bits::mode_sink* to = sink->wants_modes() || s.hash ? static_cast<bits::mode_sink*>(&hash) : sink;
  bool begun = false;
  tally t;
  t.progress = s.progress;
  bits::class_hooks hooks;
  hooks.open = [&](const bits::mode_class&, bits::mode_sink** out, bool** b, std::string*) {
    *out = to;
    *b = &begun;
    return true;
  };
  hooks.close = [&](const bits::mode_class& c, const bits::flux_modes_info& info, bool ok, std::string*) {
    if (!ok) return true;
    class_result r;
    r.label = c.label;
    r.modes = info.modes;
    r.candidates = info.stats.candidates;
    t.add(r, -1, false);
    return true;
  };
  hooks.note = [&](const std::string& line) {
    if (s.progress) std::fprintf(stderr, "bits_modes: %s\n", line.c_str());
  };
  for (const bits::mode_class& c : classes)
    if (!bits::run_class_split(net.S, net.m, net.n, net.reversible, c, opt, s.depth, hooks, error)) return false;
  if (!begun && !to->begin(net.n, 0, error)) return false;
  if (!to->finish(error)) return false;
  *total = t.modes;
  *hash_out = hash.hash;
  return true;
}

#ifdef BITS_MPI
namespace mpi {

inline void send(int to, int tag, const std::string& text) {
  MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, to, tag, MPI_COMM_WORLD);
}

// The next message (from anyone with `from` < 0); rank 0 sleeps between
// polls so that waiting costs no core.
inline std::string receive(int from, int tag, int* source, bool poll) {
  MPI_Status status;
  if (poll) {
    int flag = 0;
    for (;;) {
      MPI_Iprobe(from < 0 ? MPI_ANY_SOURCE : from, tag, MPI_COMM_WORLD, &flag, &status);
      if (flag) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  } else {
    MPI_Probe(from < 0 ? MPI_ANY_SOURCE : from, tag, MPI_COMM_WORLD, &status);
  }
  int size = 0;
  MPI_Get_count(&status, MPI_CHAR, &size);
  std::string text(static_cast<std::size_t>(size), '\0');
  MPI_Recv(&text[0], size, MPI_CHAR, status.MPI_SOURCE, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  if (source) *source = status.MPI_SOURCE;
  return text;
}

constexpr int to_root = 1, to_worker = 2;

}  // namespace mpi

// The classes over the MPI processes: rank 0 hands them out, largest first,
// to whichever rank asks (with one process, it runs them itself). Returns
// the exit status; rank 0 prints the result.
inline int run_mpi(const network_ref& net, const settings& s, const bits::flux_modes_options& opt,
                   const file_maker& make_file) {
  int rank = 0, ranks = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  std::string error;
  std::vector<std::uint64_t> split;
  std::vector<bits::mode_class> classes;
  int failed = !split_reactions(net, s, &split, &error) ||
               !bits::make_classes(net.S, net.m, net.n, net.reversible, split, &classes, &error);
  // The index and the classes done before: rank 0 reads and tells the others.
  index_file index;
  std::string finished, notes;
  if (!failed && rank == 0 && !s.output.empty()) {
    std::string stem, ext;
    output_parts(s.output, &stem, &ext);
    index.path = stem + ".index";
    failed = !index.open(split_names(net, split), s.resume, &error, &notes);
    for (const auto& kv : index.done) finished += kv.first + "\n";
  }
  MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (failed) {
    if (rank == 0) std::fprintf(stderr, "bits_modes: %s\n", error.empty() ? "another rank failed" : error.c_str());
    return 1;
  }
  int size = static_cast<int>(finished.size());
  MPI_Bcast(&size, 1, MPI_INT, 0, MPI_COMM_WORLD);
  finished.resize(static_cast<std::size_t>(size));
  MPI_Bcast(&finished[0], size, MPI_CHAR, 0, MPI_COMM_WORLD);

  worker w{net, s, opt, make_file, {}, {}, {}};
  std::istringstream labels(finished);
  for (std::string l; std::getline(labels, l);) w.finished.insert(l);
  w.note = [&](const std::string& line) {
    if (s.progress) std::fprintf(stderr, "bits_modes (rank %d): %s\n", rank, line.c_str());
  };

  if (rank != 0) {  // ask for a class, run it, report each (sub)class done
    w.report = [&](const class_result& r) { mpi::send(0, mpi::to_root, describe(r)); };
    for (;;) {
      mpi::send(0, mpi::to_root, "ready");
      const std::string order = mpi::receive(0, mpi::to_worker, nullptr, false);
      if (order == "stop") break;
      const bits::mode_class& c = classes[std::stoull(order.substr(6))];
      if (!w.run(c, &error)) mpi::send(0, mpi::to_root, "fail " + error);
    }
    return 0;
  }

  tally t;
  t.progress = s.progress;
  std::fputs(notes.c_str(), stderr);
  for (const auto& kv : index.done) t.add(kv.second, -1, true);
  if (s.progress)
    std::fprintf(stderr, "bits_modes: %llu classes of the split reactions %s on %d processes%s\n",
                 static_cast<unsigned long long>(classes.size()), split_names(net, split).c_str(), ranks,
                 t.before ? (", " + std::to_string(t.before) + " (sub)classes done before").c_str() : "");
  std::string failure;
  std::vector<std::size_t> pending;
  for (std::size_t i = 0; i < classes.size(); ++i)
    if (!w.finished.count(classes[i].label)) pending.push_back(i);
  auto record = [&](const class_result& r, int from) {
    index.line(describe(r));
    t.add(r, from, false);
  };
  if (ranks == 1) {
    w.report = [&](const class_result& r) { record(r, 0); };
    for (std::size_t i : pending) {
      index.line("started " + classes[i].label + " rank 0");
      if (!w.run(classes[i], &error)) {
        failure = "rank 0, " + error;
        break;
      }
    }
  } else {
    std::size_t next = 0;
    int active = ranks - 1;
    while (active > 0) {
      int from = 0;
      const std::string message = mpi::receive(-1, mpi::to_root, &from, true);
      class_result r;
      if (message == "ready") {
        if (failure.empty() && next < pending.size()) {
          const bits::mode_class& c = classes[pending[next]];
          index.line("started " + c.label + " rank " + std::to_string(from));
          if (s.progress) std::fprintf(stderr, "bits_modes: class %s to rank %d\n", c.label.c_str(), from);
          mpi::send(from, mpi::to_worker, "class " + std::to_string(pending[next++]));
        } else {
          mpi::send(from, mpi::to_worker, "stop");
          --active;
        }
      } else if (parse_done(message, &r)) {
        record(r, from);
      } else if (message.rfind("fail ", 0) == 0) {
        const std::string f = "rank " + std::to_string(from) + ", " + message.substr(5);
        std::fprintf(stderr, "bits_modes: %s\n", f.c_str());
        if (failure.empty()) failure = f;
      }
    }
  }
  if (!failure.empty()) {
    std::fprintf(stderr, "bits_modes: %s%s\n", failure.c_str(),
                 index.out ? ("; the classes done are in " + index.path + ", --resume runs the others").c_str()
                           : "");
    return 1;
  }
  char line[200];
  std::snprintf(line, sizeof line, "complete classes %llu modes %llu hash %016llx",
                static_cast<unsigned long long>(t.classes), static_cast<unsigned long long>(t.modes),
                static_cast<unsigned long long>(t.hash));
  index.line(line);
  if (s.hash) std::printf("hash %016llx\n", static_cast<unsigned long long>(t.hash));
  std::printf("%llu modes\n", static_cast<unsigned long long>(t.modes));
  return std::fflush(stdout) != 0;
}
#endif

}  // namespace split_run

#endif
