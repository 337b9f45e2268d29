// The exported factory: one instance for the life of the process.
#include <mutex>
#include <new>

#include "image_refine_impl.h"

namespace qzapi {

ImageRefiner* ImageRefiner::m_instance = nullptr;

ImageRefiner* ImageRefiner::CreateInstance() {
  // call_once makes concurrent first calls safe; the instance is deliberately
  // never destroyed, since callers may still use it during static teardown.
  static std::once_flag once;
  std::call_once(once, [] {
    if (m_instance == nullptr) {
      m_instance = new (std::nothrow) ImageRefineImpl();
    }
  });
  return m_instance;
}

}  // namespace qzapi
