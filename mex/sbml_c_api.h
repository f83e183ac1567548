// Our declarations of the functions of libsbml's C API that sbml_read calls,
// as libsbml 5 declares them (sbml/SBMLTypes.h and the fbc package's
// headers), with the same type names over the same struct tags. libsbml's
// own headers are C++ when compiled as C++ and bring in <iostream>, whose
// static initializer would pull the C++ runtime, linked statically into the
// release .mexa64, and with it glibc symbol versions newer than 2.28; these
// declarations bring in nothing. tests/test_sbml_read_plugin.cpp includes
// both, so a declaration that differs from libsbml's fails to compile.
//
// Every object here belongs to libsbml and is only passed back to it. Where a
// call takes a base class (SBase_t, XMLError_t, FbcSBasePlugin_t), the
// pointer is cast: each class involved derives from that base alone, so the
// base object starts at the same address.
#ifndef BITS_MEX_SBML_C_API_H
#define BITS_MEX_SBML_C_API_H

extern "C" {

typedef struct SBase SBase_t;
typedef struct SBasePlugin SBasePlugin_t;
typedef struct SBMLDocument SBMLDocument_t;
typedef struct Model Model_t;
typedef struct Species Species_t;
typedef struct Parameter Parameter_t;
typedef struct Reaction Reaction_t;
typedef struct SimpleSpeciesReference SpeciesReference_t;
typedef struct SBMLError SBMLError_t;
typedef struct XMLError XMLError_t;
typedef struct FbcSBasePlugin FbcSBasePlugin_t;
typedef struct FluxBound FluxBound_t;

SBMLDocument_t* readSBMLFromFile(const char* filename);
void SBMLDocument_free(SBMLDocument_t* d);
unsigned int SBMLDocument_getLevel(const SBMLDocument_t* d);
Model_t* SBMLDocument_getModel(SBMLDocument_t* d);
unsigned int SBMLDocument_getNumErrors(const SBMLDocument_t* d);
const SBMLError_t* SBMLDocument_getError(SBMLDocument_t* d, unsigned int n);

unsigned int XMLError_getErrorId(const XMLError_t* error);
const char* XMLError_getMessage(const XMLError_t* error);
unsigned int XMLError_getLine(const XMLError_t* error);
int XMLError_isError(const XMLError_t* error);
int XMLError_isFatal(const XMLError_t* error);

unsigned int Model_getNumSpecies(const Model_t* m);
Species_t* Model_getSpecies(Model_t* m, unsigned int n);
unsigned int Model_getNumReactions(const Model_t* m);
Reaction_t* Model_getReaction(Model_t* m, unsigned int n);
Parameter_t* Model_getParameterById(Model_t* m, const char* sid);
double Parameter_getValue(const Parameter_t* p);

const char* Species_getId(const Species_t* s);
int Species_getBoundaryCondition(const Species_t* s);

const char* Reaction_getId(const Reaction_t* r);
int Reaction_getReversible(const Reaction_t* r);
unsigned int Reaction_getNumReactants(const Reaction_t* r);
unsigned int Reaction_getNumProducts(const Reaction_t* r);
SpeciesReference_t* Reaction_getReactant(Reaction_t* r, unsigned int n);
SpeciesReference_t* Reaction_getProduct(Reaction_t* r, unsigned int n);

const char* SpeciesReference_getSpecies(const SpeciesReference_t* sr);
double SpeciesReference_getStoichiometry(const SpeciesReference_t* sr);
int SpeciesReference_isSetStoichiometry(const SpeciesReference_t* sr);
int SpeciesReference_isSetStoichiometryMath(const SpeciesReference_t* sr);
int SpeciesReference_getDenominator(const SpeciesReference_t* sr);

SBasePlugin_t* SBase_getPlugin(SBase_t* sb, const char* package);
// A copy made with malloc (libsbml's safe_strdup), or NULL: freed with util_free.
char* FbcReactionPlugin_getLowerFluxBound(FbcSBasePlugin_t* fbc);
unsigned int FbcModelPlugin_getNumFluxBounds(SBasePlugin_t* fmp);
FluxBound_t* FbcModelPlugin_getFluxBound(SBasePlugin_t* fmp, unsigned int n);
const char* FluxBound_getReaction(FluxBound_t* fb);
const char* FluxBound_getOperation(FluxBound_t* fb);
double FluxBound_getValue(FluxBound_t* fb);
void util_free(void* element);

}  // extern "C"

#endif
