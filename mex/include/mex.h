/* Our own declarations of the host operations that the plug-ins call. The
 * plug-ins of the release (.mexa64, .mexw64) are compiled against them, and
 * so is the stand-in host of the tests, which implements them; builds against
 * an installed Octave or MATLAB take that host's own mex.h instead.
 * Signatures follow the documented MEX C API with 64-bit sizes (the
 * large-array form); the creating and string calls are bound to their
 * large-array entry names, as the MATLAB libraries export them.
 */
#ifndef BITS_MEX_INCLUDE_MEX_H
#define BITS_MEX_INCLUDE_MEX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(BITS_STANDIN_BUILD)
#define BITS_HOST_API __declspec(dllexport)
#else
#define BITS_HOST_API __declspec(dllimport)
#endif
#else
#define BITS_HOST_API __attribute__((visibility("default")))
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;
typedef unsigned short mxChar;

typedef enum {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS,
  mxSTRUCT_CLASS,
  mxLOGICAL_CLASS,
  mxCHAR_CLASS,
  mxVOID_CLASS,
  mxDOUBLE_CLASS,
  mxSINGLE_CLASS,
  mxINT8_CLASS,
  mxUINT8_CLASS,
  mxINT16_CLASS,
  mxUINT16_CLASS,
  mxINT32_CLASS,
  mxUINT32_CLASS,
  mxINT64_CLASS,
  mxUINT64_CLASS,
  mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

#define mxCreateNumericMatrix mxCreateNumericMatrix_730
#define mxCreateLogicalMatrix mxCreateLogicalMatrix_730
#define mxCreateCellMatrix mxCreateCellMatrix_730
#define mxSetCell mxSetCell_730
#define mxGetCell mxGetCell_730
#define mxGetString mxGetString_700

/* libmex */
BITS_HOST_API void mexErrMsgTxt(const char *message);
BITS_HOST_API int mexAtExit(void (*exit_function)(void));
BITS_HOST_API int mexPrintf(const char *format, ...);

/* libmx */
BITS_HOST_API size_t mxGetM(const mxArray *a);
BITS_HOST_API size_t mxGetN(const mxArray *a);
BITS_HOST_API size_t mxGetNumberOfElements(const mxArray *a);
BITS_HOST_API double *mxGetPr(const mxArray *a);
BITS_HOST_API void *mxGetData(const mxArray *a);
BITS_HOST_API mxClassID mxGetClassID(const mxArray *a);
BITS_HOST_API int mxIsEmpty(const mxArray *a);
BITS_HOST_API int mxIsChar(const mxArray *a);
BITS_HOST_API int mxIsComplex(const mxArray *a);
BITS_HOST_API int mxIsSparse(const mxArray *a);
BITS_HOST_API mxArray *mxCreateNumericMatrix_730(mwSize m, mwSize n, mxClassID class_id,
                                                 mxComplexity complexity);
/* As mxCreateNumericMatrix, but the elements are left unset: for an array
 * that the plug-in fills entirely. One name in every host (no large-array
 * entry: its sizes are size_t already). */
BITS_HOST_API mxArray *mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID class_id,
                                                   mxComplexity complexity);
BITS_HOST_API mxArray *mxCreateLogicalMatrix_730(mwSize m, mwSize n);
BITS_HOST_API mxArray *mxCreateCellMatrix_730(mwSize m, mwSize n);
/* The cell takes the value over: it is destroyed with the cell. */
BITS_HOST_API void mxSetCell_730(mxArray *cell, mwIndex index, mxArray *value);
/* Element `index` of a cell, or NULL where none is set; the cell keeps it. */
BITS_HOST_API mxArray *mxGetCell_730(const mxArray *cell, mwIndex index);
BITS_HOST_API mxArray *mxCreateString(const char *text);
BITS_HOST_API mxArray *mxDuplicateArray(const mxArray *a);
BITS_HOST_API void *mxCalloc(size_t count, size_t size);
BITS_HOST_API int mxGetString_700(const mxArray *a, char *buffer, mwSize length);

#ifdef __cplusplus
}
#endif

#endif
