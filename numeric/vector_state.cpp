#include "numeric/vector_state.h"

namespace numeric {

void ClearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) asm volatile("vzeroupper");
#endif
}

}  // namespace numeric
