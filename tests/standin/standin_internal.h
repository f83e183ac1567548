// Shared between the two stand-in host libraries; not for plug-ins or tests.
#ifndef BITS_STANDIN_INTERNAL_H
#define BITS_STANDIN_INTERNAL_H

#include <stdexcept>
#include <string>
#include <vector>

#include "mex.h"

namespace standin {
namespace internal {

// What the stand-in host throws to end a call; only the host catches it.
class BITS_HOST_API host_error : public std::runtime_error {
 public:
  explicit host_error(const std::string& message);
  ~host_error() override;
};

[[noreturn]] BITS_HOST_API void host_fail(const char* message);

// Call bookkeeping of libmx, driven by libmex around each call.
BITS_HOST_API void begin_call();
BITS_HOST_API void end_call(const std::vector<mxArray*>& kept);
BITS_HOST_API bool is_live(const mxArray* a);

}  // namespace internal
}  // namespace standin

#endif
