// The single-instance rule: the first instance owns a named mutex for its whole run; a later
// one brings the first one's main window to front and leaves.
#pragma once

#include "platform/unique_handle.h"

class SingleInstance {
 public:
  // Creates the named mutex (initially owned). When it already existed the handle is dropped at
  // once and IsFirst() is false.
  SingleInstance();
  bool IsFirst() const { return mutex_.valid(); }
  // Closes the mutex (never released: ending the process would abandon it anyway).
  void Close() { mutex_.reset(); }

 private:
  UniqueKernelHandle mutex_;
};

// Posts WM_BRING_TO_FRONT to the first top-level window of the main window class, if any.
// True when a window was found.
bool BringFirstInstanceToFront();
