// Storage for a process-wide object whose destructor the runtime never runs. At process exit the
// other threads are already gone, perhaps inside the heap or holding a lock, so the library frees
// nothing then and leaves the memory to the end of the process; it destroys such objects only
// when it is unloaded while the process goes on (FreeLibrary).
#pragma once

#include <new>

template <class T> class KeptGlobal {
  public:
    KeptGlobal() { ::new (static_cast<void*>(m_bytes)) T(); }
    T& Get() { return *std::launder(reinterpret_cast<T*>(m_bytes)); }
    void Destroy() { Get().~T(); }

  private:
    alignas(T) unsigned char m_bytes[sizeof(T)];
};
