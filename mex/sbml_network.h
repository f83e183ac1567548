// The metabolic network of an SBML file, read by libsbml's C API (declared
// in mex/sbml_c_api.h) into one malloc'd block: the plug-in sbml_read and the
// program bits_modes both read networks through it. No host call, no C++
// object or exception of libsbml's; the document is freed before it returns.
// Built only where libsbml is found.
#ifndef BITS_MEX_SBML_NETWORK_H
#define BITS_MEX_SBML_NETWORK_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mex/sbml_c_api.h"

namespace sbml_network {

// Messages are composed here, on the stack, before the call ends.
constexpr std::size_t message_size = 1024;

// At most this much of a file name or an id goes into a message.
constexpr int shown = 300;

// The network, copied out of the document: one malloc'd block holds it all.
struct network {
  std::uint64_t m = 0;       // internal species: rows
  std::uint64_t n = 0;       // reactions: columns
  std::uint64_t entries = 0;  // species references to internal species
  double* value = nullptr;               // [entries]
  std::uint64_t* id_start = nullptr;     // [n + m]: reactions, then species
  std::uint32_t* row = nullptr;          // [entries]
  std::uint32_t* column = nullptr;       // [entries]
  unsigned char* reversible = nullptr;   // [n]
  char* text = nullptr;                  // the ids, each ending in NUL
  void* block = nullptr;
};

struct keyed {
  const char* id;
  std::uint32_t index;  // row or column; UINT32_MAX: a boundary species
};
constexpr std::uint32_t no_row = UINT32_MAX;

inline bool id_less(const keyed& a, const keyed& b) { return std::strcmp(a.id, b.id) < 0; }

inline const keyed* find(const keyed* keys, std::uint64_t count, const char* id) {
  const keyed probe{id, 0};
  const keyed* at = std::lower_bound(keys, keys + count, probe, id_less);
  return at != keys + count && std::strcmp(at->id, id) == 0 ? at : nullptr;
}

inline const char* text_or_empty(const char* s) { return s ? s : ""; }

// Frees a string that libsbml copied for the caller: one that is not empty
// (an unset attribute comes back as a shared empty string).
inline void free_copy(const char* s) {
  if (s != nullptr && s[0] != '\0') std::free(const_cast<char*>(s));
}

// The first line of libsbml's message, without trailing blanks.
inline void first_line(const char* text, char* out, std::size_t size) {
  std::size_t k = 0;
  for (; text && text[k] && text[k] != '\n' && k + 1 < size; ++k) out[k] = text[k];
  while (k > 0 && (out[k - 1] == ' ' || out[k - 1] == '\r' || out[k - 1] == '.')) --k;
  out[k] = '\0';
}

// The first error of the reader that stops the reading: any error or fatal
// error except a missing XML declaration or encoding (libsbml's 1001, 1002),
// which keep nothing from being read, and a missing model (20201), which the
// caller reports in its own words.
inline const XMLError_t* first_error(SBMLDocument_t* doc) {
  const unsigned count = SBMLDocument_getNumErrors(doc);
  for (unsigned k = 0; k < count; ++k) {
    const XMLError_t* e = reinterpret_cast<const XMLError_t*>(SBMLDocument_getError(doc, k));
    const unsigned id = XMLError_getErrorId(e);
    if ((XMLError_isError(e) || XMLError_isFatal(e)) && id != 1001 && id != 1002 && id != 20201)
      return e;
  }
  return nullptr;
}

// A species reference's coefficient: the stoichiometry attribute (1 when it
// is missing; divided by the denominator of level 1). False when it comes
// from a formula (stoichiometryMath of level 2).
inline bool coefficient(const SpeciesReference_t* ref, unsigned level, double* out) {
  if (SpeciesReference_isSetStoichiometryMath(ref)) return false;
  double v = SpeciesReference_isSetStoichiometry(ref) ? SpeciesReference_getStoichiometry(ref) : 1.0;
  if (level == 1) v /= SpeciesReference_getDenominator(ref);
  *out = v;
  return true;
}

// Reads the network of `file` into `net`. On failure writes the message
// into `message` and returns false; either way the document and every
// scratch block are freed, except net->block on success.
inline bool read_network(const char* file, network* net, char* message) {
  // Readable at all? (libsbml's own report would not tell a missing file
  // from an unreadable one, nor name it.)
  std::FILE* probe = std::fopen(file, "rb");
  bool readable = probe != nullptr;
  if (probe) {
    (void)std::fgetc(probe);
    readable = !std::ferror(probe);  // a folder opens, but does not read
    std::fclose(probe);
  }
  if (!readable) {
    std::snprintf(message, message_size, "Cannot read the file '%.*s' . . .", shown, file);
    return false;
  }

  SBMLDocument_t* doc = readSBMLFromFile(file);
  if (doc == nullptr) {
    std::snprintf(message, message_size, "Out of memory reading the file '%.*s' . . .", shown, file);
    return false;
  }
  keyed* species_keys = nullptr;
  keyed* reaction_keys = nullptr;
  bool ok = false;
  char detail[512];
  Model_t* model = nullptr;
  std::uint64_t species = 0, text_bytes = 0;
  unsigned level = 0;

  if (const XMLError_t* e = first_error(doc)) {
    first_line(XMLError_getMessage(e), detail, sizeof detail);
    std::snprintf(message, message_size, "The file '%.*s' is not readable SBML (line %u: %s) . . .", shown,
                  file, XMLError_getLine(e), detail);
    goto done;
  }
  model = SBMLDocument_getModel(doc);
  if (model == nullptr) {
    std::snprintf(message, message_size, "The SBML file '%.*s' holds no model . . .", shown, file);
    goto done;
  }
  net->n = Model_getNumReactions(model);
  if (net->n == 0) {
    std::snprintf(message, message_size, "The model has no reactions . . .");
    goto done;
  }
  level = SBMLDocument_getLevel(doc);

  // Species and reactions by id, for the references; rows in document order.
  species = Model_getNumSpecies(model);
  species_keys = static_cast<keyed*>(std::malloc((species ? species : 1) * sizeof(keyed)));
  reaction_keys = static_cast<keyed*>(std::malloc(net->n * sizeof(keyed)));
  if (!species_keys || !reaction_keys) {
    std::snprintf(message, message_size, "Out of memory reading the file '%.*s' . . .", shown, file);
    goto done;
  }
  for (std::uint64_t s = 0; s < species; ++s) {
    const Species_t* sp = Model_getSpecies(model, static_cast<unsigned>(s));
    const char* id = text_or_empty(Species_getId(sp));
    const bool boundary = Species_getBoundaryCondition(sp) != 0;
    species_keys[s] = keyed{id, boundary ? no_row : static_cast<std::uint32_t>(net->m)};
    if (!boundary) {
      ++net->m;
      text_bytes += std::strlen(id) + 1;
    }
  }
  for (std::uint64_t j = 0; j < net->n; ++j) {
    const char* id = text_or_empty(Reaction_getId(Model_getReaction(model, static_cast<unsigned>(j))));
    reaction_keys[j] = keyed{id, static_cast<std::uint32_t>(j)};
    text_bytes += std::strlen(id) + 1;
  }
  std::sort(species_keys, species_keys + species, id_less);
  std::sort(reaction_keys, reaction_keys + net->n, id_less);

  // Every reference checked and counted before anything is copied.
  for (std::uint64_t j = 0; j < net->n; ++j) {
    Reaction_t* r = Model_getReaction(model, static_cast<unsigned>(j));
    const char* rid = text_or_empty(Reaction_getId(r));
    for (int side = 0; side < 2; ++side) {
      const unsigned count = side == 0 ? Reaction_getNumReactants(r) : Reaction_getNumProducts(r);
      for (unsigned k = 0; k < count; ++k) {
        const SpeciesReference_t* ref = side == 0 ? Reaction_getReactant(r, k) : Reaction_getProduct(r, k);
        const char* sid = text_or_empty(SpeciesReference_getSpecies(ref));
        const keyed* sp = find(species_keys, species, sid);
        double v = 0.0;
        if (sp == nullptr) {
          std::snprintf(message, message_size,
                        "Reaction '%.*s' refers to the species '%.*s', which the model does not declare . . .",
                        shown, rid, shown, sid);
          goto done;
        }
        if (!coefficient(ref, level, &v)) {
          std::snprintf(message, message_size,
                        "Reaction '%.*s' gives the stoichiometry of '%.*s' by a formula (stoichiometryMath), "
                        "which is not read . . .",
                        shown, rid, shown, sid);
          goto done;
        }
        if (!std::isfinite(v)) {
          std::snprintf(message, message_size,
                        "Reaction '%.*s' gives the species '%.*s' a stoichiometry that is not a finite number . . .",
                        shown, rid, shown, sid);
          goto done;
        }
        if (sp->index != no_row) ++net->entries;
      }
    }
  }

  {
    // The block: doubles, offsets, rows, columns, flags, text.
    const std::uint64_t bytes = net->entries * (sizeof(double) + 2 * sizeof(std::uint32_t)) +
                                (net->n + net->m) * sizeof(std::uint64_t) + net->n + text_bytes;
    net->block = std::malloc(static_cast<std::size_t>(bytes));
    if (net->block == nullptr) {
      std::snprintf(message, message_size, "Out of memory reading the file '%.*s' . . .", shown, file);
      goto done;
    }
    char* at = static_cast<char*>(net->block);
    net->value = reinterpret_cast<double*>(at);
    at += net->entries * sizeof(double);
    net->id_start = reinterpret_cast<std::uint64_t*>(at);
    at += (net->n + net->m) * sizeof(std::uint64_t);
    net->row = reinterpret_cast<std::uint32_t*>(at);
    at += net->entries * sizeof(std::uint32_t);
    net->column = reinterpret_cast<std::uint32_t*>(at);
    at += net->entries * sizeof(std::uint32_t);
    net->reversible = reinterpret_cast<unsigned char*>(at);
    at += net->n;
    net->text = at;
  }

  {
    std::uint64_t e = 0, used = 0;
    for (std::uint64_t j = 0; j < net->n; ++j) {
      Reaction_t* r = Model_getReaction(model, static_cast<unsigned>(j));
      const char* rid = text_or_empty(Reaction_getId(r));
      net->id_start[j] = used;
      std::memcpy(net->text + used, rid, std::strlen(rid) + 1);
      used += std::strlen(rid) + 1;
      net->reversible[j] = Reaction_getReversible(r) ? 1 : 0;
      for (int side = 0; side < 2; ++side) {
        const unsigned count = side == 0 ? Reaction_getNumReactants(r) : Reaction_getNumProducts(r);
        for (unsigned k = 0; k < count; ++k) {
          const SpeciesReference_t* ref = side == 0 ? Reaction_getReactant(r, k) : Reaction_getProduct(r, k);
          const keyed* sp = find(species_keys, species, text_or_empty(SpeciesReference_getSpecies(ref)));
          double v = 0.0;
          coefficient(ref, level, &v);
          if (sp->index == no_row) continue;
          net->row[e] = sp->index;
          net->column[e] = static_cast<std::uint32_t>(j);
          net->value[e] = side == 0 ? -v : v;
          ++e;
        }
      }
      // fbc version 2: the lower bound names a parameter.
      if (SBasePlugin_t* plugin = SBase_getPlugin(reinterpret_cast<SBase_t*>(r), "fbc")) {
        if (char* bound = FbcReactionPlugin_getLowerFluxBound(reinterpret_cast<FbcSBasePlugin_t*>(plugin))) {
          const Parameter_t* p = Model_getParameterById(model, bound);
          if (p != nullptr && Parameter_getValue(p) < 0.0) net->reversible[j] = 1;
          util_free(bound);
        }
      }
    }
    for (std::uint64_t s = 0, row = 0; s < species; ++s) {
      const Species_t* sp = Model_getSpecies(model, static_cast<unsigned>(s));
      if (Species_getBoundaryCondition(sp)) continue;
      const char* id = text_or_empty(Species_getId(sp));
      net->id_start[net->n + row++] = used;
      std::memcpy(net->text + used, id, std::strlen(id) + 1);
      used += std::strlen(id) + 1;
    }
    // fbc version 1: flux bounds of the model. A lower bound below zero
    // (greaterEqual, equal) or an upper one (lessEqual: the flux itself must
    // then be negative) makes the reaction reversible.
    if (SBasePlugin_t* plugin = SBase_getPlugin(reinterpret_cast<SBase_t*>(model), "fbc")) {
      const unsigned bounds = FbcModelPlugin_getNumFluxBounds(plugin);
      for (unsigned b = 0; b < bounds; ++b) {
        FluxBound_t* fb = FbcModelPlugin_getFluxBound(plugin, b);
        // These two return a copy to free when the attribute is set, and a
        // shared empty string (not to free) when it is not.
        const char* reaction = FluxBound_getReaction(fb);
        const char* operation = FluxBound_getOperation(fb);
        const keyed* r = find(reaction_keys, net->n, text_or_empty(reaction));
        const char* op = text_or_empty(operation);
        const bool bounds_flux = std::strcmp(op, "greaterEqual") == 0 || std::strcmp(op, "equal") == 0 ||
                                 std::strcmp(op, "lessEqual") == 0 || std::strcmp(op, "greater") == 0 ||
                                 std::strcmp(op, "less") == 0;
        if (r != nullptr && bounds_flux && FluxBound_getValue(fb) < 0.0) net->reversible[r->index] = 1;
        free_copy(reaction);
        free_copy(operation);
      }
    }
  }
  ok = true;

done:
  std::free(species_keys);
  std::free(reaction_keys);
  SBMLDocument_free(doc);
  if (!ok) {
    std::free(net->block);
    net->block = nullptr;
  }
  return ok;
}

}  // namespace sbml_network

#endif
