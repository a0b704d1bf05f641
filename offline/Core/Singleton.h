#pragma once  // Singleton.h: the lazy process-wide holder of one object per (T, Creator)

namespace ql {

// Creator is a type with a static Create() returning a new T. The instance is never freed:
// it lives until the process ends. No lock: callers are serialised (one thread at a time).
template <class T, class Creator>
class Singleton {
 public:
  // Creates the instance on the first call.
  static T* GetSingleton() {
    if (m_pInstance == nullptr) m_pInstance = Creator::Create();
    return m_pInstance;
  }

  // The instance as it is, null before the first GetSingleton; written as
  // Singleton<T, Creator>()->Member().
  T* operator->() const { return m_pInstance; }

  static inline T* m_pInstance = nullptr;
};

}  // namespace ql
