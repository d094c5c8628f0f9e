// The message of the exception a call throws; "" when it throws none.
#pragma once

#include <exception>
#include <functional>
#include <string>

inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}
